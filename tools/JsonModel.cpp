// The data model as JSON: reading a JSON text into a model with every member checked,
// and writing a model out as JSON. See JsonModel.h and docs/cli.md.
#include "JsonModel.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <climits>
#include <set>
#include <stdexcept>
#include <vector>

#include <nlohmann/json.hpp>

#include "ToolText.h"
#include "UtUtility.h"

namespace
{
typedef nlohmann::json Json;
typedef nlohmann::ordered_json OrderedJson;

// A text that is not of the documented shape; what() is the sentence for the user.
class ShapeError : public std::runtime_error
{
public:
    explicit ShapeError(const std::string& text) : std::runtime_error(text) {}
};

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// Refuses any key of `object` that is not in `allowed` (a null-terminated list).
void CheckKeys(const Json& object, const char* const* allowed, const std::string& where)
{
    for (auto item = object.begin(); item != object.end(); ++item)
    {
        bool known = false;
        for (const char* const* name = allowed; *name != nullptr && !known; ++name)
            known = item.key() == *name;
        if (!known)
            throw ShapeError(where + " has an unknown member " + Quoted(item.key()));
    }
}

const Json& Member(const Json& object, const char* name, const std::string& where)
{
    auto found = object.find(name);
    if (found == object.end())
        throw ShapeError(where + " has no member " + Quoted(name));
    return *found;
}

// A text member that may be null. The model's texts end at a NUL character, so a text
// holding one is refused rather than cut short.
const char* TextOrNull(const Json& value, const std::string& what)
{
    if (value.is_null())
        return nullptr;
    if (!value.is_string())
        throw ShapeError(what + " must be a text or null");
    const std::string& text = value.get_ref<const std::string&>();
    if (text.find('\0') != std::string::npos)
        throw ShapeError(what + " holds a NUL character, which a data model text cannot hold");
    return text.c_str();
}

long long WholeNumber(const Json& value, long long low, long long high, const std::string& what)
{
    bool inRange = false;
    long long number = 0;
    if (value.is_number_unsigned())
    {
        uint64_t raw = value.get<uint64_t>();
        inRange = raw <= (uint64_t)high;
        number = (long long)raw;
    }
    else if (value.is_number_integer())
    {
        number = value.get<int64_t>();
        inRange = number >= low && number <= high;
    }
    if (!inRange)
        throw ShapeError(what + " must be a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high));
    return number;
}

void ReadRow(const Json& value, UtByteBuffer* row, const std::string& what)
{
    if (!value.is_string())
        throw ShapeError(what + " must be a text of hexadecimal digits");
    const std::string& digits = value.get_ref<const std::string&>();
    if (digits.size() % 2 != 0)
        throw ShapeError(what + " has an odd number of hexadecimal digits");
    for (size_t i = 0; i < digits.size(); i += 2)
    {
        if (!IsHexDigit(digits[i]) || !IsHexDigit(digits[i + 1]))
            throw ShapeError(what + " holds a character that is no hexadecimal digit");
        row->WriteData((unsigned char)(util_HexAnsi2Hex(digits[i]) * 16 + util_HexAnsi2Hex(digits[i + 1])));
    }
}

void ReadBlock(const Json& value, SVFDataField* field, const std::string& where)
{
    static const char* const kKeys[] = {"row_width", "rows", nullptr};
    if (!value.is_object())
        throw ShapeError(where + " must be an object");
    CheckKeys(value, kKeys, where);
    int width = (int)WholeNumber(Member(value, "row_width", where), INT_MIN, INT_MAX, where + ".row_width");
    const Json& rows = Member(value, "rows", where);
    if (!rows.is_array())
        throw ShapeError(where + ".rows must be an array");

    // The block is made with width 0 and given its width once its rows are in: a new row
    // reserves room for its block's width, and a JSON text must not make a few rows of
    // a huge width reserve gigabytes. Rows grow as bytes are written anyway.
    SVFDataField::DataBlock* block = field->AddFieldBlock(0);
    if (block == nullptr)
        throw ShapeError("there is no memory for the block " + where);
    for (size_t i = 0; i < rows.size(); ++i)
    {
        UtByteBuffer* row = block->AddRow();
        if (row == nullptr)
            throw ShapeError("there is no memory for the rows of " + where);
        ReadRow(rows[i], row, where + ".rows[" + std::to_string(i) + "]");
    }
    block->m_nRowWidth = width;
}

void ReadField(const Json& value, SVFPlusData& model, const std::string& where)
{
    static const char* const kKeys[] = {"name", "checksum", "blocks", nullptr};
    if (!value.is_object())
        throw ShapeError(where + " must be an object");
    CheckKeys(value, kKeys, where);
    const char* name = TextOrNull(Member(value, "name", where), where + ".name");
    unsigned int checksum = 0;
    auto found = value.find("checksum");
    if (found != value.end())
        checksum = (unsigned int)WholeNumber(*found, 0, 65535, where + ".checksum");
    const Json& blocks = Member(value, "blocks", where);
    if (!blocks.is_array())
        throw ShapeError(where + ".blocks must be an array");

    SVFDataField* field = model.AddDataField();
    if (field == nullptr)
        throw ShapeError("there is no memory for " + where);
    field->SetFieldName(name);
    field->m_nChecksum = checksum;
    for (size_t i = 0; i < blocks.size(); ++i)
        ReadBlock(blocks[i], field, where + ".blocks[" + std::to_string(i) + "]");
}

void ReadModel(const Json& value, SVFPlusData& model)
{
    static const char* const kKeys[] = {"version", "comment", "fields", nullptr};
    if (!value.is_object())
        throw ShapeError("the JSON text is not an object with the members \"version\" and \"fields\"");
    const std::string where = "the top-level object";
    CheckKeys(value, kKeys, where);
    model.SetVersion(TextOrNull(Member(value, "version", where), "\"version\""));
    auto comment = value.find("comment");
    if (comment != value.end())
        model.SetComment(TextOrNull(*comment, "\"comment\""));
    const Json& fields = Member(value, "fields", where);
    if (!fields.is_array())
        throw ShapeError("\"fields\" must be an array");
    for (size_t i = 0; i < fields.size(); ++i)
        ReadField(fields[i], model, "fields[" + std::to_string(i) + "]");
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

OrderedJson TextOrNullJson(const char* text)
{
    return text != nullptr ? OrderedJson(std::string(text)) : OrderedJson(nullptr);
}
}

int JsonToModel(const std::string& text, SVFPlusData& model, std::string& error)
{
    // Nesting depth is bounded, and a key met twice in one object is refused: a JSON
    // parser would keep only one of the two values without a word.
    std::vector<std::set<std::string>> keysSeen;
    Json::parser_callback_t guard = [&keysSeen](int depth, Json::parse_event_t event, Json& parsed) {
        if (depth > JSON_MODEL_MAX_DEPTH)
            throw ShapeError("the JSON text nests deeper than " + std::to_string((int)JSON_MODEL_MAX_DEPTH) +
                             " levels");
        if (event == Json::parse_event_t::object_start)
        {
            keysSeen.emplace_back();
        }
        else if (event == Json::parse_event_t::object_end)
        {
            if (!keysSeen.empty())
                keysSeen.pop_back();
        }
        else if (event == Json::parse_event_t::key && !keysSeen.empty())
        {
            const std::string& key = parsed.get_ref<const std::string&>();
            if (!keysSeen.back().insert(key).second)
                throw ShapeError("the member " + Quoted(key) + " appears twice in one object");
        }
        return true;
    };

    try
    {
        Json document = Json::parse(text, guard);
        SVFPlusData built;
        ReadModel(document, built);
        model = built;
        return 0;
    }
    catch (const Json::parse_error& failure)
    {
        error = DescribeParseError(failure.what());
    }
    catch (const ShapeError& failure)
    {
        error = failure.what();
    }
    catch (const Json::exception& failure)
    {
        error = std::string("the JSON text cannot be read (") + failure.what() + ")";
    }
    catch (const std::bad_alloc&)
    {
        error = "there is no memory for the JSON text";
    }
    catch (const std::exception& failure)
    {
        error = std::string("the JSON text cannot be read (") + failure.what() + ")";
    }
    return -1;
}

std::string RowToHex(UtByteBuffer* row)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    if (row == nullptr)
        return hex;
    unsigned int size = row->GetTotalSize();
    hex.resize((size_t)size * 2);
    for (unsigned int i = 0; i < size; ++i)
    {
        unsigned char b = row->ReadData((int)i);
        hex[2 * (size_t)i] = kDigits[b >> 4];
        hex[2 * (size_t)i + 1] = kDigits[b & 15];
    }
    return hex;
}

std::string ModelToJson(SVFPlusData* model)
{
    if (model == nullptr)
        return "null\n";
    OrderedJson document = OrderedJson::object();
    document["version"] = TextOrNullJson(model->GetVersion());
    document["comment"] = TextOrNullJson(model->GetComment());
    OrderedJson fields = OrderedJson::array();
    for (int i = 0; i < model->GetDataFieldCount(); ++i)
    {
        SVFDataField* field = model->GetDataField(i);
        OrderedJson item = OrderedJson::object();
        item["name"] = TextOrNullJson(field->GetFieldName());
        item["checksum"] = field->m_nChecksum;
        OrderedJson blocks = OrderedJson::array();
        for (int j = 0; j < field->GetFieldBlockCount(); ++j)
        {
            SVFDataField::DataBlock* block = field->GetDataBlock(j);
            OrderedJson rows = OrderedJson::array();
            for (int k = 1; k <= block->GetNumberOfRows(); ++k)
                rows.push_back(RowToHex(block->GetRow(k)));
            OrderedJson entry = OrderedJson::object();
            entry["row_width"] = block->m_nRowWidth;
            entry["rows"] = std::move(rows);
            blocks.push_back(std::move(entry));
        }
        item["blocks"] = std::move(blocks);
        fields.push_back(std::move(item));
    }
    document["fields"] = std::move(fields);
    return document.dump(2, ' ', false, OrderedJson::error_handler_t::replace) + "\n";
}
