// Faults from outside: inputs that cannot be read (files, and sources that fail or hold
// no document), outputs that cannot be written, files that change between opening and
// reading, and documents at the limits: very deep nesting, texts of megabytes, repeat
// counts near 2^31 (each read from its file, from memory and a byte at a time). Also the
// inputs the fuzz targets turned up (see docs/fuzzing.md), each named after what it broke.
#include <gtest/gtest.h>

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "SVFJson.h"
#include "TestSupport.h"

using namespace testsupport;

// ---------------------------------------------------------------------------------
// Inputs that cannot be read
// ---------------------------------------------------------------------------------

// A folder named as the document opens, and its first read fails at byte 0 with the
// system's reason (Windows refuses to open it at all); Read then refuses, and no model
// appears. The JSON reader tells it in the same words, with no place in the file. (A file
// that does not exist: handler_object_test, xmlparser_test, c_api_test.)
TEST(FaultInput, AFolderFailsTheOpenWithTheSystemsReason)
{
    std::string dir = ScratchDir("fault/folder");
    std::filesystem::create_directories(dir + "/folder.xml");
    std::filesystem::create_directories(dir + "/folder.json");
    Reading reading = ReadFile(dir, "folder.xml");
    EXPECT_EQ(0u, reading.reports.find(dir + "\\folder.xml: ")) << reading.reports;
#if defined(_WIN32)
    EXPECT_TRUE(reading.opened == XML_ERR_OPEN || reading.opened == XML_ERR_READ) << reading.opened;
#else
    EXPECT_EQ(XML_ERR_READ, reading.opened);
    EXPECT_NE(std::string::npos, reading.reports.find(strerror(EISDIR))) << reading.reports;
    EXPECT_EQ("#0 -102 errno " + std::to_string(EISDIR) + " at 0", reading.failure);
#endif
    EXPECT_EQ(reading.opened, reading.firstCode);
    EXPECT_EQ(XML_ERR_NOT_OPEN, reading.result);
    EXPECT_EQ("none", reading.summary);

    SVFPlusData model;
    ErrorHandler errors;
    std::string json = dir + "/folder.json";
    EXPECT_EQ(reading.opened, ReadJsonSVFPlusDataFile(json.c_str(), model, &errors));
    ASSERT_EQ(1, errors.GetReportCount());
    std::string first = reading.reports.substr(0, reading.reports.find('\n') + 1);
    std::string told = first.substr(first.find(": error: "));
    EXPECT_EQ(json + told, std::string(errors.GetReport(0)->GetMessage()) + "\n") << reading.reports;
    EXPECT_EQ(reading.failure, Failure(&errors));
}

