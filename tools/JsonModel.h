// The data model as JSON, for the rizeroz tool (docs/cli.md describes the shape):
//
//   {"version": "2.1", "comment": "text" or null,
//    "fields": [{"name": "FIELD_A", "checksum": 6699,
//                "blocks": [{"row_width": 16, "rows": ["1234", "5678"]}]}]}
//
// Rows are hexadecimal digit pairs without "0x", upper case on output, either case on
// input. Both directions stream, with RapidJSON (Debian's rapidjson-dev): its writer puts
// the text out piece by piece as the model is walked, and its SAX reader builds the model
// from the text as it comes, with no document tree in between. This part needs RapidJSON
// and the library, nothing of the command line, so that a fuzz target can compile it on
// its own.
#ifndef RIZEROZ_TOOLS_JSONMODEL_H
#define RIZEROZ_TOOLS_JSONMODEL_H

#include <stdio.h>

#include <functional>
#include <string>

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include "RODAzivUzirAdovIzozari.h"
#include "DocumentWalk.h"
#include "SVFPlusData.h"
#include "UtByteBuffer.h"

// Deepest nesting of arrays and objects a JSON text may have; the shape needs 6.
enum
{
    JSON_MODEL_MAX_DEPTH = 32
};

// Where the JSON text comes from.
class JsonInput
{
public:
    virtual ~JsonInput() {}
    // Up to `size` bytes into `buffer`: their number; 0 at the end of the text, -1 when
    // reading fails.
    virtual long Read(char* buffer, size_t size) = 0;
    // The whole length when it is known (a regular file), else 0.
    virtual unsigned long long GetTotal() const { return 0; }
};

// A text in memory.
class JsonTextInput : public JsonInput
{
public:
    explicit JsonTextInput(const std::string& text) : m_text(text), m_nAt(0) {}
    long Read(char* buffer, size_t size) override;
    unsigned long long GetTotal() const override { return m_text.size(); }

private:
    const std::string& m_text;
    size_t m_nAt;
};

// An open stream (a file, a pipe), read from where it stands.
class JsonFileInput : public JsonInput
{
public:
    explicit JsonFileInput(FILE* file);
    long Read(char* buffer, size_t size) override;
    unsigned long long GetTotal() const override { return m_nTotal; }

private:
    JsonFileInput(const JsonFileInput&) = delete;
    JsonFileInput& operator=(const JsonFileInput&) = delete;

    FILE* m_pFile;   // not owned
    unsigned long long m_nTotal;
};

// What is wrong with a JSON text: one sentence, and its place when it has one (else 0).
struct JsonReadError
{
    long nLine = 0;
    long nColumn = 0;
    std::string message;
};

// Reads a JSON text of the shape above into `model`, which must be new and empty, with
// RapidJSON's SAX reader through a buffer of fixed size: a file and a pipe take the same
// path, and memory beyond the model is that buffer and the longest text of the JSON.
// `observer` (the handler's read hook, so that one hook serves both readers) is told of
// each row and of the reading's progress (its total 0 when unknown). Returns 0 on
// success. On failure returns -1, empties `model` again, and sets `error`: malformed
// JSON ("the JSON text is malformed (...) at "...""), quoting at most 40 characters of
// the text; else the member at fault ("fields[0].checksum must be ...").
// When the text holds several faults, malformed JSON, nesting deeper than
// JSON_MODEL_MAX_DEPTH, a member given twice and a text that is not UTF-8 are reported
// before those of the shape.
// A text ("version", "comment", a name) longer than `limits.nElementText` bytes and a row
// of more than `limits.nRow` bytes are refused, as the data file reader refuses them (0
// stands for the defaults); a JSON text holds at most 4 GiB - 6 bytes as written, so a
// text is at most that long, and a row at most half as many bytes.
int ReadJsonModel(JsonInput& input, SVFPlusData& model, JsonReadError& error, SVFReadHook* observer = nullptr,
                  const SVFReadLimits& limits = SVFReadLimits());

