// Reading a JSON text into a data model as it comes: RapidJSON's SAX reader takes the text
// from JsonStream, a buffer of fixed size over a byte source, and its events go to
// ModelEvents, which checks each member against the shape and builds the model straight
// away. See SVFJson.h.
#include "SVFJson.h"

#include <ctype.h>
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <climits>
#include <new>
#include <set>
#include <string>
#include <vector>

#include <rapidjson/error/en.h>

#include "JsonStream.h"
#include "UtFastText.h"
#include "UtUtility.h"
#include "UtWarningText.h"
// The parser's codes and limits, which a JSON text meets as a data file does (no more).
#include "XMLParser.h"

namespace
{
// What is wrong with a JSON text: its code (SVFJson.h), one sentence, and its place when
// it has one (else 0).
struct JsonFault
{
    int nCode = 0;
    long nLine = 0;
    long nColumn = 0;
    long long nOffset = -1;   // the byte of the text where the fault stands; -1 when none
    int nErrno = 0;           // the source's errno of a failed read
    std::string message;

    // The fault stands at byte `at` of the text `stream` reads.
    void PlaceAt(JsonStream& stream, unsigned long long at)
    {
        stream.Place(at, nLine, nColumn);
        nOffset = (long long)at;
    }
};

// The longest text and row the reader takes, in bytes, from a reader's limits.
struct JsonTextLimits
{
    unsigned long long nText = 0;
    unsigned long long nRow = 0;
    static JsonTextLimits Of(const SVFReadLimits* limits);
};

// What a value of the text stands for. The members of an object follow its slot, in the
// order of the shape; an array's item follows the array's slot.
enum Slot
{
    SLOT_NONE,   // nothing of the shape: inside something already refused
    SLOT_ROOT,
    SLOT_VERSION,
    SLOT_COMMENT,
    SLOT_FIELDS,
    SLOT_FIELD,
    SLOT_NAME,
    SLOT_CHECKSUM,
    SLOT_BLOCKS,
    SLOT_BLOCK,
    SLOT_ROW_WIDTH,
    SLOT_ROWS,
    SLOT_ROW,
    SLOT_COUNT
};

// What a slot holds.
enum Holds
{
    HOLDS_NOTHING,
    HOLDS_OBJECT,
    HOLDS_ARRAY,
    HOLDS_TEXT,   // a text or null
    HOLDS_NUMBER,
    HOLDS_ROW
};

// A slot of the shape: the object it is a member of (its key, whether it is required),
// the array indexes its place names (1: the field's, 2: and the block's, 3: and the
// row's), and what it must be, as its message says.
struct SlotRule
{
    Slot parent;
    const char* key;
    bool required;
    int depth;
    Holds holds;
    const char* must;
};

static_assert(INT_MIN == -2147483647 - 1 && INT_MAX == 2147483647, "row_width's message names the range of int");
const SlotRule kSlots[SLOT_COUNT] = {
    {SLOT_NONE, nullptr, false, 0, HOLDS_NOTHING, nullptr},
    {SLOT_NONE, nullptr, false, 0, HOLDS_OBJECT, nullptr},
    {SLOT_ROOT, "version", true, 0, HOLDS_TEXT, "a text or null"},
    {SLOT_ROOT, "comment", false, 0, HOLDS_TEXT, "a text or null"},
    {SLOT_ROOT, "fields", true, 0, HOLDS_ARRAY, "an array"},
    {SLOT_FIELDS, nullptr, false, 1, HOLDS_OBJECT, "an object"},
    {SLOT_FIELD, "name", true, 1, HOLDS_TEXT, "a text or null"},
    {SLOT_FIELD, "checksum", false, 1, HOLDS_NUMBER, "a whole number from 0 to 65535"},
    {SLOT_FIELD, "blocks", true, 1, HOLDS_ARRAY, "an array"},
    {SLOT_BLOCKS, nullptr, false, 2, HOLDS_OBJECT, "an object"},
    {SLOT_BLOCK, "row_width", true, 2, HOLDS_NUMBER, "a whole number from -2147483648 to 2147483647"},
    {SLOT_BLOCK, "rows", true, 2, HOLDS_ARRAY, "an array"},
    {SLOT_ROWS, nullptr, false, 3, HOLDS_ROW, "a text of hexadecimal digits"},
};

// An open object or array of the text.
struct Frame
{
    Slot slot;   // the slot it fills; SLOT_NONE when refused or inside something refused
    bool object;
    long long nItems;             // arrays: items so far
    unsigned int nMembersSeen;    // objects of the shape: bit s for the member of slot s
    Slot pending;                 // objects: the slot of the member whose key came last
    std::set<std::string> keys;   // objects: the keys so far
};

// A text in quotes for a message: its first kQuoted bytes (as an excerpt), cut where a character begins.
std::string Quoted(const std::string& text)
{
    const size_t kLongest = JsonStream::kQuoted;
    if (text.size() <= kLongest)
        return "\"" + text + "\"";
    size_t cut = kLongest;
    while (cut > 0 && ((unsigned char)text[cut] & 0xC0) == 0x80)
        --cut;
    return "\"" + text.substr(0, cut) + "...\"";
}

// Checks the events of a text against the shape and builds the model of it. The first
// fault of the shape is kept and building stops there, but the events are followed to
// the end, since malformed JSON, too deep a nesting and a key given twice anywhere in the
// text are reported before it. Those three stop the reading at once.
class ModelEvents
{
public:
    ModelEvents(SVFPlusData& model, SVFReadHook* observer, JsonStream& stream, const JsonTextLimits& limits)
        : m_model(model), m_pObserver(observer), m_stream(stream), m_limits(limits)
    {
        m_frames.reserve(SVF_JSON_MAX_DEPTH + 2);
    }

