// Fuzz target: the tool's JSON import. Any text must give 0 or -1 with a message, never
// a crash; a model that was read gives a JSON text that reads back into the same text.
#include <stdint.h>

#include <string>

#include "FuzzSupport.h"
#include "JsonModel.h"
#include "SVFPlusData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text((const char*)data, size);
    SVFPlusData model;
    std::string error;
    int result = JsonToModel(text, model, error);
    FUZZ_CHECK(result == 0 || result == -1);
    if (result != 0)
    {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(model.GetDataFieldCount() == 0 && model.GetVersion() == nullptr);
        return 0;
    }
    std::string json = ModelToJson(&model);
    SVFPlusData again;
    FUZZ_CHECK(JsonToModel(json, again, error) == 0);
    FUZZ_CHECK(ModelToJson(&again) == json);
    return 0;
}
