// Fuzz target: the tool's JSON reader and writer. Any text must give 0 or -1 with a
// message, never a crash; the text fed in small pieces (so that every token can straddle
// two buffers) and whole must give the same verdict, place and model; a model that was
// read must be written as a text that reads back into the same text.
#include <stdint.h>

#include <string.h>

#include <algorithm>
#include <string>

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
    long Read(char* buffer, size_t size) override
    {
        size_t length = 1 + (m_nAt * 7 + m_text.size()) % 8;
        length = std::min(std::min(length, size), m_text.size() - m_nAt);
        memcpy(buffer, m_text.data() + m_nAt, length);
        m_nAt += length;
        return (long)length;
    }

private:
    const std::string& m_text;
    size_t m_nAt;
};

// Reads a whole text.
int ReadText(const std::string& text, SVFPlusData& model, JsonReadError& error)
{
    JsonTextInput input(text);
    return ReadJsonModel(input, model, error);
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text((const char*)data, size);
    SVFPlusData model;
    JsonReadError error;
    PieceInput pieces(text);
    int result = ReadJsonModel(pieces, model, error);
    FUZZ_CHECK(result == 0 || result == -1);

    SVFPlusData whole;
    JsonReadError wholeError;
    FUZZ_CHECK(ReadText(text, whole, wholeError) == result);
    FUZZ_CHECK(wholeError.message == error.message && wholeError.nLine == error.nLine &&
               wholeError.nColumn == error.nColumn);
    if (result != 0)
    {
        FUZZ_CHECK(!error.message.empty());
        FUZZ_CHECK(model.GetDataFieldCount() == 0 && model.GetVersion() == nullptr && model.GetComment() == nullptr);
        return 0;
    }
    std::string json = ModelToJson(&model);
    FUZZ_CHECK(json == ModelToJson(&whole));
    SVFPlusData again;
    FUZZ_CHECK(ReadText(json, again, error) == 0);
    FUZZ_CHECK(ModelToJson(&again) == json);
    return 0;
}
