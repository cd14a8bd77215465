// Helpers shared by the test suites: scratch folders and whole files, models built,
// written and read with the handler, and a compact text of a model's whole content:
//   v=<version> c=<comment> F(<name>,<checksum>) B<width>[<row>,<row>] ...
// where "~" stands for a null text and rows are "0x" and upper-case digits.
#ifndef RIZEROZ_TEST_SUPPORT_H
#define RIZEROZ_TEST_SUPPORT_H

#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "RODAzivUzirAdovIzozari.h"

namespace testsupport
{
// The prolog the writer writes.
const char kProlog[] = "<?xml version='1.0' encoding='utf-8' ?>\n"
                       "<!DOCTYPE\t\tSVF_Plus_Data\tSYSTEM\t\"SVF_Plus_Data.dtd\" >\n";

// The prolog and a root element of version `version` around `body`.
inline std::string Document(const std::string& body, const char* version = "1")
{
    return std::string(kProlog) + "<SVF_Plus_Data version=\"" + version + "\">" + body + "</SVF_Plus_Data>";
}

inline std::string Repeat(const std::string& s, size_t count)
{
    std::string text;
    while (count-- > 0)
        text += s;
    return text;
}

// A fresh, empty folder under the working directory, named by a relative path so that
// the same test runs natively and under wine.
inline std::string ScratchDir(const std::string& name)
{
    std::filesystem::path dir = std::filesystem::path("scratch") / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.generic_string();
}

inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// What a text written in text mode holds on disk: CR LF line ends on Windows.
inline std::string OnDisk(std::string text)
{
#if defined(_WIN32)
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
        text.insert(at, 1, '\r');
#endif
    return text;
}

// "0x" and two upper-case digits per byte: a row's hexadecimal form.
inline std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (unsigned char b : bytes)
        text += {digits[b >> 4], digits[b & 15]};
    return text;
}

inline std::string RowText(UtByteBuffer* row)
{
    std::string bytes;
    for (unsigned int i = 0; i < row->GetTotalSize(); ++i)
        bytes += (char)row->ReadData((int)i);
    return Hex(bytes);
}

inline UtByteBuffer* AddRow(SVFDataField* field, int width, const std::string& bytes)
{
    UtByteBuffer* row = field->AddRow(width);
    for (char b : bytes)
        row->WriteData((unsigned char)b);
    return row;
}

// A row of `length` bytes of the kinds masks are made of, by `kind`: 0, random bytes; 1
// and 2, pieces of random bytes, of a short pattern repeated, of runs of 00 or FF or of any
// byte, and of the row so far again; 3, one block repeated.
inline std::string MaskRow(std::mt19937& rng, size_t length, int kind)
{
    auto below = [&rng](size_t n) { return (size_t)(rng() % n); };
    std::string bytes;
    while (bytes.size() < length)
    {
        size_t piece = kind == 0 ? 0 : below(5);
        std::string pattern;
        for (size_t n = 1 + below(8); n > 0; --n)
            pattern += (char)(piece == 0 || below(2) ? rng() : 0);
        if (piece == 0 || piece == 1)   // random bytes, or a 1-8 byte pattern repeated
            bytes += Repeat(pattern, piece == 0 ? 1 : 1 + (int)below(30));
        else if (piece == 2)   // a run of 00 or FF
            bytes += std::string(1 + below(100), (char)(below(2) * 0xFF));
        else if (piece == 3)   // a run of any byte
            bytes += std::string(1 + below(40), (char)rng());
        else   // some of the row so far again
            bytes += bytes.substr(0, 1 + below(bytes.size() + 1));
    }
    bytes.resize(length);
    if (kind == 3 && length > 0)
        bytes = Repeat(bytes.substr(0, 1 + below(50)), (int)length).substr(0, length);
    return bytes;
}

// One data field "F" holding `rows` rows of `width` bytes: even rows one byte repeated
// (expressions shorten them), odd rows every byte telling its row and place.
inline void MakeModel(SVFPlusData& model, int rows, int width)
{
    model.SetVersion("1.0");
    SVFDataField* field = model.AddDataField();
    field->SetFieldName("F");
    for (int k = 0; k < rows; ++k)
    {
        UtByteBuffer* row = field->AddRow(width * 8);
        for (int i = 0; i < width; ++i)
            row->WriteData((unsigned char)(k % 2 == 0 ? k : k * 7 + i));
    }
}