// A source that fails fails Read at the byte where it failed, with its errno; a buffer
// holding a NUL byte fails where the byte stands (sources of no bytes: xmlparser_test,
// c_api_test). What was read before the failure stays, as for a file that ends early.
TEST(FaultInput, SourcesThatFailOrHoldNoDocument)
{
    const std::string document =
        Document("\n<Comment>" + std::string(300000, 'c') + "\n</Comment>\n" +
                 "<DataField name=\"A\"><FieldBlock row_width=\"8\">0x01,\n0x02</FieldBlock>" + "</DataField>\n");
    std::string nul = document;
    const size_t nulAt = document.find("<DataField") + 3;
    nul[nulAt] = '\0';
    const size_t never = std::string::npos;
    auto failed = [](int error, size_t at) {
        return "reading the document failed (errno " + std::to_string(error) + ", " + strerror(error) + ", at byte " +
               std::to_string(at) + ") (error -102).";
    };
    // A pulled source gives `bytes` in pieces of 1000 bytes and fails at `failAt`; a
    // buffer holds them; `place` is the byte the report is placed at.
    // clang-format off
    const struct { const char* what; bool pulled; std::string bytes; size_t failAt; int error; int result; size_t place; std::string sentence; } cases[] = {
        {"buffer with a NUL byte", false, nul, never, 0, XML_ERR_NUL, nulAt, "the document holds a NUL character, which XML allows nowhere (a NUL byte stands where a character is due) (error -119)."},
        {"failing at once", true, document, 0, EIO, XML_ERR_READ, 0, failed(EIO, 0)},
        {"failing at the window's edge", true, document, 262144, EIO, XML_ERR_READ, 262144, failed(EIO, 262144)},
        {"failing in a row", true, document, document.find("0x02") + 2, EIO, XML_ERR_READ, document.find("0x02") + 2,
         failed(EIO, document.find("0x02") + 2)},
        {"giving more than asked", true, document, never, -1, XML_ERR_READ, 0, failed(EINVAL, 0)},
    };
    // clang-format on
    for (const auto& c : cases)
    {
        UtMemorySource memory(c.bytes.data(), c.bytes.size());
        PulledSource pulled(c.bytes, 1000);
        pulled.pulled.failAt = c.failAt;
        pulled.pulled.error = c.error;
        pulled.pulled.overrun = c.error < 0;
        Reading reading = ReadSource(c.pulled ? &pulled.source : (UtByteSource*)&memory, c.what);
        EXPECT_EQ(0, reading.opened) << c.what;
        EXPECT_EQ(c.result, reading.result) << c.what << "\n" << reading.reports;
        EXPECT_EQ(c.result, reading.firstCode) << c.what;
        // One record of the failure, where it arose: the errno of the source's failure and
        // the byte it stands at.
        int error = c.error < 0 ? EINVAL : c.error;
        EXPECT_EQ("#0 " + std::to_string(c.result) + " errno " + std::to_string(error) + " at " +
                      std::to_string(c.place),
                  reading.failure)
            << c.what;
        std::string expected = std::string(c.what) + ":" + PlaceOf(c.bytes, c.place) + ": error: " + c.sentence;
        EXPECT_EQ(0u, reading.reports.find(expected)) << c.what << ": " << expected << "\n" << reading.reports;
        // The rows before the failure stay; the failure in the second row keeps the first.
        if (c.failAt > document.find("0x01") && c.failAt != never)
        {
            EXPECT_EQ(0u, reading.summary.find("v=1 c=" + std::string(300000, 'c') + "\n F(A,0) B8[0x01,")) << c.what;
        }
    }
    // No source, or no name, opens nothing.
    UtMemorySource memory(document.data(), document.size());
    for (UtByteSource* source : {(UtByteSource*)nullptr, (UtByteSource*)&memory})
    {
        Reading reading = ReadSource(source, source ? "" : "none");
        EXPECT_EQ(XML_ERR_BAD_ARGUMENT, reading.opened);
        EXPECT_EQ(XML_ERR_NOT_OPEN, reading.result);
        EXPECT_NE(std::string::npos,
                  reading.reports.find(source ? "no document name was given" : "no byte source was given"))
            << reading.reports;
    }
}

// ---------------------------------------------------------------------------------
// Outputs that cannot be written
// ---------------------------------------------------------------------------------

// Once Write has begun it returns 0 and closes the stream, whatever reached the file;
// GetWriteError and a report on the output list tell whether every byte did. The
// handler's list 5 keeps only the reports of the format.
TEST(FaultOutput, WriteTellsWhetherEveryByteReachedTheFile)
{
    std::string dir = ScratchDir("fault/write-status");
    // Rows of the model: 400 make far more than one buffered piece of output, 1 a text
    // that only the flush and the close write.
    // clang-format off
    const struct { const char *name, *dir; int error, rows; } cases[] = {
        {"out.xml", dir.c_str(), 0, 400},
#if !defined(_WIN32)
        {"/dev/full", "", ENOSPC, 400},
        {"/dev/full", "", ENOSPC, 1},
#endif
    };
    // clang-format on
    for (bool expressions : {false, true})
        for (const auto& c : cases)
        {
            SVFPlusData model;
            MakeModel(model, c.rows, 512);
            RODAzivUzirAdovIzozari handler;
            ASSERT_EQ(0, handler.InitSvfPlusDataFile(c.name, c.dir, "write")) << Reports(handler);
            handler.SetSVFPlusData(&model);
            handler.WriteExpression(expressions);
            EXPECT_EQ(0, handler.Write()) << c.name;
            EXPECT_EQ(c.error, handler.GetWriteError()) << c.name << ", expressions " << expressions;
            ErrorHandler* errors = handler.GetErrorHandler();
            EXPECT_EQ(0, errors->GetErrorList(ERROR_LIST_DATA_FILE)) << Reports(handler);
            ASSERT_EQ(c.error != 0 ? 1 : 0, errors->GetErrorList(ERROR_LIST_OUTPUT)) << Reports(handler);
            if (c.error != 0)
            {
                std::string message = errors->GetLastReport()->GetMessage();
                EXPECT_EQ(0u, message.find(std::string(c.name) + ": ")) << message;
                EXPECT_NE(std::string::npos, message.find(strerror(c.error))) << message;
                // A stream's buffers may have lost any byte: the failure has no offset.
                EXPECT_EQ("#0 -8 errno " + std::to_string(c.error) + " at -1", Failure(errors));
            }
            // The stream was closed: a second Write finds no open output. The model stays.
            EXPECT_EQ(SVF_ERR_OUTPUT, handler.Write());
            EXPECT_EQ(Summary(&model), Summary(handler.GetSVFPlusData()));
        }
}

