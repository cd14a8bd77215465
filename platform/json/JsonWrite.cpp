// Writing the JSON text of a model (SVFJson.h, JsonText.h): RapidJSON's pretty writer lays
// out the members as the model is walked (DocumentWalk.h), and the texts and rows go into
// its buffer straight from here: texts escaped as RapidJSON escapes them, with every byte
// that is no part of UTF-8 as U+FFFD (util_Utf8Prefix), rows as upper-case digit pairs
// (PutRowPart, on util_EncodeHexLines: the model's rows and WriteJsonRow's alike). The text
// goes to the sink a megabyte at a time, so that writing takes that much memory (and a
// row's worth of digits) whatever the model holds.
#include "SVFJson.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <new>
#include <string>

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include "JsonText.h"
#include "UtByteSink.h"
#include "UtFastText.h"
#include "UtUtility.h"

namespace
{
const char kReplacement[] = "\xEF\xBF\xBD";   // U+FFFD
// The text goes to the sink once this much of it waits: a sixteenth of the system calls of
// 64 KB pieces, and the size of the tool's pipes.
const size_t kPassBytes = 1 << 20;
// Long texts and rows are written a piece at a time, so that writing one holds about a
// piece beyond the model, whatever its length.
const size_t kPieceBytes = 512 * 1024;
// WriteJsonRow writes a row through room of its own, this many of its bytes at a time.
const size_t kRowRoomBytes = 2048;

// The one rule of a row in JSON: the `count` bytes at `bytes` as two upper-case hexadecimal
// digits each, on one line, after the opening quote when `open` and before the closing one
// when `close`. Writes them to `out` (room for 2 x `count` + 2 characters) and returns how
// many it wrote. A row's text is made of such parts: the first opens, the last closes.
size_t PutRowPart(const unsigned char* bytes, size_t count, bool open, bool close, char* out)
{
    char* at = out;
    if (open)
        *at++ = '"';
    if (count > 0)
        at += util_EncodeHexLines(bytes, count, count + 1, "", 0, at);   // one line: no break
    if (close)
        *at++ = '"';
    return (size_t)(at - out);
}

// The escape of each byte as RapidJSON's writer escapes it: 0 for none, 'u' for \u00XX,
// else the letter after the backslash.
struct Escapes
{
    char letter[256];
    constexpr Escapes() : letter()
    {
        for (int c = 0; c < 0x20; ++c)
            letter[c] = 'u';
        letter[(unsigned char)'\b'] = 'b';
        letter[(unsigned char)'\t'] = 't';
        letter[(unsigned char)'\n'] = 'n';
        letter[(unsigned char)'\f'] = 'f';
        letter[(unsigned char)'\r'] = 'r';
        letter[(unsigned char)'"'] = '"';
        letter[(unsigned char)'\\'] = '\\';
    }
};

constexpr Escapes kEscapes;

// Appends the `length` bytes at `text` to `out`, escaped as JSON needs.
void PutEscaped(rapidjson::StringBuffer& out, const char* text, size_t length)
{
    const char* end = text + length;
    while (text < end)
    {
        const char* run = text;
        while (text < end && kEscapes.letter[(unsigned char)*text] == 0)
            ++text;
        if (text > run)
            memcpy(out.Push((size_t)(text - run)), run, (size_t)(text - run));
        if (text == end)
            break;
        unsigned char c = (unsigned char)*text++;
        char letter = kEscapes.letter[c];
        char* put = out.Push(letter == 'u' ? 6 : 2);
        put[0] = '\\';
        put[1] = letter;
        if (letter == 'u')
        {
            put[2] = put[3] = '0';
            put[4] = util_HexDigit((unsigned char)(c >> 4));
            put[5] = util_HexDigit((unsigned char)(c & 15));
        }
    }
}

typedef rapidjson::PrettyWriter<rapidjson::StringBuffer> PrettyWriter;
}

// The writer of one text: RapidJSON's pretty writer over a buffer, handed to a sink as it
// fills. The first failure of the sink is kept, and nothing more is handed over.
struct JsonTextWriter
{
    JsonTextWriter() : writer(text) { writer.SetIndent(' ', 2); }

    // Hands the text so far to the sink once it fills a piece, or `whole`.
    void Pass(bool whole = false)
    {
        if (text.GetSize() < (whole ? 1 : kPassBytes))
            return;
        if (error == 0)
            error = sink->Put(text.GetString(), text.GetSize());
        text.Clear();
    }
    // A text of the model (null as null).
    void Text(const char* value);
    // `count` bytes as a text of upper-case digit pairs.
    void Hex(const unsigned char* bytes, size_t count);
    void Member(const char* key, const char* value)
    {
        writer.Key(key);
        Text(value);
    }
    void Number(const char* key, long long number)
    {
        writer.Key(key);
        writer.Int64(number);
    }
    void Array(const char* key)
    {
        writer.Key(key);
        writer.StartArray();
    }

    rapidjson::StringBuffer text;
    PrettyWriter writer;
    UtByteSink* sink = nullptr;
    int error = 0;
    bool started = false;   // the top-level object opened
    std::string scratch;    // the bytes of a row kept in a chain
};

