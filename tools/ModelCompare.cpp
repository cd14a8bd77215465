// What a data file carries of a model, the comparison of two models in that form, and
// the texts the writer cannot put out as they are.
#include "ModelCompare.h"

#include <string.h>

namespace
{
std::string TextOrEmpty(const char* text)
{
    return text != nullptr ? std::string(text) : std::string();
}

std::string RowBytes(UtByteBuffer* row)
{
    std::string bytes;
    unsigned int size = row->GetTotalSize();
    bytes.resize(size);
    for (unsigned int i = 0; i < size; ++i)
        bytes[i] = (char)row->ReadData((int)i);
    return bytes;
}

std::string LineFeeds(const std::string& text)
{
    std::string result;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '\r')
        {
            result += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        }
        else
        {
            result += text[i];
        }
    }
    return result;
}

std::string FieldPlace(size_t index, const std::string& name)
{
    return "field " + std::to_string(index) + " \"" + name + "\"";
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsHexLetter(char c)
{
    return (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Length of the reference "&amp;" (or another predefined entity), "&#123;" or "&#x1F;"
// at text[0], or 0 when none stands there.
size_t ReferenceLength(const char* text)
{
    size_t i = 1;
    if (text[i] == '#')
    {
        ++i;
        bool hex = text[i] == 'x';
        if (hex)
            ++i;
        size_t start = i;
        while (IsDigit(text[i]) || (hex && IsHexLetter(text[i])))
            ++i;
        if (i == start)
            return 0;
    }
    else
    {
        // Only the five entities every XML document has; the document type declares none.
        static const char* const kEntities[] = {"amp;", "lt;", "gt;", "quot;", "apos;"};
        for (const char* entity : kEntities)
            if (strncmp(text + 1, entity, strlen(entity)) == 0)
                return strlen(entity) + 1;
        return 0;
    }
    return text[i] == ';' ? i + 1 : 0;
}

// A phrase for the first character of `text` the writer cannot put out, or empty.
std::string TextProblem(const char* text, bool attribute)
{
    if (text == nullptr)
        return std::string();
    for (const char* p = text; *p != '\0'; ++p)
    {
        unsigned char c = (unsigned char)*p;
        if (c == '<')
            return "the character '<'";
        if (c == '&' && ReferenceLength(p) == 0)
            return "a '&' that begins no predefined entity or character reference";
        if (attribute && c == '"')
            return "the character '\"'";
        if (!attribute && strncmp(p, "]]>", 3) == 0)
            return "the text \"]]>\"";
        bool allowed = c == '\t' || (!attribute && (c == '\n' || c == '\r'));
        if ((c < 0x20 || c == 0x7F) && !allowed)
        {
            char code[8];
            snprintf(code, sizeof(code), "%02X", c);
            return std::string("the control character 0x") + code;
        }
    }
    return std::string();
}
}

CarriedModel CarriedByDataFile(SVFPlusData* model)
{
    CarriedModel carried;
    carried.bHasComment = false;
    if (model == nullptr)
        return carried;
    carried.version = TextOrEmpty(model->GetVersion());
    const char* comment = model->GetComment();
    if (comment != nullptr && comment[0] != '\0')
    {
        carried.bHasComment = true;
        carried.comment = LineFeeds(comment);
    }
    for (int i = 0; i < model->GetDataFieldCount(); ++i)
    {
        SVFDataField* field = model->GetDataField(i);
        CarriedField out;
        out.name = TextOrEmpty(field->GetFieldName());
        out.nChecksum = field->m_nChecksum;
        for (int j = 0; j < field->GetFieldBlockCount(); ++j)
        {
            SVFDataField::DataBlock* block = field->GetDataBlock(j);
            if (out.blocks.empty() || out.blocks.back().nRowWidth != block->m_nRowWidth)
                out.blocks.push_back(CarriedBlock{block->m_nRowWidth, {}});
            std::vector<std::string>& rows = out.blocks.back().rows;
            if (block->GetNumberOfRows() == 0)
                rows.push_back(std::string());
            for (int k = 1; k <= block->GetNumberOfRows(); ++k)
                rows.push_back(RowBytes(block->GetRow(k)));
        }
        carried.fields.push_back(out);
    }
    return carried;
}

std::string FirstDifference(const CarriedModel& expected, const CarriedModel& actual)
{
    if (expected.version != actual.version)
        return "the version differs";
    if (expected.bHasComment != actual.bHasComment || expected.comment != actual.comment)
        return "the comment differs";
    if (expected.fields.size() != actual.fields.size())
        return "the number of fields differs";
    for (size_t i = 0; i < expected.fields.size(); ++i)
    {
        const CarriedField& want = expected.fields[i];
        const CarriedField& got = actual.fields[i];
        std::string place = FieldPlace(i, want.name);
        if (want.name != got.name)
            return "the name of " + place + " differs";
        if (want.nChecksum != got.nChecksum)
            return "the checksum of " + place + " differs";
        if (want.blocks.size() != got.blocks.size())
            return "the number of blocks of " + place + " differs";
        for (size_t j = 0; j < want.blocks.size(); ++j)
        {
            const CarriedBlock& wantBlock = want.blocks[j];
            const CarriedBlock& gotBlock = got.blocks[j];
            std::string blockPlace = place + ", block " + std::to_string(j);
            if (wantBlock.nRowWidth != gotBlock.nRowWidth)
                return "the row width of " + blockPlace + " differs";
            if (wantBlock.rows.size() != gotBlock.rows.size())
                return "the number of rows of " + blockPlace + " differs";
            for (size_t k = 0; k < wantBlock.rows.size(); ++k)
            {
                if (wantBlock.rows[k] != gotBlock.rows[k])
                {
                    size_t got = gotBlock.rows[k].size();
                    size_t want = wantBlock.rows[k].size();
                    if (got == want)
                        return blockPlace + ", row " + std::to_string(k) + " holds other bytes than written";
                    return blockPlace + ", row " + std::to_string(k) + " holds " + std::to_string(got) +
                           (got == 1 ? " byte" : " bytes") + " instead of the " + std::to_string(want) + " written";
                }
            }
        }
    }
    return std::string();
}

bool CanWriteTexts(SVFPlusData* model, std::string& problem)
{
    if (model == nullptr)
        return true;
    std::string found = TextProblem(model->GetVersion(), true);
    if (!found.empty())
    {
        problem = "the version holds " + found;
        return false;
    }
    found = TextProblem(model->GetComment(), false);
    if (!found.empty())
    {
        problem = "the comment holds " + found;
        return false;
    }
    for (int i = 0; i < model->GetDataFieldCount(); ++i)
    {
        found = TextProblem(model->GetDataField(i)->GetFieldName(), true);
        if (!found.empty())
        {
            problem = "the name of field " + std::to_string(i) + " holds " + found;
            return false;
        }
    }
    return true;
}