// ---------------------------------------------------------------------------------
// The input changes between the open and Read: a written document larger than the
// parser's first read (about 1.1 MB), read back row by row.
// ---------------------------------------------------------------------------------

namespace
{
std::vector<std::string> Rows(SVFPlusData* model)
{
    std::vector<std::string> rows;
    SVFDataField* field = model != nullptr ? model->GetDataField(0) : nullptr;
    for (int j = 0; field != nullptr && j < field->GetFieldBlockCount(); ++j)
        for (int k = 1; k <= field->GetDataBlock(j)->GetNumberOfRows(); ++k)
            rows.push_back(RowText(field->GetDataBlock(j)->GetRow(k)));
    return rows;
}
}

// Deleted after the open, the file is read whole: the open file stays readable after its
// name is gone (Windows deletes no open file). Cut short after the open, inside the part
// the open has read already or far behind it, it ends early with what it held: every row
// but the last is whole and right, and the last one may be cut short.
TEST(FaultChangingInput, FileDeletedOrTruncatedAfterTheOpen)
{
    std::string dir = ScratchDir("fault/changed"), path = dir + "/big.xml";
    SVFPlusData model;
    MakeModel(model, 2000, 256);
    const std::vector<std::string> written = Rows(&model);
    const std::string bytes = WrittenBytes(model);
    const size_t deleted = 0;
    for (size_t keep : {deleted, (size_t)100, bytes.size() / 2})
    {
        WriteBytes(path, bytes);
        RODAzivUzirAdovIzozari handler;
        ASSERT_EQ(0, handler.InitSvfPlusDataFile("big.xml", dir.c_str(), "read"));
#if !defined(_WIN32)
        ASSERT_EQ(0, keep == deleted ? remove(path.c_str()) : truncate(path.c_str(), (off_t)keep));
#else
        if (keep != deleted)
            continue;
        remove(path.c_str());
#endif
        EXPECT_EQ(keep == deleted ? 0 : XML_ERR_UNEXPECTED_END, handler.Read()) << "kept " << keep;
        std::vector<std::string> rows = Rows(handler.GetSVFPlusData());
        if (keep == deleted)
        {
            EXPECT_EQ(written, rows);
            continue;
        }
        EXPECT_EQ(XML_ERR_UNEXPECTED_END, handler.GetErrorHandler()->GetLastReport()->GetCode());
        ASSERT_FALSE(rows.empty()) << "kept " << keep;
        ASSERT_LT(rows.size(), written.size()) << "kept " << keep;
        for (size_t k = 0; k + 1 < rows.size(); ++k)
            ASSERT_EQ(written[k], rows[k]) << "row " << k + 1;
        EXPECT_EQ(0u, written[rows.size() - 1].find(rows.back()));
    }
}

// ---------------------------------------------------------------------------------
// Limits, lowered here to stand for the buffers' real sizes (bench/check_limits.sh tries
// those), and the deepest nesting: nothing beyond a limit is read cut short, and Read
// says so.
// ---------------------------------------------------------------------------------

