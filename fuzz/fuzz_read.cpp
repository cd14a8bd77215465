// Fuzz target: the document reader. The input is a whole document; it is written to a
// scratch file and read with Read. Whatever model comes out (a failed read keeps what
// it had read) is written back, with expression writing on or off, and read again: the
// second reading must succeed and give the same fields and rows. A reading with warnings
// enabled, made from the input's own bytes in memory (where nothing may be read beyond
// them), must give the same result, reports and model as one without; so must a reading
// of the bytes pulled from a function a few at a time.
#include <stdint.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "RODAzivUzirAdovIzozari.h"

namespace
{
typedef std::vector<std::pair<int, std::vector<unsigned char>>> RowList;

// Widths above this make rows of up to 256 MB each by design (an expression row
// receives as many bytes as its width holds); tests/fault_test.cpp covers them. The
// fuzzer passes over such documents so that its memory stays bounded.
const long kLargestWidth = 1L << 20;

bool HasLargeWidth(const uint8_t* data, size_t size)
{
    static const char kName[] = "row_width";
    const size_t length = sizeof(kName) - 1;
    for (size_t i = 0; i + length < size; ++i)
    {
        if (memcmp(data + i, kName, length) != 0)
            continue;
        // Past '=', white space and the quote: the number atoi would read.
        size_t at = i + length;
        while (at < size && (data[at] == '=' || data[at] == ' ' || data[at] == '\t' || data[at] == '\n' ||
                             data[at] == '\r' || data[at] == '"' || data[at] == '\'' || data[at] == '+'))
            ++at;
        long value = 0;
        while (at < size && data[at] >= '0' && data[at] <= '9' && value <= kLargestWidth)
            value = value * 10 + (data[at++] - '0');
        if (value > kLargestWidth)
            return true;
    }
    return false;
}

std::string Text(const char* text)
{
    return text != nullptr ? text : "";
}

// Texts that the writer puts out as they are and that would not read back: a double
// quote in an attribute value, '<' in the comment (possible through a CDATA section).
bool WritableAsIs(SVFPlusData* model)
{
    if (Text(model->GetVersion()).find('"') != std::string::npos)
        return false;
    if (Text(model->GetComment()).find('<') != std::string::npos)
        return false;
    for (int i = 0; i < model->GetDataFieldCount(); ++i)
        if (Text(model->GetDataField(i)->GetFieldName()).find('"') != std::string::npos)
            return false;
    return true;
}

// A field's rows in order with their widths: reading back merges neighbouring blocks
// of one width, so blocks are not compared as such.
RowList Rows(SVFDataField* field)
{
    RowList rows;
    for (int j = 0; j < field->GetFieldBlockCount(); ++j)
    {
        SVFDataField::DataBlock* block = field->GetDataBlock(j);
        for (int k = 1; k <= block->GetNumberOfRows(); ++k)
        {
            rows.push_back(std::make_pair(block->m_nRowWidth, fuzzsupport::BytesOf(block->GetRow(k))));
        }
    }
    return rows;
}

// An expression row reads back into an area sized by the width, so a row holding more
// bytes than its width comes back cut to the width when it was written as an expression.
bool SameRow(const std::pair<int, std::vector<unsigned char>>& written,
             const std::pair<int, std::vector<unsigned char>>& read, bool expressions)
{
    if (written.first != read.first)
        return false;
    if (written.second == read.second)
        return true;
    if (!expressions)
        return false;
    long long room = ((long long)written.first + 7) / 8;
    if (room < 0)
        room = 0;
    return (long long)read.second.size() == room && room < (long long)written.second.size() &&
           (room == 0 || memcmp(read.second.data(), written.second.data(), (size_t)room) == 0);
}

// The input's bytes given `piece` at a time.
struct Pulled
{
    const uint8_t* data;
    size_t size, piece, given;

