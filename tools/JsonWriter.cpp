// JSON text with RapidJSON's writer: the data model walked and written as it goes, a
// piece of 1 MB at a time to the output (the size of the tool's pipes), so that writing
// takes that much memory (and the longest row) whatever the model holds.
#include "JsonModel.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <new>

#include "ModelRows.h"
#include "UtUtility.h"

namespace
{
const char kReplacement[] = "\xEF\xBF\xBD";   // U+FFFD

// Length of the UTF-8 sequence at text[0] (1 to 4): only the shortest form of a code
// point up to U+10FFFF that is no surrogate; 0 when none begins there.
size_t Utf8Length(const unsigned char* text)
{
    unsigned char first = text[0];
    if (first < 0x80)
        return 1;
    // The second byte's range: narrower after E0 and F0 (no overlong form), ED (no
    // surrogate) and F4 (nothing past U+10FFFF).
    unsigned char low = first == 0xE0 ? 0xA0 : first == 0xF0 ? 0x90 : 0x80;
    unsigned char high = first == 0xED ? 0x9F : first == 0xF4 ? 0x8F : 0xBF;
    size_t following = first >= 0xC2 && first <= 0xDF   ? 1
                       : first >= 0xE0 && first <= 0xEF ? 2
                       : first >= 0xF0 && first <= 0xF4 ? 3
                                                        : 0;
    if (following == 0 || text[1] < low || text[1] > high)
        return 0;
    for (size_t i = 2; i <= following; ++i)
        if (text[i] < 0x80 || text[i] > 0xBF)
            return 0;
    return following + 1;
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

bool IsUtf8(const char* text, size_t length)
{
    const unsigned char* p = (const unsigned char*)text;
    const unsigned char* end = p + length;
    while (p < end)
    {
        size_t step = Utf8Length(p);   // the NUL after the text ends any sequence
        if (step == 0)
            return false;
        p += step;
    }
    return true;
}

// Long texts and rows go out a piece at a time, so that writing one holds about a piece
// beyond the model, whatever its length.
const size_t kPieceBytes = 512 * 1024;

void JsonDocument::Text(const char* text)
{
    if (text == nullptr)
    {
        m_writer.Null();
        return;
    }
    // The writer puts the separator and the indent of a value; the text follows a piece at
    // a time, each piece whole UTF-8 sequences (a byte that begins none as U+FFFD),
    // escaped by RapidJSON's writer of its own, whose quotes are left out.
    m_writer.RawValue("", 0, rapidjson::kStringType);
    m_text.Put('"');
    const unsigned char* p = (const unsigned char*)text;
    while (*p != 0)
    {
        m_scratch.clear();
        for (; *p != 0 && m_scratch.size() < kPieceBytes;)
        {
            size_t step = Utf8Length(p);
            m_scratch.append(step == 0 ? kReplacement : (const char*)p, step == 0 ? strlen(kReplacement) : step);
            p += step == 0 ? 1 : step;
        }
        rapidjson::StringBuffer escaped;
        rapidjson::Writer<rapidjson::StringBuffer> piece(escaped);
        piece.String(m_scratch.data(), (rapidjson::SizeType)m_scratch.size());
        size_t inside = escaped.GetSize() - 2;
        memcpy(m_text.Push(inside), escaped.GetString() + 1, inside);
        Pass();
    }
    m_text.Put('"');
    Pass();
}

void JsonDocument::Hex(const unsigned char* bytes, size_t count)
{
    m_writer.RawValue("", 0, rapidjson::kStringType);
    m_text.Put('"');
    for (size_t done = 0; done < count;)
    {
        size_t piece = std::min(count - done, kPieceBytes);
        BytesToHex(bytes + done, piece, m_text.Push(2 * piece));
        done += piece;
        Pass();
    }
    m_text.Put('"');
    Pass();
}

void JsonDocument::Pass(bool whole)
{
    if (m_text.GetSize() < (whole ? 1 : 1048576))
        return;
    m_bFailed = m_bFailed || !m_output.Put(m_text.GetString(), m_text.GetSize());
    m_text.Clear();
}

bool JsonDocument::Finish()
{
    m_text.Put('\n');
    Pass(true);
    return !m_bFailed;
}

bool JsonLineOutput::Put(const char* data, size_t length)
{
    m_kept.clear();
    for (const char* p = data; p < data + length; ++p)
    {
        char c = *p;
        if (m_bInText)
        {
            m_bInText = m_bEscaped || c != '"';
            m_bEscaped = !m_bEscaped && c == '\\';
        }
        else if (c == ' ' || c == '\t' || c == '\r' || (c == '\n' && m_nDepth > 0))
            continue;
        else
        {
            m_bInText = c == '"';
            m_nDepth += (c == '{' || c == '[') ? 1 : (c == '}' || c == ']') ? -1 : 0;
        }
        m_kept += c;
    }
    return fwrite(m_kept.data(), 1, m_kept.size(), stdout) == m_kept.size();
}

void BytesToHex(const unsigned char* bytes, size_t count, char* out)
{
    util_EncodeHexLines(bytes, count, count + 1, "", 0, out);   // one line: no break
}

void ModelMembers::Head(SVFPlusData* model)
{
    m_document.Member("version", model->GetVersion());
    m_document.Member("comment", model->GetComment());
    m_document.Array("fields");
}

void ModelMembers::FieldStart(SVFDataField* field)
{
    m_document.Write().StartObject();
    m_document.Member("name", field->GetFieldName());
    m_document.Number("checksum", field->m_nChecksum);
    m_document.Array("blocks");
}

void ModelMembers::Block(SVFDataField::DataBlock* block)
{
    m_document.Write().StartObject();
    m_document.Number("row_width", block->m_nRowWidth);
    m_blockEnd(block);
    m_document.Write().EndObject();
}

void ModelMembers::FieldEnd(SVFDataField* field)
{
    m_document.Write().EndArray();
    m_fieldEnd(field);
    m_document.Write().EndObject();
}

JsonModelText::JsonModelText(JsonOutput& output)
    : m_document(output), m_members(
                              m_document,
                              [this](SVFDataField::DataBlock* block) {
                                  m_document.Array("rows");
                                  for (int k = 1; k <= block->GetNumberOfRows(); ++k)
                                  {
                                      UtByteBuffer* row = block->GetRow(k);
                                      const unsigned char* bytes = RowBytes(row, m_scratch);
                                      m_document.Hex(bytes, bytes != nullptr ? row->GetTotalSize() : 0);
                                  }
                                  m_document.Write().EndArray();
                              },
                              [](SVFDataField*) {})
{
    m_document.Write().StartObject();
}

bool JsonModelText::Part(SVFPlusData* model, int field, int block)
{
    m_walk.WalkTo(model, m_members, field, block);
    return m_document.Passed();
}

bool JsonModelText::Finish(SVFPlusData* model)
{
    m_walk.WalkTo(model, m_members);
    m_document.Write().EndObject();
    return m_document.Finish();
}

bool WriteJsonModel(SVFPlusData* model, JsonOutput& output)
{
    if (model != nullptr)
        return JsonModelText(output).Finish(model);
    JsonDocument document(output);
    document.Write().Null();
    return document.Finish();
}

void WriteModelMembers(JsonDocument& document, SVFPlusData* model,
                       const std::function<void(SVFDataField::DataBlock*)>& blockEnd,
                       const std::function<void(SVFDataField*)>& fieldEnd)
{
    ModelMembers members(document, blockEnd, fieldEnd);
    SVFDocumentWalk().WalkTo(model, members);
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
    JsonDocument document(output);
    document.Text(text);
    document.Finish();
    output.m_text.pop_back();   // the line feed
    return output.m_text;
}

std::string RowToHex(UtByteBuffer* row)
{
    std::string scratch;
    const unsigned char* bytes = RowBytes(row, scratch);
    std::string hex(bytes != nullptr ? 2 * (size_t)row->GetTotalSize() : 0, '\0');
    if (bytes != nullptr)
        BytesToHex(bytes, row->GetTotalSize(), &hex[0]);
    return hex;
}