    // The reason the text was refused, with its place; an empty message when it gave a model.
    const JsonFault& Verdict() const { return !m_fatal.message.empty() ? m_fatal : m_shape; }
    // The text being read when the stream stopped it (JsonStream::TooLong) refused, at
    // the byte past its limit.
    void TooLong(JsonFault& error);

    // RapidJSON's SAX events.
    bool Null() { return Value(nullptr, 0, true); }
    bool Bool(bool) { return Value(nullptr, 0, false); }
    bool Int(int number) { return Number(number >= 0 ? (uint64_t)number : 0, number < 0 ? number : 0); }
    bool Uint(unsigned number) { return Number(number, 0); }
    bool Int64(int64_t number) { return Number(number >= 0 ? (uint64_t)number : 0, number < 0 ? number : 0); }
    bool Uint64(uint64_t number) { return Number(number, 0); }
    // A number that is not whole, or too large for 64 bits.
    bool Double(double) { return Value(nullptr, 0, false); }
    bool RawNumber(const char*, rapidjson::SizeType, bool) { return Value(nullptr, 0, false); }
    bool String(const char* text, rapidjson::SizeType length, bool)
    {
        size_t size = length;
        const unsigned char* bytes = nullptr;
        m_stream.TakeRow(text, size, bytes);   // a row decoded where it lies
        return Value(text, size, false, bytes);
    }
    bool StartObject() { return Open(true); }
    bool StartArray() { return Open(false); }
    bool EndObject(rapidjson::SizeType) { return Close(); }
    bool EndArray(rapidjson::SizeType) { return Close(); }
    bool Key(const char* name, rapidjson::SizeType length, bool);

private:
    bool Deep()
    {
        return m_frames.size() <= SVF_JSON_MAX_DEPTH ||
               Fatal("the JSON text nests deeper than " + std::to_string((int)SVF_JSON_MAX_DEPTH) + " levels");
    }
    bool Building() const { return m_shape.message.empty() && m_fatal.message.empty(); }
    // Tells the stream whether the texts to come are rows of the model being built, which
    // it may hand over where they lie.
    void NoteRowsDue() { m_stream.SetRowsDue(Building() && !m_frames.empty() && m_frames.back().slot == SLOT_ROWS); }
    // A fault of the shape, placed where the reader stands: just after the value at fault.
    // Returns true: the events are followed on.
    bool Refuse(const std::string& sentence, int code = SVF_ERR_JSON_SHAPE)
    {
        return RefuseAt(sentence, m_stream.Tell(), code);
    }
    // The same, placed at byte `at` of the text.
    bool RefuseAt(const std::string& sentence, unsigned long long at, int code = SVF_ERR_JSON_SHAPE)
    {
        if (m_shape.message.empty())
        {
            m_shape.nCode = code;
            m_shape.message = sentence;
            m_shape.PlaceAt(m_stream, at);
        }
        return true;
    }
    bool Fatal(const std::string& sentence, int code = SVF_ERR_JSON_SYNTAX)
    {
        m_fatal.nCode = code;
        m_fatal.message = sentence;
        m_fatal.PlaceAt(m_stream, m_stream.Tell());
        return false;
    }
    // Texts are UTF-8, as JSON's are (rows are checked digit by digit instead).
    bool Utf8(const char* text, size_t length)
    {
        return util_Utf8Prefix(text, length) == length || Fatal("the JSON text holds a text that is not UTF-8");
    }

