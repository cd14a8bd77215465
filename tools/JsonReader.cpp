// Reading a JSON text into a data model as it comes: the SAX events of the text (from the
// fast scanner, or from nlohmann-json's parser) go to ModelEvents, which checks each
// member against the shape and builds the model straight away. See JsonModel.h.
#include "JsonModel.h"

#include <stdint.h>
#include <string.h>

#include <climits>
#include <new>
#include <set>
#include <vector>

#include "JsonScan.h"
#include "UtUtility.h"

namespace
{
// The value of each hexadecimal digit, either case; 16 for any other character.
struct HexTable
{
    unsigned char value[256];
    constexpr HexTable() : value()
    {
        for (int c = 0; c < 256; ++c)
            value[c] = util_IsHexDigit((char)c) ? (unsigned char)util_HexValue((char)c) : 16;
    }
};
constexpr HexTable kHex;

// What the next value of the text stands for.
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
    SLOT_ROW
};

// An open object or array of the text.
enum FrameKind
{
    FRAME_OTHER,   // refused, or inside something refused
    FRAME_MODEL,
    FRAME_FIELDS,
    FRAME_FIELD,
    FRAME_BLOCKS,
    FRAME_BLOCK,
    FRAME_ROWS
};

struct Member
{
    const char* name;
    Slot slot;
    bool required;
};

const Member kModelMembers[] = {{"version", SLOT_VERSION, true},
                                {"comment", SLOT_COMMENT, false},
                                {"fields", SLOT_FIELDS, true},
                                {nullptr, SLOT_NONE, false}};
const Member kFieldMembers[] = {{"name", SLOT_NAME, true},
                                {"checksum", SLOT_CHECKSUM, false},
                                {"blocks", SLOT_BLOCKS, true},
                                {nullptr, SLOT_NONE, false}};
const Member kBlockMembers[] = {
    {"row_width", SLOT_ROW_WIDTH, true}, {"rows", SLOT_ROWS, true}, {nullptr, SLOT_NONE, false}};

struct Frame
{
    FrameKind kind;
    bool object;
    long long nItems;             // arrays: items so far
    unsigned int nMembersSeen;    // objects of the shape: bit i for member i
    Slot pending;                 // objects: the slot of the member whose key came last
    std::set<std::string> keys;   // objects: the keys so far
};

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// "line L, column C: " and the parser's own words, from a message such as
// "[json.exception.parse_error.101] parse error at line 1, column 2: syntax error ...".
std::string DescribeParseError(const char* message)
{
    std::string text = message;
    long line = 0;
    long column = 0;
    size_t at = text.find("at line ");
    std::string place;
    if (at != std::string::npos && sscanf(text.c_str() + at, "at line %ld, column %ld", &line, &column) == 2)
        place = "line " + std::to_string(line) + ", column " + std::to_string(column) + ": ";
    size_t words = text.find(": ", at == std::string::npos ? 0 : at);
    std::string detail = words != std::string::npos ? text.substr(words + 2) : text;
    return place + "the JSON text is malformed (" + detail + ")";
}

// Checks the events of a text against the shape and builds the model of it. The first
// fault of the shape is kept and building stops there, but the events are followed to
// the end, since malformed JSON, too deep a nesting and a key given twice anywhere in the
// text are reported before it. Those three stop the reading at once.
class ModelEvents : public JsonEvents
{
public:
    ModelEvents(SVFPlusData& model, JsonReadObserver* observer)
        : m_model(model), m_pObserver(observer), m_pField(nullptr), m_pBlock(nullptr), m_nField(-1), m_nBlock(-1),
          m_nRow(-1), m_nRowWidth(0)
    {
        m_frames.reserve(JSON_MODEL_MAX_DEPTH + 2);
    }

    // The reason the text was refused, or "" when it gave a model.
    std::string Verdict() const { return !m_fatal.empty() ? m_fatal : m_shape; }

    bool null() override { return Value(VALUE_NULL, nullptr); }
    bool boolean(bool) override { return Value(VALUE_OTHER, nullptr); }
    bool number_integer(number_integer_t number) override
    {
        return Number(number >= 0 ? (uint64_t)number : 0, number < 0 ? number : 0);
    }
    bool number_unsigned(number_unsigned_t number) override { return Number(number, 0); }
    bool number_float(number_float_t, const string_t&) override { return Value(VALUE_FRACTION, nullptr); }
    bool string(string_t& text) override { return Value(VALUE_TEXT, &text); }
    bool binary(binary_t&) override { return Value(VALUE_OTHER, nullptr); }
    bool start_object(std::size_t) override { return Open(true); }
    bool start_array(std::size_t) override { return Open(false); }
    bool end_object() override { return Close(); }
    bool end_array() override { return Close(); }
    bool key(string_t& name) override;
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& failure) override
    {
        if (dynamic_cast<const nlohmann::detail::parse_error*>(&failure) != nullptr)
            m_fatal = DescribeParseError(failure.what());
        else
            m_fatal = std::string("the JSON text cannot be read (") + failure.what() + ")";
        return false;
    }