TEST(FaultLimits, BeyondALimitOrTheDeepestNestingReadFails)
{
    auto block = [](const std::string& width, const std::string& rows) {
        return "<DataField name=\"A\"><FieldBlock row_width=\"" + width + "\">" + rows + "</FieldBlock></DataField>";
    };
    auto nested = [](const std::string& open, const std::string& close, int depth, const std::string& inner) {
        return Repeat(open, depth) + inner + Repeat(close, depth);
    };
    auto row = [&](int depth) { return block("8", nested("(", ")", depth - 1, "(AB)")); };
    const std::string hex40 = "0x" + Repeat("AB", 40);   // 82 characters, 40 bytes
    const std::string field = "<DataField name=\"d\">", fieldEnd = "</DataField>";
    const int limit = XML_MAX_DEPTH;
    const SVFReadLimits none = SVFReadLimits();
    // clang-format off
    const struct { const char* what; SVFReadLimits limits; std::string body; int result; std::string summary; } cases[] = {
        {"comment at the text limit", {100, 0, 0, 0}, "<Comment>" + std::string(100, 'c') + "</Comment>", 0,
         "v=1 c=" + std::string(100, 'c')},
        {"comment past the text limit", {100, 0, 0, 0}, "<Comment>" + std::string(101, 'c') + "</Comment>",
         XML_ERR_TOO_LARGE, "v=1 c=~"},
        {"rows past the text limit", {100, 0, 0, 0}, block("8", hex40 + "," + hex40), XML_ERR_TOO_LARGE, "v=1 c=~ F(A,0)"},
        {"attribute past the tag limit", {0, 100, 0, 0}, "<DataField name=\"" + std::string(100, 'n') + "\"/>",
         XML_ERR_TOO_LARGE, "v=1 c=~"},
        {"row at the row limit", {0, 0, 4, 0}, block("8", "0x01020304"), 0, "v=1 c=~ F(A,0) B8[0x01020304]"},
        {"row past the row limit", {0, 0, 4, 0}, block("8", "0x01,0x0102030405"), SVF_ERR_ROW_TOO_LARGE,
         "v=1 c=~ F(A,0) B8[0x01,0x01020304]"},
        {"rows longer than the row before", none, block("8", "0x01,0x0102 03\n04,0x05,0x06 0 7 08"), 0,
         "v=1 c=~ F(A,0) B8[0x01,0x01020304,0x05,0x060708]"},
        {"expression past the row limit", {0, 0, 4, 0}, block("64", "(01*5)"), SVF_ERR_ROW_TOO_LARGE,
         "v=1 c=~ F(A,0) B64[0x01010101]"},
        {"wide expression past the row limit", {0, 0, 4, 0}, block("2000000", "0x,(AB*8)"), SVF_ERR_ROW_TOO_LARGE,
         "v=1 c=~ F(A,0) B2000000[0x,0xABABABAB]"},
        {"expressions within the budget", {0, 0, 0, 8}, block("32", "(01*4),(02*9)"), 0,
         "v=1 c=~ F(A,0) B32[0x01010101,0x02020202]"},
        {"expressions past the budget", {0, 0, 0, 7}, block("32", "(01*4),(02*9)"), SVF_ERR_EXPRESSION_BUDGET,
         "v=1 c=~ F(A,0) B32[0x01010101,0x]"},
        // Elements the handler does not know are skipped, however deep.
        {"unknown elements to the limit", none, nested("<x>", "</x>", limit - 1, ""), 0, "v=1 c=~"},
        {"unknown elements one past the limit", none, nested("<x>", "</x>", limit, ""), XML_ERR_TOO_DEEP, "v=1 c=~"},
        {"empty element one past the limit", none, nested("<x>", "</x>", limit - 1, "<y/>"), XML_ERR_TOO_DEEP,
         "v=1 c=~"},
        {"a hundred thousand levels", none, nested("<x>", "</x>", 100000, ""), XML_ERR_TOO_DEEP, "v=1 c=~"},
        // Data fields inside data fields are each read, to the limit.
        {"data fields to the limit", none,
         nested(field, fieldEnd, limit - 2, "<FieldBlock row_width=\"8\">0x01</FieldBlock>"), 0,
         "v=1 c=~" + Repeat(" F(d,0)", limit - 2) + " B8[0x01]"},
        // An empty-element tag is one level too, whether it is read or skipped.
        {"empty field block at the limit", none, nested(field, fieldEnd, limit - 2, "<FieldBlock row_width=\"8\"/>"),
         0, "v=1 c=~" + Repeat(" F(d,0)", limit - 2)},
        {"empty field block one past the limit", none,
         nested(field, fieldEnd, limit - 1, "<FieldBlock row_width=\"8\"/>"), XML_ERR_TOO_DEEP,
         "v=1 c=~" + Repeat(" F(d,0)", limit - 1)},
        // Parentheses nest 64 deep at most; deeper ones, to any depth, make an empty row.
        {"expression 64 deep", none, row(64), 0, "v=1 c=~ F(A,0) B8[0xAB]"},
        {"expression 65 deep", none, row(65), 0, "v=1 c=~ F(A,0) B8[0x]"},
        {"expression 100000 deep", none, row(100000), 0, "v=1 c=~ F(A,0) B8[0x]"},
    };
    // clang-format on
    for (const auto& c : cases)
    {
        Reading reading = ReadText(Document(c.body), "fault/limits", false, c.limits, true);
        EXPECT_EQ(c.result, reading.result) << c.what << "\n" << reading.reports;
        EXPECT_EQ(c.result, reading.lastCode) << c.what;
        EXPECT_TRUE(c.summary == reading.summary) << c.what << ": " << reading.summary.substr(0, 200);
    }
}

