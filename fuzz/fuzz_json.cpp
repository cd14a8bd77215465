// Fuzz target: the library's JSON reader and writer (SVFJson.h). Any text must give 0 or a
// negative code with one report, never a crash; the text fed in small pieces (so that
// every token can straddle two buffers) and whole must give the same verdict, report,
// place and model; a model that was read must be written as a text that reads back into
// the same text.
#include <stdint.h>

#include <string.h>

#include <algorithm>
#include <string>

#include "FuzzSupport.h"
#include "SVFJson.h"
#include "SVFWriter.h"
#include "SVFPlusData.h"
#include "UtByteSink.h"

namespace
{
// The text in pieces of 1 to 8 bytes.
struct Pieces
{
    const std::string& text;
    size_t at;
};

long long RIZEROZ_CDECL GivePiece(void* context, void* buffer, size_t capacity)
{
    Pieces& pieces = *(Pieces*)context;
    size_t length = 1 + (pieces.at * 7 + pieces.text.size()) % 8;
    length = std::min(std::min(length, capacity), pieces.text.size() - pieces.at);
    memcpy(buffer, pieces.text.data() + pieces.at, length);
    pieces.at += length;
    return (long long)length;
}

// The verdict of a read: its code and its one report as "LINE:COLUMN: MESSAGE".
std::string Verdict(int result, const ErrorHandler& errors)
{
    const ErrorReport* report = errors.GetLastReport();
    FUZZ_CHECK((result == 0) == (report == nullptr) && errors.GetReportCount() == (result == 0 ? 0 : 1));
    return std::to_string(result) + (report == nullptr
                                         ? std::string()
                                         : ":" + std::to_string(report->GetLine()) + ":" +
                                               std::to_string(report->GetColumn()) + ": " + report->GetMessage());
}

// Reads a whole text.
int ReadText(const std::string& text, SVFPlusData& model, ErrorHandler& errors)
{
    UtMemorySource source(text.data(), text.size());
    return ReadJsonSVFPlusData(source, "fuzz.json", model, &errors);
}

std::string Written(SVFPlusData* model)
{
    UtMemorySink sink;
    FUZZ_CHECK(SVFWriteSink(model, sink, "out.json", SVF_FORMAT_JSON, false, nullptr) == 0);
    return std::string(sink.GetData() != nullptr ? sink.GetData() : "", sink.GetSize());
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text((const char*)data, size);
    SVFPlusData model;
    ErrorHandler errors;
    Pieces pieces = {text, 0};
    UtCallbackSource source(GivePiece, &pieces);
    int result = ReadJsonSVFPlusData(source, "fuzz.json", model, &errors);
    FUZZ_CHECK(result <= 0);

    SVFPlusData whole;
    ErrorHandler wholeErrors;
    FUZZ_CHECK(ReadText(text, whole, wholeErrors) == result);
    FUZZ_CHECK(Verdict(result, errors) == Verdict(result, wholeErrors));
    if (result != 0)
    {
        FUZZ_CHECK(model.GetDataFieldCount() == 0 && model.GetVersion() == nullptr && model.GetComment() == nullptr);
        return 0;
    }
    std::string json = Written(&model);
    FUZZ_CHECK(json == Written(&whole));
    SVFPlusData again;
    ErrorHandler againErrors;
    FUZZ_CHECK(ReadText(json, again, againErrors) == 0);
    FUZZ_CHECK(Written(&again) == json);
    return 0;
}