private:
    enum ValueKind
    {
        VALUE_NULL,
        VALUE_TEXT,
        VALUE_NUMBER,
        VALUE_FRACTION,   // a number that is not whole, or too large for 64 bits
        VALUE_OTHER       // true, false, binary
    };

    bool Deep()
    {
        if (m_frames.size() > JSON_MODEL_MAX_DEPTH)
            m_fatal = "the JSON text nests deeper than " + std::to_string((int)JSON_MODEL_MAX_DEPTH) + " levels";
        return m_fatal.empty();
    }
    bool Building() const { return m_shape.empty() && m_fatal.empty(); }
    void Refuse(const std::string& sentence)
    {
        if (m_shape.empty())
            m_shape = sentence;
    }
    bool Fatal(const std::string& sentence)
    {
        m_fatal = sentence;
        return false;
    }

    Slot TakeSlot();
    std::string WhereField() const { return "fields[" + std::to_string(m_nField) + "]"; }
    std::string WhereBlock() const { return WhereField() + ".blocks[" + std::to_string(m_nBlock) + "]"; }
    std::string WhereRow() const { return WhereBlock() + ".rows[" + std::to_string(m_nRow) + "]"; }
    std::string WrongType(Slot slot) const;
    std::string WhereObject(FrameKind kind) const;

    bool Open(bool object);
    bool Close();
    bool Value(ValueKind kind, const std::string* text);
    bool Number(uint64_t positive, int64_t negative);
    bool SetText(Slot slot, const std::string* text);
    bool ReadRow(const std::string& digits);

    SVFPlusData& m_model;
    JsonReadObserver* m_pObserver;
    std::vector<Frame> m_frames;
    SVFDataField* m_pField;              // the field being read
    SVFDataField::DataBlock* m_pBlock;   // the block being read
    int m_nField;
    int m_nBlock;
    int m_nRow;
    int m_nRowWidth;   // of the block being read, given to it at its end
    std::string m_fatal;
    std::string m_shape;
};

Slot ModelEvents::TakeSlot()
{
    if (m_frames.empty())
        return SLOT_ROOT;
    Frame& frame = m_frames.back();
    if (frame.object)
    {
        Slot slot = frame.pending;
        frame.pending = SLOT_NONE;
        return slot;
    }
    long long item = frame.nItems++;
    switch (frame.kind)
    {
    case FRAME_FIELDS:
        m_nField = (int)item;
        return SLOT_FIELD;
    case FRAME_BLOCKS:
        m_nBlock = (int)item;
        return SLOT_BLOCK;
    case FRAME_ROWS:
        m_nRow = (int)item;
        return SLOT_ROW;
    default:
        return SLOT_NONE;
    }
}

std::string ModelEvents::WrongType(Slot slot) const
{
    switch (slot)
    {
    case SLOT_ROOT:
        return "the JSON text is not an object with the members \"version\" and \"fields\"";
    case SLOT_VERSION:
        return "\"version\" must be a text or null";
    case SLOT_COMMENT:
        return "\"comment\" must be a text or null";
    case SLOT_FIELDS:
        return "\"fields\" must be an array";
    case SLOT_FIELD:
        return WhereField() + " must be an object";
    case SLOT_NAME:
        return WhereField() + ".name must be a text or null";
    case SLOT_CHECKSUM:
        return WhereField() + ".checksum must be a whole number from 0 to 65535";
    case SLOT_BLOCKS:
        return WhereField() + ".blocks must be an array";
    case SLOT_BLOCK:
        return WhereBlock() + " must be an object";
    case SLOT_ROW_WIDTH:
        return WhereBlock() + ".row_width must be a whole number from " + std::to_string((long long)INT_MIN) + " to " +
               std::to_string((long long)INT_MAX);
    case SLOT_ROWS:
        return WhereBlock() + ".rows must be an array";
    case SLOT_ROW:
        return WhereRow() + " must be a text of hexadecimal digits";
    default:
        return std::string();
    }
}