    Slot TakeSlot();
    // The place of a slot's value: "\"version\"", "fields[0]", "fields[0].blocks[1].row_width".
    std::string Named(Slot slot) const;
    std::string WrongType(Slot slot) const;
    // Why the value of `slot` is refused as longer than its limit, and its code.
    std::string LongerThanItsLimit(Slot slot) const;
    static int LimitCode(Slot slot)
    {
        return kSlots[slot].holds == HOLDS_ROW ? (int)SVF_ERR_ROW_TOO_LARGE : (int)XML_ERR_TOO_LARGE;
    }
    // The most bytes of JSON text the value of `slot` may take.
    unsigned long long LimitOf(Slot slot) const;
    // Refuses the text just read (all of it decoded, as in a row) as longer than its limit.
    bool RefuseLonger(Slot slot)
    {
        if (m_shape.message.empty())
        {
            m_shape.nCode = LimitCode(slot);
            m_shape.message = LongerThanItsLimit(slot);
            m_shape.PlaceAt(m_stream, m_stream.TextStart() + LimitOf(slot));
        }
        return true;
    }

    bool Open(bool object);
    bool Close();
    // A value other than a whole number: a text (`text` not null), null, or another. A row
    // may come decoded already (`bytes`: its length / 2 bytes).
    bool Value(const char* text, size_t length, bool null, const unsigned char* bytes = nullptr);
    bool Number(uint64_t positive, int64_t negative);
    bool SetText(Slot slot, const char* text, size_t length);
    bool ReadRow(const char* digits, size_t length, const unsigned char* bytes);
    bool RefuseRow(const char* digits, size_t length);