    static long long RIZEROZ_CDECL Pull(void* context, void* buffer, size_t capacity)
    {
        Pulled& self = *static_cast<Pulled*>(context);
        size_t count = self.size - self.given;
        count = count < capacity ? count : capacity;
        count = count < self.piece ? count : self.piece;
        memcpy(buffer, self.data + self.given, count);
        self.given += count;
        return (long long)count;
    }
};

// `other` read what `reader` read, with the same reports, model and warnings kept apart.
void CheckSameReading(RODAzivUzirAdovIzozari& reader, RODAzivUzirAdovIzozari& other)
{
    const ErrorHandler* quiet = reader.GetErrorHandler();
    const ErrorHandler* loud = other.GetErrorHandler();
    FUZZ_CHECK(quiet->GetReportCount() == loud->GetReportCount() && quiet->GetWarningCount() == 0);
    for (int i = 0; i < quiet->GetReportCount(); ++i)
        FUZZ_CHECK(strcmp(quiet->GetReport(i)->GetMessage(), loud->GetReport(i)->GetMessage()) == 0);
    SVFPlusData* model = reader.GetSVFPlusData();
    SVFPlusData* same = other.GetSVFPlusData();
    FUZZ_CHECK((model == nullptr) == (same == nullptr));
    if (model == nullptr)
        return;
    FUZZ_CHECK(Text(model->GetVersion()) == Text(same->GetVersion()));
    FUZZ_CHECK(Text(model->GetComment()) == Text(same->GetComment()));
    FUZZ_CHECK(model->GetDataFieldCount() == same->GetDataFieldCount());
    for (int i = 0; i < model->GetDataFieldCount(); ++i)
        FUZZ_CHECK(Rows(model->GetDataField(i)) == Rows(same->GetDataField(i)) &&
                   model->GetDataField(i)->GetFieldBlockCount() == same->GetDataField(i)->GetFieldBlockCount());
}

void CheckRoundTrip(SVFPlusData* model, bool expressions)
{
    static const std::string output = fuzzsupport::ScratchPath("written.xml");
    RODAzivUzirAdovIzozari writer;
    FUZZ_CHECK(writer.InitSvfPlusDataFile(output.c_str(), "", "write") == 0);
    writer.SetSVFPlusData(model);
    writer.WriteExpression(expressions);
    FUZZ_CHECK(writer.Write() == 0);

    RODAzivUzirAdovIzozari reader;
    FUZZ_CHECK(reader.InitSvfPlusDataFile(output.c_str(), "", "read") == 0);
    FUZZ_CHECK(reader.Read() >= 0);
    SVFPlusData* again = reader.GetSVFPlusData();
    FUZZ_CHECK(again != nullptr);
    FUZZ_CHECK(Text(model->GetVersion()) == Text(again->GetVersion()));
    FUZZ_CHECK(Text(model->GetComment()) == Text(again->GetComment()));
    FUZZ_CHECK(model->GetDataFieldCount() == again->GetDataFieldCount());
    for (int i = 0; i < model->GetDataFieldCount(); ++i)
    {
        SVFDataField* a = model->GetDataField(i);
        SVFDataField* b = again->GetDataField(i);
        FUZZ_CHECK(Text(a->GetFieldName()) == Text(b->GetFieldName()));
        FUZZ_CHECK(a->m_nChecksum == b->m_nChecksum);
        RowList rowsA = Rows(a);
        RowList rowsB = Rows(b);
        FUZZ_CHECK(rowsA.size() == rowsB.size());
        for (size_t k = 0; k < rowsA.size(); ++k)
            FUZZ_CHECK(SameRow(rowsA[k], rowsB[k], expressions));
    }
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (HasLargeWidth(data, size))
        return 0;
    static const std::string input = fuzzsupport::ScratchPath("input.xml");
    if (!fuzzsupport::WriteFile(input, data, size))
        return 0;

    RODAzivUzirAdovIzozari reader;
    if (reader.InitSvfPlusDataFile(input.c_str(), "", "read") != 0)
        return 0;
    int result = reader.Read();
    SVFPlusData* model = reader.GetSVFPlusData();

    // Warnings change nothing else, nor does reading the bytes in place: the same result,
    // reports and model.
    UtMemorySource memory(data, size);
    RODAzivUzirAdovIzozari warned;
    warned.EnableWarnings();
    FUZZ_CHECK(warned.InitSvfPlusDataSource(&memory, input.c_str()) == 0);
    FUZZ_CHECK(warned.Read() == result);
    CheckSameReading(reader, warned);
    for (int i = 0; i < warned.GetErrorHandler()->GetWarningCount(); ++i)
    {
        const ErrorReport* warning = warned.GetErrorHandler()->GetWarning(i);
        FUZZ_CHECK(warning->GetLine() > 0 && warning->GetSentence()[0] != '\0');
    }
    // Nor do bytes that come a few at a time.
    Pulled pulled = {data, size, 1 + (size % 7), 0};
    UtCallbackSource source(&Pulled::Pull, &pulled);
    RODAzivUzirAdovIzozari piecewise;
    FUZZ_CHECK(piecewise.InitSvfPlusDataSource(&source, input.c_str()) == 0);
    FUZZ_CHECK(piecewise.Read() == result);
    CheckSameReading(reader, piecewise);
    if (result < 0)
    {
        // Every failure leaves a readable report behind.
        const ErrorReport* report = reader.GetErrorHandler()->GetLastReport();
        FUZZ_CHECK(report != nullptr && report->GetMessage() != nullptr);
    }
    if (model != nullptr && WritableAsIs(model))
        CheckRoundTrip(model, size > 0 && (data[size - 1] & 1) != 0);
    return 0;
}
