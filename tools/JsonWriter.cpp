// The data model as JSON text, written as the model is walked: a 64 KB piece of text at a
// time goes to the output, so that writing takes that much memory whatever the model
// holds. The layout is nlohmann-json's dump with an indent of two spaces, byte for byte.
#include "JsonModel.h"

#include <string.h>

#include <memory>

#include <nlohmann/json.hpp>

#include "ModelRows.h"
#include "UtUtility.h"

int Utf8Following(unsigned char first, unsigned char& low, unsigned char& high)
{
    low = 0x80;
    high = 0xBF;
    if (first >= 0xC2 && first <= 0xDF)
        return 1;
    if (first >= 0xE0 && first <= 0xEF)
    {
        low = first == 0xE0 ? 0xA0 : 0x80;
        high = first == 0xED ? 0x9F : 0xBF;
        return 2;
    }
    if (first >= 0xF0 && first <= 0xF4)
    {
        low = first == 0xF0 ? 0x90 : 0x80;
        high = first == 0xF4 ? 0x8F : 0xBF;
        return 3;
    }
    return 0;
}

namespace
{
const size_t kPieceSize = 65536;

// Length of the UTF-8 sequence at text[0] (1 to 4), or 0 when none begins there.
size_t Utf8Length(const unsigned char* text)
{
    if (text[0] < 0x80)
        return 1;
    unsigned char low, high;
    int following = Utf8Following(text[0], low, high);
    if (following == 0 || text[1] < low || text[1] > high)
        return 0;
    for (int i = 2; i <= following; ++i)
        if (text[i] < 0x80 || text[i] > 0xBF)
            return 0;
    return (size_t)following + 1;
}

bool IsUtf8(const char* text)
{
    const unsigned char* p = (const unsigned char*)text;
    while (*p != 0)
    {
        size_t length = Utf8Length(p);
        if (length == 0)
            return false;
        p += length;
    }
    return true;
}

// Collects the text and hands it to the output a piece at a time.
class TextWriter
{
public:
    explicit TextWriter(JsonOutput& output)
        : m_output(output), m_piece(new char[kPieceSize]), m_nUsed(0), m_bFailed(false)
    {
    }

    void Put(const char* text, size_t length)
    {
        if (m_nUsed + length > kPieceSize)
        {
            Flush();
            if (length > kPieceSize)
            {
                m_bFailed = m_bFailed || !m_output.Put(text, length);
                return;
            }
        }
        memcpy(m_piece.get() + m_nUsed, text, length);
        m_nUsed += length;
    }
    void Put(const char* text) { Put(text, strlen(text)); }
    void Put(const std::string& text) { Put(text.data(), text.size()); }

    // Room for `length` characters (at most a piece), to be filled and then counted with
    // Commit.
    char* Reserve(size_t length)
    {
        if (m_nUsed + length > kPieceSize)
            Flush();
        return m_piece.get() + m_nUsed;
    }
    void Commit(size_t length) { m_nUsed += length; }