// The longest text and row the JSON reader takes, in bytes, from a reader's limits.
struct JsonTextLimits
{
    unsigned long long nText = 0;
    unsigned long long nRow = 0;
    static JsonTextLimits Of(const SVFReadLimits& limits);
};

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
// pieces of about 1 MB, texts and rows of any length too, so that writing takes that
// much memory whatever it writes: the document's own calls pass each piece on. Texts go
// through Text: a byte that is no part of a UTF-8 sequence is written as U+FFFD, and null
// as null.
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
    // False once the output refused a piece.
    bool Passed() const { return !m_bFailed; }

private:
    JsonDocument(const JsonDocument&) = delete;
    JsonDocument& operator=(const JsonDocument&) = delete;

    // Hands the text so far to the output once it fills a piece (1 MB), or `whole`.
    void Pass(bool whole = false);

    JsonOutput& m_output;
    rapidjson::StringBuffer m_text;
    JsonWriter m_writer;
    bool m_bFailed = false;   // the output refused a piece
    std::string m_scratch;
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

// Writes the JSON text of `model` (null gives "null"), keys in the order of the shape,
// ending with a line feed. False when `output` refused a piece.
bool WriteJsonModel(SVFPlusData* model, JsonOutput& output);

// The members "version", "comment" and "fields" of a model into the open object of
// `document`, as a walk of the model meets them (DocumentWalk.h); `blockEnd` and
// `fieldEnd` add the last members of each block and field.
class ModelMembers : public SVFDocumentWalk::Visitor
{
public:
    ModelMembers(JsonDocument& document, std::function<void(SVFDataField::DataBlock*)> blockEnd,
                 std::function<void(SVFDataField*)> fieldEnd)
        : m_document(document), m_blockEnd(std::move(blockEnd)), m_fieldEnd(std::move(fieldEnd))
    {
    }
    void Head(SVFPlusData* model) override;
    void FieldStart(SVFDataField* field) override;
    void Block(SVFDataField::DataBlock* block) override;
    void FieldEnd(SVFDataField* field) override;
    void End(SVFPlusData*) override { m_document.Write().EndArray(); }

private:
    JsonDocument& m_document;
    std::function<void(SVFDataField::DataBlock*)> m_blockEnd;
    std::function<void(SVFDataField*)> m_fieldEnd;
};

// The JSON text of a model as WriteJsonModel writes it, in parts while the model is still
// being read (Part, as SVFDocumentWalk::WalkTo goes), then the rest (Finish). Each
// returns false once `output` refused a piece; Holds tells whether the model still holds
// what was written.
class JsonModelText
{
public:
    explicit JsonModelText(JsonOutput& output);
    bool Part(SVFPlusData* model, int field, int block);
    bool Finish(SVFPlusData* model);
    bool Holds(SVFPlusData* model) const { return m_walk.Holds(model); }

private:
    JsonDocument m_document;
    ModelMembers m_members;
    SVFDocumentWalk m_walk;
    std::string m_scratch;
};

// WriteModelMembers: the members of `model` (not null) whole.
void WriteModelMembers(JsonDocument& document, SVFPlusData* model,
                       const std::function<void(SVFDataField::DataBlock*)>& blockEnd,
                       const std::function<void(SVFDataField*)>& fieldEnd);

// The whole JSON text of `model` as one string.
std::string ModelToJson(SVFPlusData* model);

// A text as a JSON string, quotes included (null gives "null"), as the writer gives it.
std::string JsonString(const char* text);

// Upper-case hexadecimal digits of a row's bytes, without "0x"; empty for a null row.
std::string RowToHex(UtByteBuffer* row);

// True when the `length` bytes at `text`, which a NUL follows, are UTF-8: the shortest
// form of code points up to U+10FFFF that are no surrogates.
bool IsUtf8(const char* text, size_t length);

// Writes the upper-case hexadecimal digits of `count` bytes to `out` (2 x count chars).
void BytesToHex(const unsigned char* bytes, size_t count, char* out);

#endif