std::string ModelEvents::WhereObject(FrameKind kind) const
{
    return kind == FRAME_MODEL ? "the top-level object" : kind == FRAME_FIELD ? WhereField() : WhereBlock();
}

bool ModelEvents::Open(bool object)
{
    if (!Deep())
        return false;
    Slot slot = TakeSlot();
    Frame frame;
    frame.kind = FRAME_OTHER;
    frame.object = object;
    frame.nItems = 0;
    frame.nMembersSeen = 0;
    frame.pending = SLOT_NONE;
    if (Building())
    {
        if (object && slot == SLOT_ROOT)
            frame.kind = FRAME_MODEL;
        else if (object && slot == SLOT_FIELD)
        {
            m_pField = m_model.AddDataField();
            if (m_pField == nullptr)
                return Fatal("there is no memory for " + WhereField());
            frame.kind = FRAME_FIELD;
            m_nBlock = -1;
        }
        else if (object && slot == SLOT_BLOCK)
        {
            // The block is made with width 0 and given its width at its end, once its rows
            // are in: a text must not make a few rows of a huge width reserve gigabytes.
            m_pBlock = m_pField->AddFieldBlock(0);
            if (m_pBlock == nullptr)
                return Fatal("there is no memory for the block " + WhereBlock());
            frame.kind = FRAME_BLOCK;
            m_nRowWidth = 0;
            m_nRow = -1;
        }
        else if (!object && (slot == SLOT_FIELDS || slot == SLOT_BLOCKS || slot == SLOT_ROWS))
            frame.kind = slot == SLOT_FIELDS ? FRAME_FIELDS : slot == SLOT_BLOCKS ? FRAME_BLOCKS : FRAME_ROWS;
        else
            Refuse(WrongType(slot));
    }
    m_frames.push_back(std::move(frame));
    return true;
}

bool ModelEvents::key(string_t& name)
{
    if (!Deep())
        return false;
    Frame& frame = m_frames.back();
    if (!frame.keys.insert(name).second)
        return Fatal("the member " + Quoted(name) + " appears twice in one object");
    if (!Building() || frame.kind == FRAME_OTHER)
        return true;
    const Member* members = frame.kind == FRAME_MODEL   ? kModelMembers
                            : frame.kind == FRAME_FIELD ? kFieldMembers
                                                        : kBlockMembers;
    for (unsigned int i = 0; members[i].name != nullptr; ++i)
    {
        if (name == members[i].name)
        {
            frame.pending = members[i].slot;
            frame.nMembersSeen |= 1u << i;
            return true;
        }
    }
    Refuse(WhereObject(frame.kind) + " has an unknown member " + Quoted(name));
    return true;
}

bool ModelEvents::Close()
{
    Frame frame = std::move(m_frames.back());
    m_frames.pop_back();
    if (!Building() || !frame.object || frame.kind == FRAME_OTHER)
        return true;
    const Member* members = frame.kind == FRAME_MODEL   ? kModelMembers
                            : frame.kind == FRAME_FIELD ? kFieldMembers
                                                        : kBlockMembers;
    for (unsigned int i = 0; members[i].name != nullptr; ++i)
    {
        if (members[i].required && (frame.nMembersSeen & (1u << i)) == 0)
        {
            Refuse(WhereObject(frame.kind) + " has no member " + Quoted(members[i].name));
            return true;
        }
    }
    if (frame.kind == FRAME_BLOCK)
        m_pBlock->m_nRowWidth = m_nRowWidth;
    return true;
}

