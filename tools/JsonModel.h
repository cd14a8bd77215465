// The data model as JSON, for the rizeroz tool (docs/cli.md describes the shape):
//
//   {"version": "2.1", "comment": "text" or null,
//    "fields": [{"name": "FIELD_A", "checksum": 6699,
//                "blocks": [{"row_width": 16, "rows": ["1234", "5678"]}]}]}
//
// Rows are hexadecimal digit pairs without "0x", upper case on output, either case on
// input. Both directions stream: the writer puts the text out piece by piece as it walks
// the model, and the reader builds the model from the text as it comes, in chunks, with
// no document tree in between. This part needs nlohmann-json and the library, nothing of
// the command line, so that a fuzz target can compile it on its own.
#ifndef RIZEROZ_TOOLS_JSONMODEL_H
#define RIZEROZ_TOOLS_JSONMODEL_H

#include <stdio.h>

#include <string>

#include "SVFPlusData.h"
#include "UtByteBuffer.h"

// Deepest nesting of arrays and objects a JSON text may have; the shape needs 6.
enum
{
    JSON_MODEL_MAX_DEPTH = 32
};

// Where the JSON text comes from, a chunk at a time.
class JsonInput
{
public:
    virtual ~JsonInput() {}
    // The next chunk: sets `data` and returns its length; 0 at the end of the text, -1
    // when reading fails.
    virtual long Next(const char*& data) = 0;
    // True when the input can start again from its first byte (not a pipe).
    virtual bool CanRewind() const = 0;
    // Starts again from the first byte; false when that fails.
    virtual bool Rewind() = 0;
    // Bytes handed out so far, and the whole length when known (else 0).
    virtual unsigned long long GetDone() const = 0;
    virtual unsigned long long GetTotal() const = 0;
};

// A text in memory.
class JsonTextInput : public JsonInput
{
public:
    explicit JsonTextInput(const std::string& text) : m_text(text), m_bGiven(false) {}
    long Next(const char*& data) override;
    bool CanRewind() const override { return true; }
    bool Rewind() override;
    unsigned long long GetDone() const override { return m_bGiven ? m_text.size() : 0; }
    unsigned long long GetTotal() const override { return m_text.size(); }

private:
    const std::string& m_text;
    bool m_bGiven;
};

// An open stream, read from where it stands. It goes back only when it is a regular file.
class JsonFileInput : public JsonInput
{
public:
    explicit JsonFileInput(FILE* file);
    ~JsonFileInput();
    long Next(const char*& data) override;
    bool CanRewind() const override;
    bool Rewind() override;
    unsigned long long GetDone() const override { return m_nDone; }
    unsigned long long GetTotal() const override { return m_nTotal; }

private:
    JsonFileInput(const JsonFileInput&);
    JsonFileInput& operator=(const JsonFileInput&);

    FILE* m_pFile;        // not owned
    char* m_pChunk;       // owned
    long long m_nStart;   // where a rewindable stream started, else -1
    unsigned long long m_nDone;
    unsigned long long m_nTotal;
};

// Told of each row as it is read, and of the reading's progress; a reader that must go
// back to the start (see ReadJsonModel) says so with Restart.
class JsonReadObserver
{
public:
    virtual ~JsonReadObserver() {}
    // Row `row` of block `block` of field `field` (all from 0) is complete. The observer
    // may empty it (Shrink(0)): the reader does not look at it again.
    virtual void OnRow(int field, int block, int row, UtByteBuffer* bytes) = 0;
    virtual void OnProgress(unsigned long long done, unsigned long long total) = 0;
    // Everything told so far is void: the text is read again from its start.
    virtual void OnRestart() = 0;
};

// How ReadJsonModel goes through the text. The fast scanner reads the JSON that writers
// make at a byte a cycle or so; at anything it does not take (malformed JSON, a number
// with a fraction, a NUL byte) it hands over to nlohmann-json's parser, which reads the
// whole text again from its start and says what is wrong in its own words. An input that
// cannot go back is read by nlohmann-json's parser alone. Either way the result is the
// same.
enum JsonReadPath
{
    JSON_READ_FAST_FIRST = 0,
    JSON_READ_PARSER_ONLY = 1   // for tests that compare the two
};

// Reads a JSON text of the shape above into `model`, which must be new and empty. Returns
// 0 on success. On failure returns -1, empties `model` again, and sets `error` to one
// sentence without the file name: it starts with "line L, column C: " when the text is
// malformed at a known place, else it names the member at fault ("fields[0].checksum
// must be ..."). When the text holds several faults, malformed JSON, nesting deeper than
// JSON_MODEL_MAX_DEPTH and a member given twice are reported before those of the shape.
int ReadJsonModel(JsonInput& input, SVFPlusData& model, std::string& error, JsonReadObserver* observer = nullptr,
                  JsonReadPath path = JSON_READ_FAST_FIRST);

// The same for a text in memory; `model` should be new and empty, and stays so on failure.
int JsonToModel(const std::string& text, SVFPlusData& model, std::string& error);

// Where the JSON text goes, in pieces of up to 64 KB.
class JsonOutput
{
public:
    virtual ~JsonOutput() {}
    // False stops the writing.
    virtual bool Put(const char* data, size_t length) = 0;
};

// Writes the JSON text of `model` (null gives "null"), indented by two spaces, keys in
// the order of the shape, ending with a line feed. Bytes of the model's texts that are
// not UTF-8 are given as U+FFFD. `onRow`, when given, is called after each row with the
// number of rows written so far. False when `output` refused a piece.
bool WriteJsonModel(SVFPlusData* model, JsonOutput& output, void (*onRow)(void*, long long) = nullptr,
                    void* context = nullptr);

// The whole JSON text of `model` as one string.
std::string ModelToJson(SVFPlusData* model);

// A text as a JSON string, quotes included (null gives "null"), as the writer gives it.
std::string JsonString(const char* text);

// Upper-case hexadecimal digits of a row's bytes, without "0x"; empty for a null row.
std::string RowToHex(UtByteBuffer* row);

// The bytes that must follow `first` (0x80 or more) in UTF-8: their number (1 to 3), and
// the range of the first of them (the others are 0x80 to 0xBF), so that only the shortest
// form of a code point up to U+10FFFF that is no surrogate is taken. 0 when no sequence
// begins with `first`.
int Utf8Following(unsigned char first, unsigned char& low, unsigned char& high);

// Writes the upper-case hexadecimal digits of `count` bytes to `out` (2 x count chars).
void BytesToHex(const unsigned char* bytes, size_t count, char* out);

#endif