    SVFPlusData& m_model;
    SVFReadHook* m_pObserver;
    JsonStream& m_stream;
    const JsonTextLimits m_limits;
    std::vector<Frame> m_frames;
    SVFDataField* m_pField = nullptr;              // the field being read
    SVFDataField::DataBlock* m_pBlock = nullptr;   // the block being read
    int m_index[3] = {-1, -1, -1};                 // of the field, the block and the row being read
    int m_nRowWidth = 0;                           // of the block being read, given to it at its end (a
                                                   // block without one is refused)
    JsonFault m_fatal;
    JsonFault m_shape;
};

Slot ModelEvents::TakeSlot()
{
    if (m_frames.empty())
        return SLOT_ROOT;
    Frame& frame = m_frames.back();
    Slot slot = frame.pending;
    frame.pending = SLOT_NONE;
    if (frame.object)
        return slot;
    long long item = frame.nItems++;
    if (frame.slot == SLOT_NONE)
        return SLOT_NONE;
    slot = (Slot)(frame.slot + 1);   // fields holds field, blocks block, rows row
    m_index[kSlots[slot].depth - 1] = (int)item;
    return slot;
}

std::string ModelEvents::Named(Slot slot) const
{
    const SlotRule& rule = kSlots[slot];
    if (slot == SLOT_ROOT)
        return "the top-level object";
    if (rule.depth == 0)
        return Quoted(rule.key);
    static const char* const kArrays[] = {"fields[", ".blocks[", ".rows["};
    std::string place;
    for (int i = 0; i < rule.depth; ++i)
        place += kArrays[i] + std::to_string(m_index[i]) + "]";
    return rule.key != nullptr ? place + "." + rule.key : place;
}

std::string ModelEvents::WrongType(Slot slot) const
{
    if (slot == SLOT_ROOT)
        return "the JSON text is not an object with the members \"version\" and \"fields\"";
    return Named(slot) + " must be " + kSlots[slot].must;
}

std::string ModelEvents::LongerThanItsLimit(Slot slot) const
{
    if (kSlots[slot].holds == HOLDS_ROW)
        return Named(slot) + " holds more than " + std::to_string(m_limits.nRow) + " bytes, the most a row holds";
    if (kSlots[slot].holds == HOLDS_TEXT)
        return Named(slot) + " is longer than " + std::to_string(m_limits.nText) + " bytes, the most a text holds";
    return "a text of the JSON is longer than " + std::to_string(m_stream.LongestText()) +
           " bytes, the most one may be";
}

unsigned long long ModelEvents::LimitOf(Slot slot) const
{
    if (kSlots[slot].holds == HOLDS_ROW)
        return 2 * m_limits.nRow;
    return kSlots[slot].holds == HOLDS_TEXT ? m_limits.nText : m_stream.LongestText();
}

void ModelEvents::TooLong(JsonFault& error)
{
    Slot slot = SLOT_NONE;   // a key's, or a value's the shape has no slot for
    if (!m_frames.empty() && m_frames.back().object)
        slot = m_frames.back().pending;
    else if (!m_frames.empty() && m_frames.back().slot != SLOT_NONE)
    {
        slot = (Slot)(m_frames.back().slot + 1);
        m_index[kSlots[slot].depth - 1] = (int)m_frames.back().nItems;
    }
    error.nCode = LimitCode(slot);
    error.message = LongerThanItsLimit(slot);
    error.PlaceAt(m_stream, std::min(m_stream.TooLongAt(), m_stream.TextStart() + LimitOf(slot)));
}

bool ModelEvents::Open(bool object)
{
    if (!Deep())
        return false;
    Slot slot = TakeSlot();
    Frame frame = {SLOT_NONE, object, 0, 0, SLOT_NONE, {}};
    if (Building() && kSlots[slot].holds == (object ? HOLDS_OBJECT : HOLDS_ARRAY))
    {
        frame.slot = slot;
        if (slot == SLOT_FIELD && (m_pField = m_model.AddDataField()) == nullptr)
            return Fatal("there is no memory for " + Named(slot), SVF_ERR_NO_MEMORY);
        // A block is made with width 0 and given its width at its end, once its rows are
        // in: a text must not make a few rows of a huge width reserve gigabytes.
        if (slot == SLOT_BLOCK && (m_pBlock = m_pField->AddFieldBlock(0)) == nullptr)
            return Fatal("there is no memory for the block " + Named(slot), SVF_ERR_NO_MEMORY);
    }
    else if (Building() && slot != SLOT_NONE)
        Refuse(WrongType(slot));
    m_frames.push_back(std::move(frame));
    NoteRowsDue();
    return true;
}

bool ModelEvents::Key(const char* text, rapidjson::SizeType length, bool)
{
    if (!Deep() || !Utf8(text, length))
        return false;
    std::string name(text, length);
    Frame& frame = m_frames.back();
    if (!frame.keys.insert(name).second)
        return Fatal("the member " + Quoted(name) + " appears twice in one object");
    if (!Building() || frame.slot == SLOT_NONE)
        return true;
    for (int slot = 0; slot < SLOT_COUNT; ++slot)
    {
        if (kSlots[slot].parent == frame.slot && name == kSlots[slot].key)
        {
            frame.pending = (Slot)slot;
            frame.nMembersSeen |= 1u << slot;
            return true;
        }
    }
    return Refuse(Named(frame.slot) + " has an unknown member " + Quoted(name));
}

bool ModelEvents::Close()
{
    Frame frame = std::move(m_frames.back());
    m_frames.pop_back();
    NoteRowsDue();
    if (!Building() || !frame.object || frame.slot == SLOT_NONE)
        return true;
    for (int slot = 0; slot < SLOT_COUNT; ++slot)
        if (kSlots[slot].parent == frame.slot && kSlots[slot].required && (frame.nMembersSeen & (1u << slot)) == 0)
            return Refuse(Named(frame.slot) + " has no member " + Quoted(kSlots[slot].key));
    if (frame.slot == SLOT_BLOCK)
        m_pBlock->m_nRowWidth = m_nRowWidth;
    return true;
}

bool ModelEvents::Value(const char* text, size_t length, bool null, const unsigned char* bytes)
{
    if (!Deep())
        return false;
    Slot slot = TakeSlot();
    if (!Building() || slot == SLOT_NONE)
        return true;
    if (kSlots[slot].holds == HOLDS_TEXT && (text != nullptr || null))
        return SetText(slot, text, length);
    if (kSlots[slot].holds == HOLDS_ROW && text != nullptr)
        return ReadRow(text, length, bytes);
    return Refuse(WrongType(slot));
}

bool ModelEvents::Number(uint64_t positive, int64_t negative)
{
    if (!Deep())
        return false;
    Slot slot = TakeSlot();
    if (!Building() || slot == SLOT_NONE)
        return true;
    if (slot == SLOT_CHECKSUM && negative == 0 && positive <= 65535)
        m_pField->m_nChecksum = (unsigned int)positive;
    else if (slot == SLOT_ROW_WIDTH && negative == 0 && positive <= (uint64_t)INT_MAX)
        m_nRowWidth = (int)positive;
    else if (slot == SLOT_ROW_WIDTH && negative < 0 && negative >= INT_MIN)
        m_nRowWidth = (int)negative;
    else
        Refuse(WrongType(slot));
    return true;
}

// A text member. The model's texts end at a NUL character, so a text holding one is
// refused rather than cut short.
bool ModelEvents::SetText(Slot slot, const char* text, size_t length)
{
    if (text != nullptr && !Utf8(text, length))
        return false;
    if (text != nullptr && length > m_limits.nText)
        return RefuseLonger(slot);
    if (text != nullptr && memchr(text, '\0', length) != nullptr)
        return Refuse(Named(slot) + " holds a NUL character, which a data model text cannot hold");
    bool kept = true;
    if (slot == SLOT_VERSION)
        kept = m_model.SetVersion(text) != nullptr || text == nullptr;
    else if (slot == SLOT_COMMENT)
    {
        m_model.SetComment(text);
        kept = text == nullptr || m_model.GetComment() != nullptr;
    }
    else
    {
        m_pField->SetFieldName(text);
        kept = text == nullptr || m_pField->GetFieldName() != nullptr;
    }
    return kept || Fatal("there is no memory for the JSON text", SVF_ERR_NO_MEMORY);
}

// A row refused: at its first character that is no hexadecimal digit (white space between
// pairs too, which also makes a count odd), named and placed at its own column when the
// row was written without escapes; else for its odd number of digits.
bool ModelEvents::RefuseRow(const char* digits, size_t length)
{
    size_t at = 0;
    while (at < length && util_IsHexDigit(digits[at]))
        ++at;
    if (at == length)
        return Refuse(Named(SLOT_ROW) + " has an odd number of hexadecimal digits");
    // The stream stands past the closing quote: the text as written spans the decoded
    // characters exactly when nothing in it was escaped.
    unsigned long long start = m_stream.TextStart();
    bool asWritten = m_stream.Tell() == start + length + 1;
    std::string sentence = Named(SLOT_ROW) + " holds " +
                           (asWritten ? util_FoundCharacter((unsigned char)digits[at]) : "a character") +
                           " where a hexadecimal digit is due";
    return RefuseAt(sentence, asWritten ? start + at : m_stream.Tell());
}

bool ModelEvents::ReadRow(const char* digits, size_t length, const unsigned char* bytes)
{
    if (length / 2 > m_limits.nRow)
        return RefuseLonger(SLOT_ROW);
    if (length % 2 != 0)
        return RefuseRow(digits, length);
    UtByteBuffer* row = m_pBlock->AddRow();
    unsigned char* out = row != nullptr && length > 0 && row->Reserve((unsigned int)(length / 2))
                             ? row->Extend((unsigned int)(length / 2))
                             : nullptr;
    if (row == nullptr || (out == nullptr && length > 0))
        return Fatal("there is no memory for the rows of " + Named(SLOT_BLOCK), SVF_ERR_NO_MEMORY);
    // The decoder passes over white space between pairs, which a row here must not hold:
    // then it gives fewer bytes than the pairs.
    size_t used = 0;
    if (bytes != nullptr && length > 0)
        memcpy(out, bytes, length / 2);
    else if (util_DecodeHexRun((const unsigned char*)digits, length, out, length / 2, &used) != length / 2 ||
             used != length)
        return RefuseRow(digits, length);
    if (m_pObserver != nullptr)
    {
        m_pObserver->OnRow(m_index[0], m_index[1], m_index[2], row);
        if (m_pObserver->Stopped())
            return Fatal(ErrorHandler::DescribeCode(SVF_ERR_STOPPED), SVF_ERR_STOPPED);
    }
    return true;
}

JsonTextLimits JsonTextLimits::Of(const SVFReadLimits* limits)
{
    SVFReadLimits given = limits != nullptr ? *limits : SVFReadLimits();
    JsonTextLimits longest;
    longest.nText = std::min<unsigned long long>(given.nElementText != 0 ? given.nElementText : XML_MAX_TEXT,
                                                 JsonStream::kMostText);
    longest.nRow = std::min<unsigned long long>(given.nRow != 0 ? given.nRow : SVF_MAX_ROW,
                                                std::min<unsigned long long>(SVF_MAX_ROW, JsonStream::kMostText / 2));
    return longest;
}

// Parses the text of `stream` into `model`: the fault that refuses it, or none.
JsonFault Parse(JsonStream& stream, SVFPlusData& model, SVFReadHook* hook, const JsonTextLimits& longest)
{
    JsonFault fault;
    ModelEvents events(model, hook, stream, longest);
    JsonSaxReader reader;
    rapidjson::ParseResult parsed = reader.Parse<rapidjson::kParseNoFlags>(stream, events);
    // RapidJSON takes a NUL for the end of the text.
    bool nul = !stream.AtEnd() && stream.Peek() == '\0';
    if (stream.Stopped())
    {
        fault.nCode = SVF_ERR_STOPPED;
        fault.message = ErrorHandler::DescribeCode(SVF_ERR_STOPPED);
        fault.PlaceAt(stream, stream.Tell());
    }
    else if (stream.Failed())
    {
        fault.nCode = XML_ERR_READ;
        char detail[160];
        snprintf(detail, sizeof(detail), "errno %d, %s, at byte %llu", stream.ReadErrno(), strerror(stream.ReadErrno()),
                 stream.FailedAt());
        fault.message = detail;
        fault.nErrno = stream.ReadErrno();
        fault.PlaceAt(stream, stream.FailedAt());
    }
    else if (stream.TooLong())
        events.TooLong(fault);
    else if ((parsed.IsError() || nul) && parsed.Code() != rapidjson::kParseErrorTermination)
    {
        unsigned long long at = nul ? stream.Tell() : parsed.Offset();
        std::string what = nul ? "a NUL character" : rapidjson::GetParseError_En(parsed.Code());
        while (!what.empty() && what.back() == '.')
            what.pop_back();
        fault.nCode = SVF_ERR_JSON_SYNTAX;
        fault.message = "the JSON text is malformed (" + what + ")" + stream.Excerpt(at);
        fault.PlaceAt(stream, at);
    }
    else
        fault = events.Verdict();
    return fault;
}

// Reports `fault` on `errors` (may be null), naming `name`: a failed read as the data file
// reader reports one, with the code's sentence and the errno and offset as its detail. A
// file read `byName` whose first read failed (a folder) is told as the data file reader
// tells one: as a file the system could not read, with no place in it.
void Report(const JsonFault& fault, const char* name, ErrorHandler* errors, bool byName)
{
    if (errors == nullptr)
        return;
    if (fault.nCode == XML_ERR_READ && byName && fault.nOffset == 0)
        errors->AddSystemFailure(XML_ERR_READ, ERROR_LIST_DATA_FILE, name, fault.nErrno, 0);
    else if (fault.nCode == XML_ERR_READ)
        errors->AddReport(fault.nCode, ERROR_LIST_DATA_FILE, name, name, fault.nLine, fault.nColumn,
                          fault.message.c_str(), fault.nErrno, fault.nOffset);
    else
        errors->AddReportSentence(fault.nCode, ERROR_LIST_DATA_FILE, name, name, fault.nLine, fault.nColumn,
                                  fault.message.c_str(), 0, fault.nOffset);
}

// ReadJsonSVFPlusData, of a file read by its name when `byName`.
int ReadJson(UtByteSource& source, const char* name, SVFPlusData& model, ErrorHandler* errors, SVFReadHook* hook,
             const SVFReadLimits* limits, bool byName)
{
    const char* shown = name != nullptr ? name : "";
    JsonFault fault;
    try
    {
        const JsonTextLimits longest = JsonTextLimits::Of(limits);
        JsonStream stream(source, hook, std::max(longest.nText, 2 * longest.nRow));
        fault = Parse(stream, model, hook, longest);
        if (fault.message.empty())
            return 0;
        Report(fault, shown, errors, byName);
    }
    catch (const std::bad_alloc&)
    {
        fault.nCode = SVF_ERR_NO_MEMORY;
        try
        {
            if (errors != nullptr)
                errors->AddReportSentence(fault.nCode, ERROR_LIST_DATA_FILE, shown, shown, 0, 0,
                                          "there is no memory for the JSON text");
        }
        catch (const std::bad_alloc&)
        {
        }
    }
    SVFPlusData empty;   // the model is emptied, whatever it holds
    model.Swap(empty);
    return fault.nCode;
}
}

