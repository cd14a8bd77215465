// The tool's own JSON reports (info --json, check --json, diff --json, and JSON Lines),
// written with RapidJSON's writer (Debian's rapidjson-dev). Their texts and rows follow the
// library's rules for the JSON form of a model (SVFJson.h): a text is written by the
// library's WriteJsonString (bytes that are not UTF-8 as U+FFFD), a row by its
// WriteJsonRow (upper-case digit pairs; the dump's rows are the same digits without the
// quotes). Models themselves are read and written as JSON by the library.
#ifndef RIZEROZ_TOOLS_JSONREPORT_H
#define RIZEROZ_TOOLS_JSONREPORT_H

#include <stdio.h>

#include <string>

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include "UtByteBuffer.h"

// Where the JSON text goes, in pieces.
class JsonOutput
{
public:
    virtual ~JsonOutput() {}
    // False stops the writing.
    virtual bool Put(const char* data, size_t length) = 0;
};

// RapidJSON's pretty writer over a text buffer.
typedef rapidjson::PrettyWriter<rapidjson::StringBuffer> JsonWriter;

// JSON text written with RapidJSON's writer, indented by two spaces, to `output` in
// pieces of about 1 MB. Texts go through Text: as the library writes a model's texts (a
// byte that is no part of a UTF-8 sequence as U+FFFD), and null as null.
class JsonDocument
{
public:
    explicit JsonDocument(JsonOutput& output) : m_output(output), m_writer(m_text) { m_writer.SetIndent(' ', 2); }
    // The writer's calls: StartObject, Key, Int64, Bool, Null, EndArray and so on.
    JsonWriter& Write() { return m_writer; }
    void Text(const char* text);
    void Text(const std::string& text) { Text(text.c_str()); }
    // A member of an object: its key, then a text as Text writes it, a number, a truth
    // value, or a number or null (`known` false).
    void Member(const char* key, const char* text)
    {
        m_writer.Key(key);
        Text(text);
    }
    void Member(const char* key, const std::string& text) { Member(key, text.c_str()); }
    void Number(const char* key, long long number, bool known = true)
    {
        m_writer.Key(key);
        known ? m_writer.Int64(number) : m_writer.Null();
        Pass();
    }
    void Flag(const char* key, bool value)
    {
        m_writer.Key(key);
        m_writer.Bool(value);
    }
    // A member that is an array or an object, opened: its items follow, then EndArray or
    // EndObject.
    void Array(const char* key)
    {
        m_writer.Key(key);
        m_writer.StartArray();
    }
    void Object(const char* key)
    {
        m_writer.Key(key);
        m_writer.StartObject();
    }
    // `count` bytes as a text of upper-case hexadecimal digit pairs (a row).
    void Hex(const unsigned char* bytes, size_t count);
    // Ends the text with a line feed and hands the rest to the output; false when the
    // output refused a piece.
    bool Finish();

private:
    JsonDocument(const JsonDocument&) = delete;
    JsonDocument& operator=(const JsonDocument&) = delete;

    // Hands the text so far to the output once it fills a piece (1 MB), or `whole`.
    void Pass(bool whole = false);

    JsonOutput& m_output;
    rapidjson::StringBuffer m_text;
    JsonWriter m_writer;
    bool m_bFailed = false;   // the output refused a piece
};

// Standard output as a JsonOutput.
class JsonStandardOutput : public JsonOutput
{
public:
    bool Put(const char* data, size_t length) override { return fwrite(data, 1, length, stdout) == length; }
};

// Standard output, each JSON text on a line of its own (JSON Lines): the writer's line ends
// and indents, the white space outside texts, are left out, but for the line feed that
// ends the text.
class JsonLineOutput : public JsonOutput
{
public:
    bool Put(const char* data, size_t length) override;

private:
    bool m_bInText = false;    // within a text's quotes
    bool m_bEscaped = false;   // after a backslash in a text
    long m_nDepth = 0;         // objects and arrays open
    std::string m_kept;
};

// A report on standard output: one indented JSON text, or (`oneLine`) a line of its own.
class JsonReportOutput
{
public:
    explicit JsonReportOutput(bool oneLine) : m_document(oneLine ? (JsonOutput&)m_line : m_pretty) {}
    JsonReportOutput(const JsonReportOutput&) = delete;
    JsonReportOutput& operator=(const JsonReportOutput&) = delete;
    JsonDocument& Document() { return m_document; }

private:
    JsonStandardOutput m_pretty;
    JsonLineOutput m_line;
    JsonDocument m_document;
};

// A text as a JSON string, quotes included (null gives "null"), as the library writes it.
std::string JsonString(const char* text);

// Upper-case hexadecimal digits of `count` bytes, without "0x".
std::string HexText(const unsigned char* bytes, size_t count);

// The same of a row's bytes; empty for a null row.
std::string RowToHex(UtByteBuffer* row);

#endif