bool ModelEvents::Value(ValueKind kind, const std::string* text)
{
    if (!Deep())
        return false;
    Slot slot = TakeSlot();
    if (!Building() || slot == SLOT_NONE)
        return true;
    bool textSlot = slot == SLOT_VERSION || slot == SLOT_COMMENT || slot == SLOT_NAME;
    if (textSlot && (kind == VALUE_TEXT || kind == VALUE_NULL))
        return SetText(slot, text);
    if (slot == SLOT_ROW && kind == VALUE_TEXT)
        return ReadRow(*text);
    Refuse(WrongType(slot));
    return true;
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
bool ModelEvents::SetText(Slot slot, const std::string* text)
{
    const char* name = slot == SLOT_VERSION ? "\"version\"" : slot == SLOT_COMMENT ? "\"comment\"" : nullptr;
    if (text != nullptr && text->find('\0') != std::string::npos)
    {
        Refuse((name != nullptr ? std::string(name) : WhereField() + ".name") +
               " holds a NUL character, which a data model text cannot hold");
        return true;
    }
    const char* value = text != nullptr ? text->c_str() : nullptr;
    bool kept = true;
    if (slot == SLOT_VERSION)
        kept = m_model.SetVersion(value) != nullptr || value == nullptr;
    else if (slot == SLOT_COMMENT)
    {
        m_model.SetComment(value);
        kept = value == nullptr || m_model.GetComment() != nullptr;
    }
    else
    {
        m_pField->SetFieldName(value);
        kept = value == nullptr || m_pField->GetFieldName() != nullptr;
    }
    return kept || Fatal("there is no memory for the JSON text");
}

bool ModelEvents::ReadRow(const std::string& digits)
{
    if (digits.size() % 2 != 0)
    {
        Refuse(WhereRow() + " has an odd number of hexadecimal digits");
        return true;
    }
    UtByteBuffer* row = m_pBlock->AddRow();
    unsigned char* out = row != nullptr && !digits.empty() ? row->Extend((unsigned int)(digits.size() / 2)) : nullptr;
    if (row == nullptr || (out == nullptr && !digits.empty()))
        return Fatal("there is no memory for the rows of " + WhereBlock());
    const unsigned char* p = (const unsigned char*)digits.data();
    for (size_t i = 0; i < digits.size(); i += 2)
    {
        unsigned char high = kHex.value[p[i]], low = kHex.value[p[i + 1]];
        if ((high | low) & 16)
        {
            Refuse(WhereRow() + " holds a character that is no hexadecimal digit");
            return true;
        }
        *out++ = (unsigned char)(high << 4 | low);
    }
    if (m_pObserver != nullptr)
        m_pObserver->OnRow(m_nField, m_nBlock, m_nRow, row);
    return true;
}

// nlohmann-json's view of the chunks: an input iterator over their bytes, equal to the
// end iterator once the chunks are used up.
class ChunkIterator
{
public:
    typedef std::input_iterator_tag iterator_category;
    typedef char value_type;
    typedef std::ptrdiff_t difference_type;
    typedef const char* pointer;
    typedef const char& reference;

    explicit ChunkIterator(JsonChunks* chunks = nullptr) : m_pChunks(chunks) {}
    const char& operator*() const { return *m_pChunks->m_pNext; }
    ChunkIterator& operator++()
    {
        ++m_pChunks->m_pNext;
        return *this;
    }
    bool operator==(const ChunkIterator& other) const { return AtEnd() == other.AtEnd(); }
    bool operator!=(const ChunkIterator& other) const { return AtEnd() != other.AtEnd(); }

private:
    bool AtEnd() const { return m_pChunks == nullptr || !m_pChunks->Fill(); }

    JsonChunks* m_pChunks;
};

// Empties a model, whatever it holds.
void Empty(SVFPlusData& model)
{
    SVFPlusData empty;
    model.Swap(empty);
}
}

int ReadJsonModel(JsonInput& input, SVFPlusData& model, std::string& error, JsonReadObserver* observer,
                  JsonReadPath path)
{
    try
    {
        bool parse = path == JSON_READ_PARSER_ONLY || !input.CanRewind();
        std::string verdict;
        bool failedRead = false;
        if (!parse)
        {
            ModelEvents events(model, observer);
            JsonChunks chunks(input, observer);
            JsonScanResult scanned = ScanJson(chunks, events);
            failedRead = chunks.Failed();
            if (scanned == JSON_SCAN_UNSURE && !failedRead)
            {
                // The parser reads it all again, from a model as empty as it was given.
                parse = true;
                Empty(model);
                if (observer != nullptr)
                    observer->OnRestart();
                if (!input.Rewind())
                    failedRead = true;
            }
            else
                verdict = events.Verdict();
        }
        if (parse && !failedRead)
        {
            ModelEvents events(model, observer);
            JsonChunks chunks(input, observer);
            nlohmann::json::sax_parse(ChunkIterator(&chunks), ChunkIterator(), &events);
            failedRead = chunks.Failed();
            verdict = events.Verdict();
        }
        if (failedRead)
            error = "reading the file failed";
        else if (!verdict.empty())
            error = verdict;
        else
            return 0;
    }
    catch (const std::bad_alloc&)
    {
        error = "there is no memory for the JSON text";
    }
    Empty(model);
    return -1;
}

int JsonToModel(const std::string& text, SVFPlusData& model, std::string& error)
{
    JsonTextInput input(text);
    return ReadJsonModel(input, model, error);
}