    // A text as a JSON string: nlohmann-json's escapes (\", \\, \b, \f, \n, \r, \t and
    // \u00xx for the other control characters), all else as it is; a text that is not
    // UTF-8 goes through nlohmann-json itself, which puts U+FFFD for what is not.
    void PutText(const char* text)
    {
        if (text == nullptr)
        {
            Put("null", 4);
            return;
        }
        if (!IsUtf8(text))
        {
            Put(nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
            return;
        }
        Put("\"", 1);
        const char* run = text;
        for (const char* p = text;; ++p)
        {
            unsigned char c = (unsigned char)*p;
            if (c >= 0x20 && c != '"' && c != '\\')
                continue;
            Put(run, (size_t)(p - run));
            run = p + 1;
            if (c == 0)
                break;
            // The characters with a short escape, and the letter of each.
            static const char kShort[] = "\"\\\b\f\n\r\t";
            static const char kLetter[] = "\"\\bfnrt";
            const char* named = strchr(kShort, c);
            char escape[8] = {'\\', 0, 0, 0, 0, 0, 0, 0};
            if (named != nullptr)
                escape[1] = kLetter[named - kShort];
            else
                snprintf(escape, sizeof(escape), "\\u%04x", c);
            Put(escape);
        }
        Put("\"", 1);
    }

    void PutNumber(long long number) { Put(std::to_string(number)); }

    // A row as a JSON string of upper-case hexadecimal digit pairs.
    void PutRow(UtByteBuffer* row)
    {
        const unsigned char* bytes = RowBytes(row, m_scratch);
        size_t count = bytes != nullptr ? row->GetTotalSize() : 0;
        Put("\"", 1);
        while (count > 0)
        {
            size_t part = count < kPieceSize / 2 ? count : kPieceSize / 2;
            BytesToHex(bytes, part, Reserve(2 * part));
            Commit(2 * part);
            bytes += part;
            count -= part;
        }
        Put("\"", 1);
    }

    bool Flush()
    {
        if (m_nUsed > 0 && !m_bFailed)
            m_bFailed = !m_output.Put(m_piece.get(), m_nUsed);
        m_nUsed = 0;
        return !m_bFailed;
    }

private:
    JsonOutput& m_output;
    std::unique_ptr<char[]> m_piece;
    size_t m_nUsed;
    bool m_bFailed;
    std::string m_scratch;
};

// A line break and the indent of `level` levels of two spaces.
void NewLine(TextWriter& writer, int level)
{
    static const char kIndent[] = "\n            ";
    writer.Put(kIndent, (size_t)(1 + 2 * level));
}

// An array member: "[]" when empty, else the opening bracket; each item on its own line.
bool OpenArray(TextWriter& writer, const char* name, int count)
{
    writer.Put(name);
    writer.Put(count == 0 ? "[]" : "[", count == 0 ? 2 : 1);
    return count > 0;
}

void CloseArray(TextWriter& writer, int level)
{
    NewLine(writer, level);
    writer.Put("]", 1);
}

class StringOutput : public JsonOutput
{
public:
    std::string m_text;
    bool Put(const char* data, size_t length) override
    {
        m_text.append(data, length);
        return true;
    }
};
}

void BytesToHex(const unsigned char* bytes, size_t count, char* out)
{
    for (size_t i = 0; i < count; ++i)
    {
        out[2 * i] = util_HexDigit(bytes[i] >> 4);
        out[2 * i + 1] = util_HexDigit(bytes[i]);
    }
}

bool WriteJsonModel(SVFPlusData* model, JsonOutput& output, void (*onRow)(void*, long long), void* context)
{
    TextWriter out(output);
    if (model == nullptr)
    {
        out.Put("null\n");
        return out.Flush();
    }
    long long rowsWritten = 0;
    out.Put("{\n  \"version\": ");
    out.PutText(model->GetVersion());
    out.Put(",\n  \"comment\": ");
    out.PutText(model->GetComment());
    out.Put(",\n");
    if (OpenArray(out, "  \"fields\": ", model->GetDataFieldCount()))
    {
        for (int i = 0; i < model->GetDataFieldCount(); ++i)
        {
            SVFDataField* field = model->GetDataField(i);
            out.Put(i == 0 ? "\n    {\n      \"name\": " : ",\n    {\n      \"name\": ");
            out.PutText(field->GetFieldName());
            out.Put(",\n      \"checksum\": ");
            out.PutNumber(field->m_nChecksum);
            out.Put(",\n");
            if (OpenArray(out, "      \"blocks\": ", field->GetFieldBlockCount()))
            {
                for (int j = 0; j < field->GetFieldBlockCount(); ++j)
                {
                    SVFDataField::DataBlock* block = field->GetDataBlock(j);
                    out.Put(j == 0 ? "\n        {\n          \"row_width\": "
                                   : ",\n        {\n          \"row_width\": ");
                    out.PutNumber(block->m_nRowWidth);
                    out.Put(",\n");
                    if (OpenArray(out, "          \"rows\": ", block->GetNumberOfRows()))
                    {
                        for (int k = 1; k <= block->GetNumberOfRows(); ++k)
                        {
                            if (k > 1)
                                out.Put(",", 1);
                            NewLine(out, 6);
                            out.PutRow(block->GetRow(k));
                            if (onRow != nullptr)
                                onRow(context, ++rowsWritten);
                        }
                        CloseArray(out, 5);
                    }
                    NewLine(out, 4);
                    out.Put("}", 1);
                }
                CloseArray(out, 3);
            }
            NewLine(out, 2);
            out.Put("}", 1);
        }
        CloseArray(out, 1);
    }
    out.Put("\n}\n");
    return out.Flush();
}

std::string ModelToJson(SVFPlusData* model)
{
    StringOutput output;
    WriteJsonModel(model, output);
    return output.m_text;
}

std::string JsonString(const char* text)
{
    StringOutput output;
    {
        TextWriter writer(output);
        writer.PutText(text);
        writer.Flush();
    }
    return output.m_text;
}

std::string RowToHex(UtByteBuffer* row)
{
    std::string hex;
    std::string scratch;
    const unsigned char* bytes = RowBytes(row, scratch);
    if (bytes == nullptr)
        return hex;
    hex.resize(2 * (size_t)row->GetTotalSize());
    BytesToHex(bytes, row->GetTotalSize(), &hex[0]);
    return hex;
}