void JsonTextWriter::Text(const char* value)
{
    if (value == nullptr)
    {
        writer.Null();
        return;
    }
    // The writer puts the separator and the indent of a value; the text follows a piece
    // at a time, each run of UTF-8 escaped, each byte that begins none as U+FFFD.
    writer.RawValue("", 0, rapidjson::kStringType);
    text.Put('"');
    const char* end = value + strlen(value);
    for (const char* p = value; p < end;)
    {
        size_t run = util_Utf8Prefix(p, (size_t)(end - p));
        for (size_t done = 0; done < run;)
        {
            size_t piece = run - done < kPieceBytes ? run - done : kPieceBytes;
            PutEscaped(text, p + done, piece);
            done += piece;
            Pass();
        }
        p += run;
        if (p < end)
        {
            memcpy(text.Push(sizeof(kReplacement) - 1), kReplacement, sizeof(kReplacement) - 1);
            ++p;
        }
    }
    text.Put('"');
    Pass();
}

void JsonTextWriter::Hex(const unsigned char* bytes, size_t count)
{
    writer.RawValue("", 0, rapidjson::kStringType);
    bool open = true;
    for (size_t done = 0; done < count; open = false)
    {
        size_t piece = count - done < kPieceBytes ? count - done : kPieceBytes;
        PutRowPart(bytes + done, piece, open, false, text.Push(2 * piece + (open ? 1 : 0)));
        done += piece;
        Pass();
    }
    PutRowPart(nullptr, 0, open, true, text.Push(open ? 2 : 1));
    Pass();
}

namespace
{
// The members "version", "comment" and "fields" of a model into the open top-level object,
// as a walk of the model meets them.
class ModelMembers : public SVFDocumentWalk::Visitor
{
public:
    explicit ModelMembers(JsonTextWriter& out) : m_out(out) {}
    void Head(SVFPlusData* model) override
    {
        m_out.Member("version", model->GetVersion());
        m_out.Member("comment", model->GetComment());
        m_out.Array("fields");
    }
    void FieldStart(SVFDataField* field) override
    {
        m_out.writer.StartObject();
        m_out.Member("name", field->GetFieldName());
        m_out.Number("checksum", field->m_nChecksum);
        m_out.Array("blocks");
    }
    void Block(SVFDataField::DataBlock* block) override;
    void FieldEnd(SVFDataField*) override
    {
        m_out.writer.EndArray();
        m_out.writer.EndObject();
    }
    void End(SVFPlusData*) override { m_out.writer.EndArray(); }

private:
    JsonTextWriter& m_out;
};

void ModelMembers::Block(SVFDataField::DataBlock* block)
{
    m_out.writer.StartObject();
    m_out.Number("row_width", block->m_nRowWidth);
    m_out.Array("rows");
    for (int k = 1; k <= block->GetNumberOfRows(); ++k)
    {
        UtByteBuffer* row = block->GetRow(k);
        size_t size = row != nullptr ? row->GetTotalSize() : 0;
        // A growable row gives its bytes in one piece; a chained one is copied first.
        const unsigned char* bytes = size > 0 ? row->GetData() : nullptr;
        if (size > 0 && bytes == nullptr)
        {
            m_out.scratch.resize(size);
            row->CopyData(0, &m_out.scratch[0], (int)size);
            bytes = (const unsigned char*)m_out.scratch.data();
        }
        m_out.Hex(bytes, size);
    }
    m_out.writer.EndArray();
    m_out.writer.EndObject();
}
}

SVFJsonText::SVFJsonText() : m_pWriter(new JsonTextWriter()) {}

SVFJsonText::~SVFJsonText() {}

int SVFJsonText::Write(UtByteSink& sink, SVFPlusData* model, SVFDocumentWalk& walk, int field, int block)
{
    JsonTextWriter& out = *m_pWriter;
    out.sink = &sink;
    if (!out.started)
        out.writer.StartObject();
    out.started = true;
    ModelMembers members(out);
    walk.WalkTo(model, members, field, block);
    if (field < 0)
    {
        out.writer.EndObject();
        out.text.Put('\n');
        out.Pass(true);
    }
    return out.error;
}

int WriteJsonString(const char* text, UtByteSink& sink)
{
    try
    {
        JsonTextWriter out;
        out.sink = &sink;
        out.Text(text);
        out.Pass(true);
        return out.error;
    }
    catch (const std::bad_alloc&)
    {
        return ENOMEM;
    }
}

int WriteJsonRow(const unsigned char* bytes, size_t count, UtByteSink& sink)
{
    char room[2 * kRowRoomBytes + 2];
    size_t done = 0;
    do
    {
        size_t piece = count - done < kRowRoomBytes ? count - done : kRowRoomBytes;
        int failure = sink.Put(room, PutRowPart(bytes + done, piece, done == 0, done + piece == count, room));
        if (failure != 0)
            return failure;
        done += piece;
    } while (done < count);
    return 0;
}
