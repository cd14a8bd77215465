// The tool's JSON reports (JsonReport.h): RapidJSON's writer for their layout, the
// library's rules for texts and rows.
#include "JsonReport.h"

#include <errno.h>
#include <stdio.h>

#include <new>

#include "ModelRows.h"
#include "SVFJson.h"
#include "UtByteSink.h"

namespace
{
// A JsonOutput as the library's byte sink.
class OutputSink : public UtByteSink
{
public:
    explicit OutputSink(JsonOutput& output) : m_output(output) {}

protected:
    int Take(const void* bytes, size_t count) override { return m_output.Put((const char*)bytes, count) ? 0 : EIO; }

private:
    JsonOutput& m_output;
};
}

void JsonDocument::Text(const char* text)
{
    if (text == nullptr)
    {
        m_writer.Null();
        return;
    }
    // The writer puts the separator and the indent of a value, which go out first; the
    // library then writes the text itself, a piece at a time however long it is.
    m_writer.RawValue("", 0, rapidjson::kStringType);
    Pass(true);
    OutputSink sink(m_output);
    m_bFailed = m_bFailed || WriteJsonString(text, sink) != 0;
}

void JsonDocument::Hex(const unsigned char* bytes, size_t count)
{
    // As a text: the separator and the indent go out first, then the library's row.
    m_writer.RawValue("", 0, rapidjson::kStringType);
    Pass(true);
    OutputSink sink(m_output);
    m_bFailed = m_bFailed || WriteJsonRow(bytes, count, sink) != 0;
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

std::string JsonString(const char* text)
{
    UtMemorySink sink;
    WriteJsonString(text, sink);
    return std::string(sink.GetData() != nullptr ? sink.GetData() : "", sink.GetSize());
}

std::string HexText(const unsigned char* bytes, size_t count)
{
    // The row as the library writes it in JSON, between its quotes.
    UtMemorySink sink;
    if (WriteJsonRow(bytes, count, sink) != 0 || sink.GetSize() < 2)
        throw std::bad_alloc();
    return std::string(sink.GetData() + 1, sink.GetSize() - 2);
}

std::string RowToHex(UtByteBuffer* row)
{
    std::string scratch;
    const unsigned char* bytes = RowBytes(row, scratch);
    return bytes != nullptr ? HexText(bytes, row->GetTotalSize()) : std::string();
}