int ReadJsonSVFPlusData(UtByteSource& source, const char* name, SVFPlusData& model, ErrorHandler* errors,
                        SVFReadHook* hook, const SVFReadLimits* limits)
{
    return ReadJson(source, name, model, errors, hook, limits, false);
}

int ReadJsonSVFPlusDataFile(const char* path, SVFPlusData& model, ErrorHandler* errors, SVFReadHook* hook,
                            const SVFReadLimits* limits)
{
    const char* shown = path != nullptr ? path : "";
    UtFileSource file;
    int reason = path != nullptr ? file.Open(path) : ENOENT;
    if (reason != 0)
    {
        if (errors != nullptr)
            errors->AddSystemFailure(XML_ERR_OPEN, ERROR_LIST_DATA_FILE, shown, reason, -1);
        return XML_ERR_OPEN;
    }
    return ReadJson(file, shown, model, errors, hook, limits, true);
}

int SVFTextFormOf(const char* name, const void* bytes, size_t count, bool more)
{
    if (name != nullptr)
    {
        size_t length = strlen(name);
        const char* suffix = ".json";
        bool json = length >= 5;
        for (size_t i = 0; json && i < 5; ++i)
            json = tolower((unsigned char)name[length - 5 + i]) == suffix[i];
        return json ? SVF_FORM_JSON : SVF_FORM_DATA_FILE;
    }
    const unsigned char* text = static_cast<const unsigned char*>(bytes);
    static const unsigned char kMark[] = {0xEF, 0xBB, 0xBF};
    size_t first = 0;
    while (first < count && first < 3 && text[first] == kMark[first])
        ++first;
    if (first < 3 && first < count)
        first = 0;   // no byte order mark: its first bytes are the text's
    while (first < count && (text[first] == ' ' || text[first] == '\t' || text[first] == '\n' || text[first] == '\r'))
        ++first;
    if (first == count)
        return more ? SVF_FORM_UNKNOWN : SVF_FORM_DATA_FILE;
    return text[first] == '{' ? SVF_FORM_JSON : SVF_FORM_DATA_FILE;
}