// Writes `model` to dir/name with a fresh handler; returns Write's result.
inline int WriteModel(SVFPlusData& model, const std::string& dir, const std::string& name, bool expressions = false)
{
    RODAzivUzirAdovIzozari handler;
    int opened = handler.InitSvfPlusDataFile(name.c_str(), dir.c_str(), "write");
    if (opened != 0)
        return opened;
    handler.SetSVFPlusData(&model);
    handler.WriteExpression(expressions);
    return handler.Write();
}

// The bytes WriteModel writes for `model`.
inline std::string WrittenBytes(SVFPlusData& model, bool expressions = false)
{
    std::string dir = ScratchDir("written");
    EXPECT_EQ(0, WriteModel(model, dir, "out.xml", expressions));
    return ReadBytes(dir + "/out.xml");
}

// All report messages of a handler, one per line, for failure output.
inline std::string Reports(XMLParser& parser)
{
    std::string text;
    ErrorHandler* errors = parser.GetErrorHandler();
    for (int i = 0; i < errors->GetReportCount(); ++i)
        text += std::string(errors->GetReport(i)->GetMessage()) + "\n";
    return text;
}

inline std::string Text(const char* s)
{
    return s != nullptr ? std::string(s) : std::string("~");
}

inline std::string Summary(SVFDataField* field)
{
    char checksum[16];
    std::snprintf(checksum, sizeof(checksum), "%x", field->m_nChecksum);
    std::string out = "F(" + Text(field->GetFieldName()) + "," + checksum + ")";
    for (int j = 0; j < field->GetFieldBlockCount(); ++j)
    {
        SVFDataField::DataBlock* block = field->GetDataBlock(j);
        out += " B" + std::to_string(block->m_nRowWidth) + "[";
        for (int k = 1; k <= block->GetNumberOfRows(); ++k)
            out += (k > 1 ? "," : "") + RowText(block->GetRow(k));
        out += "]";
    }
    return out;
}

inline std::string Summary(SVFPlusData* model)
{
    if (model == nullptr)
        return "none";
    std::string out = "v=" + Text(model->GetVersion()) + " c=" + Text(model->GetComment());
    for (int i = 0; i < model->GetDataFieldCount(); ++i)
        out += " " + Summary(model->GetDataField(i));
    return out;
}

// What reading dir/name gave: the results, the model's summary, the reports, the codes of
// the first and last report (0 for none), the record of the failure (Failure) and, with
// warnings on, the warnings as "NAME@LINE:COLUMN" in the order found, and their sentences
// one per line.
struct Reading
{
    int opened, result;
    std::string summary, reports;
    int firstCode, lastCode;
    std::string failure;
    std::string warnings, sentences;
};

// The failure's record on `errors` (ErrorHandler::GetFailure): "#INDEX CODE errno E at
// OFFSET", INDEX its place among the reports; "none".
inline std::string Failure(const ErrorHandler* errors)
{
    const ErrorReport* failure = errors->GetFailure();
    int index = 0;
    while (index < errors->GetReportCount() && errors->GetReport(index) != failure)
        ++index;
    if (failure == nullptr)
        return "none";
    return "#" + std::to_string(index) + " " + std::to_string(failure->GetCode()) + " errno " +
           std::to_string(failure->GetErrno()) + " at " + std::to_string(failure->GetOffset());
}

// What `open(handler)` and then Read gave, with warnings on or off and `limits`.
template <typename Open>
Reading ReadWith(Open open, bool warnings, const SVFReadLimits& limits)
{
    RODAzivUzirAdovIzozari handler;
    handler.EnableWarnings(warnings);
    handler.SetReadLimits(limits);
    Reading r;
    r.opened = open(handler);
    r.failure = Failure(handler.GetErrorHandler());   // the open's; a read follows only a good open
    r.result = handler.Read();
    if (r.opened >= 0)
        r.failure = Failure(handler.GetErrorHandler());
    r.summary = Summary(handler.GetSVFPlusData());
    r.reports = Reports(handler);
    const ErrorHandler* errors = handler.GetErrorHandler();
    r.firstCode = errors->GetReportCount() > 0 ? errors->GetReport(0)->GetCode() : 0;
    r.lastCode = errors->GetReportCount() > 0 ? errors->GetLastReport()->GetCode() : 0;
    for (int i = 0; i < errors->GetWarningCount(); ++i)
    {
        const ErrorReport* warning = errors->GetWarning(i);
        r.warnings += std::string(i > 0 ? " " : "") + ErrorHandler::GetWarningName(warning->GetCode()) + "@" +
                      std::to_string(warning->GetLine()) + ":" + std::to_string(warning->GetColumn());
        r.sentences += std::string(warning->GetMessage()) + "\n";
    }
    return r;
}

