// Fuzz target: the tool's JSON reader and writer. Any text must give 0 or -1 with a
// message, never a crash; the fast scanner (fed in small pieces, so that every token can
// straddle two) and nlohmann-json's parser must give the same verdict and the same model;
// a model that was read must be written exactly as nlohmann-json writes its document, and
// that text must read back into the same text.
#include <stdint.h>

#include <string>

#include <nlohmann/json.hpp>

#include "FuzzSupport.h"
#include "JsonModel.h"
#include "SVFPlusData.h"

namespace
{
// The text in pieces of 1 to 8 bytes.
class PieceInput : public JsonInput
{
public:
    explicit PieceInput(const std::string& text) : m_text(text), m_nAt(0) {}
    long Next(const char*& data) override
    {
        if (m_nAt >= m_text.size())
            return 0;
        size_t length = 1 + (m_nAt * 7 + m_text.size()) % 8;
        if (length > m_text.size() - m_nAt)
            length = m_text.size() - m_nAt;
        data = m_text.data() + m_nAt;
        m_nAt += length;
        return (long)length;
    }
    bool CanRewind() const override { return true; }
    bool Rewind() override
    {
        m_nAt = 0;
        return true;
    }
    unsigned long long GetDone() const override { return m_nAt; }
    unsigned long long GetTotal() const override { return m_text.size(); }

private:
    const std::string& m_text;
    size_t m_nAt;
};

// The writer's text as nlohmann-json makes it of a document of the model.
std::string ReferenceJson(SVFPlusData* model)
{
    typedef nlohmann::ordered_json Json;
    auto text = [](const char* value) { return value != nullptr ? Json(std::string(value)) : Json(nullptr); };
    Json document = Json::object();
    document["version"] = text(model->GetVersion());
    document["comment"] = text(model->GetComment());
    Json fields = Json::array();
    for (int i = 0; i < model->GetDataFieldCount(); ++i)
    {
        SVFDataField* field = model->GetDataField(i);
        Json blocks = Json::array();
        for (int j = 0; j < field->GetFieldBlockCount(); ++j)
        {
            SVFDataField::DataBlock* block = field->GetDataBlock(j);
            Json rows = Json::array();
            for (int k = 1; k <= block->GetNumberOfRows(); ++k)
                rows.push_back(RowToHex(block->GetRow(k)));
            blocks.push_back(Json{{"row_width", block->m_nRowWidth}, {"rows", rows}});
        }
        fields.push_back(
            Json{{"name", text(field->GetFieldName())}, {"checksum", field->m_nChecksum}, {"blocks", blocks}});
    }
    document["fields"] = fields;
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text((const char*)data, size);
    SVFPlusData model;
    std::string error;
    PieceInput pieces(text);
    int result = ReadJsonModel(pieces, model, error);
    FUZZ_CHECK(result == 0 || result == -1);

    SVFPlusData parsed;
    std::string parserError;
    JsonTextInput whole(text);
    FUZZ_CHECK(ReadJsonModel(whole, parsed, parserError, nullptr, JSON_READ_PARSER_ONLY) == result);
    FUZZ_CHECK(parserError == error);
    if (result != 0)
    {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(model.GetDataFieldCount() == 0 && model.GetVersion() == nullptr && model.GetComment() == nullptr);
        return 0;
    }
    std::string json = ModelToJson(&model);
    FUZZ_CHECK(json == ModelToJson(&parsed));
    FUZZ_CHECK(json == ReferenceJson(&model));
    SVFPlusData again;
    FUZZ_CHECK(JsonToModel(json, again, error) == 0);
    FUZZ_CHECK(ModelToJson(&again) == json);
    return 0;
}