// ---------------------------------------------------------------------------------
// Large texts: attributes far beyond the parser's window, and a comment beyond the 8 MB
// that a growing buffer adds at once
// ---------------------------------------------------------------------------------

TEST(FaultLargeTexts, AttributesCommentAndRowsOfMegabytesReadAndWriteBack)
{
    std::string name(1u << 20, 'n'), version(1u << 19, 'v'), comment(9u << 20, 'c'), row = Repeat("A5", 1u << 19);
    // One row of 512 KB: "0x" and a million digits on one line, then a second row.
    std::string dir = ScratchDir("fault/large");
    WriteBytes(dir + "/in.xml",
               Document("<Comment>" + comment + "</Comment><DataField name=\"" + name +
                            "\"><FieldBlock row_width=\"8\">0x" + row + ",0x01</FieldBlock></DataField>",
                        version.c_str()));
    RODAzivUzirAdovIzozari reader;
    ASSERT_EQ(0, reader.InitSvfPlusDataFile("in.xml", dir.c_str(), "read"));
    ASSERT_EQ(0, reader.Read()) << Reports(reader);
    std::string expected = "v=" + version + " c=" + comment + " F(" + name + ",0) B8[0x" + row + ",0x01]";
    EXPECT_TRUE(Summary(reader.GetSVFPlusData()) == expected);
    // Written and read again, the model comes back the same.
    Reading again = ReadText(WrittenBytes(*reader.GetSVFPlusData()), "fault/large-again");
    ASSERT_EQ(0, again.result) << again.reports;
    EXPECT_TRUE(again.summary == expected);
}

// ---------------------------------------------------------------------------------
// Inputs the fuzz targets found
// ---------------------------------------------------------------------------------

// fuzz_read: the duplicate attribute check compared an earlier, shorter attribute name
// over the whole length of a later one, reading past the end of the tag's name area
// (AddressSanitizer: heap-buffer-overflow in XMLTags.cpp, SameName).
TEST(FuzzFindings, LongerAttributeNameAfterAShorterOneIsNoDuplicate)
{
    std::string longName(300, 'a');
    std::string many;   // enough attributes for the duplicate check to use its hash table
    for (int i = 0; i < 20; ++i)
        many += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    // clang-format off
    const struct { const char* what; std::string attributes; int result; } cases[] = {
        {"longer name after a prefix of it", " a=\"1\" " + longName + "=\"2\"", 0},
        {"longer name after a prefix, hashed", many + " a1" + longName + "=\"2\"", 0},
        {"long name after the same long name", " " + longName + "=\"1\" " + longName + "=\"2\"", XML_ERR_DUPLICATE_ATTRIBUTE},
        {"duplicate, hashed", many + " a7=\"x\"", XML_ERR_DUPLICATE_ATTRIBUTE},
        {"shorter name after a longer one", " " + longName + "=\"1\" a=\"2\"", 0},
    };
    // clang-format on
    for (const auto& c : cases)
    {
        Reading reading = ReadText(Document("<DataField name=\"F\"" + c.attributes + "/>"), "fuzz-attribute-names");
        EXPECT_EQ(c.result, reading.result) << c.what << "\n" << reading.reports;
        EXPECT_EQ(c.result == 0 ? "v=1 c=~ F(F,0)" : "v=1 c=~", reading.summary) << c.what;
    }
}