inline Reading ReadFile(const std::string& dir, const std::string& name, bool warnings = false,
                        const SVFReadLimits& limits = SVFReadLimits())
{
    auto open = [&](RODAzivUzirAdovIzozari& handler) {
        return handler.InitSvfPlusDataFile(name.c_str(), dir.c_str(), "read");
    };
    return ReadWith(open, warnings, limits);
}

// Reading the bytes `source` gives, the document named `name`.
inline Reading ReadSource(UtByteSource* source, const std::string& name, bool warnings = false,
                          const SVFReadLimits& limits = SVFReadLimits())
{
    auto open = [&](RODAzivUzirAdovIzozari& handler) { return handler.InitSvfPlusDataSource(source, name.c_str()); };
    return ReadWith(open, warnings, limits);
}

// A pull source's function over `bytes`: at most `chunk` bytes a call; once `failAt`
// bytes are given (never, for npos), the failure `error`, negated as the function
// returns it; with `overrun`, a count one beyond the room given instead.
struct PulledBytes
{
    std::string bytes;
    size_t chunk = 1;
    size_t failAt = std::string::npos;
    int error = 0;
    bool overrun = false;
    size_t given = 0;

    static long long RIZEROZ_CDECL Pull(void* context, void* buffer, size_t capacity)
    {
        PulledBytes& self = *static_cast<PulledBytes*>(context);
        if (self.overrun)
            return (long long)capacity + 1;
        if (self.given == self.failAt)
            return -(long long)self.error;
        size_t count = std::min(std::min(capacity, self.chunk), self.bytes.size() - self.given);
        count = std::min(count, self.failAt - self.given);
        memcpy(buffer, self.bytes.data() + self.given, count);
        self.given += count;
        return (long long)count;
    }
};

// A pull source over `bytes`, given in pieces of `chunk` bytes (PulledBytes).
struct PulledSource
{
    PulledBytes pulled;
    UtCallbackSource source;
    explicit PulledSource(const std::string& bytes, size_t chunk = 1) : source(&PulledBytes::Pull, &pulled)
    {
        pulled.bytes = bytes;
        pulled.chunk = chunk;
    }
};

// The two Readings alike in everything: results, model, reports and warnings.
inline void ExpectSameReading(const Reading& expected, const Reading& got, const std::string& what)
{
    EXPECT_EQ(expected.opened, got.opened) << what;
    EXPECT_EQ(expected.result, got.result) << what;
    EXPECT_TRUE(expected.summary == got.summary) << what << ": " << got.summary.substr(0, 200);
    EXPECT_EQ(expected.reports, got.reports) << what;
    EXPECT_EQ(expected.firstCode, got.firstCode) << what;
    EXPECT_EQ(expected.lastCode, got.lastCode) << what;
    EXPECT_EQ(expected.failure, got.failure) << what;
    EXPECT_EQ(expected.warnings, got.warnings) << what;
    EXPECT_EQ(expected.sentences, got.sentences) << what;
}

// "L:C", the line and column of byte `offset` of `text`: columns count bytes, a line feed starts
// a line.
inline std::string PlaceOf(const std::string& text, size_t offset)
{
    long line = 1, column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i)
        column = text[i] == '\n' ? (++line, 1) : column + 1;
    return std::to_string(line) + ":" + std::to_string(column);
}

// Reads dir/name as a file, then its bytes from memory and pulled a byte at a time, named
// as the handler names the file: all three must give the same. Returns the file's Reading.
inline Reading ReadEveryWay(const std::string& dir, const std::string& name, bool warnings = false,
                            const SVFReadLimits& limits = SVFReadLimits())
{
    Reading file = ReadFile(dir, name, warnings, limits);
    std::string bytes = ReadBytes(dir + "/" + name), shown = dir + "\\" + name;
    UtMemorySource memory(bytes.data(), bytes.size());
    ExpectSameReading(file, ReadSource(&memory, shown, warnings, limits), shown + " from memory");
    PulledSource pulled(bytes);
    ExpectSameReading(file, ReadSource(&pulled.source, shown, warnings, limits), shown + " pulled a byte at a time");
    return file;
}

// Writes `document` to scratch/<test>/in.xml and reads it; with `everyWay`, from memory
// and a byte at a time too (ReadEveryWay).
inline Reading ReadText(const std::string& document, const std::string& test, bool warnings = false,
                        const SVFReadLimits& limits = SVFReadLimits(), bool everyWay = false)
{
    std::string dir = ScratchDir(test);
    WriteBytes(dir + "/in.xml", document);
    return everyWay ? ReadEveryWay(dir, "in.xml", warnings, limits) : ReadFile(dir, "in.xml", warnings, limits);
}
}

#endif
