// Faults from outside: inputs that cannot be read, outputs that cannot be written, files
// that change between opening and reading, and documents at the limits: very deep
// nesting, texts of tens of megabytes, repeat counts near 2^31. Also the inputs the
// fuzz targets turned up (see docs/fuzzing.md), each named after what it broke.
#include <gtest/gtest.h>

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "ModelSummary.h"
#include "RODAzivUzirAdovIzozari.h"
#include "TestSupport.h"

using namespace testsupport;

namespace
{
const char kProlog[] =
    "<?xml version='1.0' encoding='utf-8' ?>\n"
    "<!DOCTYPE\t\tSVF_Plus_Data\tSYSTEM\t\"SVF_Plus_Data.dtd\" >\n";

std::string Document(const std::string& body)
{
    return std::string(kProlog) + body;
}

// A document of one data field holding `rows` rows of `width` bytes, every byte telling
// its row and place, written in the writer's layout.
void MakeModel(SVFPlusData& model, int rows, int width)
{
    model.SetVersion("1.0");
    SVFDataField* field = model.AddDataField();
    field->SetFieldName("F");
    for (int k = 0; k < rows; ++k)
    {
        UtByteBuffer* row = field->AddRow(width * 8);
        for (int i = 0; i < width; ++i)
            row->WriteData((unsigned char)(k * 7 + i));
    }
}

std::string Text(const char* text)
{
    return text != nullptr ? text : "~";
}

struct Reading
{
    int opened;
    int result;
    std::string summary;
    std::string reports;
    int firstCode;   // code of the first report, 0 when there is none
    int lastCode;    // code of the last one
};

Reading ReadFile(const std::string& name, const std::string& dir)
{
    RODAzivUzirAdovIzozari handler;
    Reading reading;
    reading.opened = handler.InitSvfPlusDataFile(name.c_str(), dir.c_str(), "read");
    reading.result = handler.Read();
    reading.summary = Summary(handler.GetSVFPlusData());
    reading.reports = Reports(handler);
    const ErrorReport* first = handler.GetErrorHandler()->GetReport(0);
    const ErrorReport* last = handler.GetErrorHandler()->GetLastReport();
    reading.firstCode = first != nullptr ? first->GetCode() : 0;
    reading.lastCode = last != nullptr ? last->GetCode() : 0;
    return reading;
}

Reading ReadText(const std::string& document, const std::string& test)
{
    std::string dir = ScratchDir("fault/" + test);
    WriteBytes(dir + "/in.xml", document);
    return ReadFile("in.xml", dir);
}

#if !defined(_WIN32)
// Whether this process can create a file in `dir` (root can, whatever the mode bits say).
bool CanCreateIn(const std::string& dir)
{
    std::string probe = dir + "/probe";
    FILE* file = fopen(probe.c_str(), "w");
    if (file == nullptr)
        return false;
    fclose(file);
    remove(probe.c_str());
    return true;
}
#endif
}

// ---------------------------------------------------------------------------------
// Inputs that cannot be read
// ---------------------------------------------------------------------------------

TEST(FaultInput, MissingFileFailsTheOpenWithTheSystemsReason)
{
    std::string dir = ScratchDir("fault/missing");
    Reading reading = ReadFile("absent.xml", dir);
    EXPECT_EQ(XML_ERR_OPEN, reading.opened);
    EXPECT_EQ(XML_ERR_OPEN, reading.firstCode);
    EXPECT_NE(std::string::npos, reading.reports.find(strerror(ENOENT))) << reading.reports;
    // Reading without an open document refuses, and no model appears.
    EXPECT_EQ(XML_ERR_NOT_OPEN, reading.result);
    EXPECT_EQ("none", reading.summary);
}

TEST(FaultInput, DirectoryGivenAsTheInputIsRefusedAtTheOpen)
{
    std::string dir = ScratchDir("fault/directory");
    std::filesystem::create_directories(dir + "/folder.xml");
    Reading reading = ReadFile("folder.xml", dir);
#if defined(_WIN32)
    // Windows refuses to open a folder as a file at all.
    EXPECT_TRUE(reading.opened == XML_ERR_OPEN || reading.opened == XML_ERR_READ) << reading.opened;
#else
    // The folder opens, and the first read of it fails.
    EXPECT_EQ(XML_ERR_READ, reading.opened);
    EXPECT_NE(std::string::npos, reading.reports.find(strerror(EISDIR))) << reading.reports;
#endif
    EXPECT_EQ(reading.opened, reading.firstCode);
    EXPECT_EQ(XML_ERR_NOT_OPEN, reading.result);
    EXPECT_EQ("none", reading.summary);
}

#if !defined(_WIN32)
TEST(FaultInput, FileWithoutReadPermissionFailsTheOpen)
{
    std::string dir = ScratchDir("fault/unreadable");
    std::string path = dir + "/locked.xml";
    WriteBytes(path, Document("<SVF_Plus_Data version=\"1\"/>"));
    ASSERT_EQ(0, chmod(path.c_str(), 0));
    FILE* probe = fopen(path.c_str(), "rb");
    if (probe != nullptr)
    {
        fclose(probe);
        chmod(path.c_str(), 0644);
        GTEST_SKIP() << "this process reads files without read permission (it runs as root)";
    }
    Reading reading = ReadFile("locked.xml", dir);
    chmod(path.c_str(), 0644);
    EXPECT_EQ(XML_ERR_OPEN, reading.opened);
    EXPECT_NE(std::string::npos, reading.reports.find(strerror(EACCES))) << reading.reports;
    EXPECT_EQ("none", reading.summary);
}
#endif

// ---------------------------------------------------------------------------------
// Outputs that cannot be written
// ---------------------------------------------------------------------------------

TEST(FaultOutput, MissingOutputFolderFailsTheOpenAndWriteRefuses)
{
    std::string dir = ScratchDir("fault/no-folder");
    std::string missing = dir + "/does/not/exist";
    RODAzivUzirAdovIzozari handler;
    EXPECT_EQ(SVF_ERR_OUTPUT, handler.InitSvfPlusDataFile("out.xml", missing.c_str(), "write"));
    const ErrorReport* report = handler.GetErrorHandler()->GetLastReport();
    ASSERT_NE(nullptr, report);
    EXPECT_EQ(SVF_ERR_OUTPUT, report->GetCode());
    EXPECT_NE(std::string::npos, std::string(report->GetMessage()).find(strerror(ENOENT))) << report->GetMessage();

    SVFPlusData model;
    MakeModel(model, 2, 4);
    handler.SetSVFPlusData(&model);
    EXPECT_EQ(SVF_ERR_OUTPUT, handler.Write());
    EXPECT_FALSE(std::filesystem::exists(missing));
}

#if !defined(_WIN32)
TEST(FaultOutput, ReadOnlyFolderFailsTheOpen)
{
    std::string dir = ScratchDir("fault/read-only");
    std::string locked = dir + "/locked";
    std::filesystem::create_directories(locked);
    ASSERT_EQ(0, chmod(locked.c_str(), 0555));
    if (CanCreateIn(locked))
    {
        chmod(locked.c_str(), 0755);
        GTEST_SKIP() << "this process writes into read-only folders (it runs as root)";
    }
    RODAzivUzirAdovIzozari handler;
    int opened = handler.InitSvfPlusDataFile("out.xml", locked.c_str(), "write");
    chmod(locked.c_str(), 0755);
    EXPECT_EQ(SVF_ERR_OUTPUT, opened);
    EXPECT_NE(std::string::npos, Reports(handler).find(strerror(EACCES))) << Reports(handler);
    EXPECT_FALSE(std::filesystem::exists(locked + "/out.xml"));
}

// The stream's results are not looked at: once Write has begun it returns 0, also when
// nothing reached the device, and it closes the stream as after any other Write.
TEST(FaultOutput, FullDeviceStillGivesTheResultOfACompletedWrite)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "/dev/full is not available here";
    for (bool expressions : {false, true})
    {
        SVFPlusData model;
        MakeModel(model, 400, 512);   // far more than one buffered piece of output
        RODAzivUzirAdovIzozari handler;
        ASSERT_EQ(0, handler.InitSvfPlusDataFile("/dev/full", "", "write")) << Reports(handler);
        handler.SetSVFPlusData(&model);
        handler.WriteExpression(expressions);
        EXPECT_EQ(0, handler.Write()) << "expressions " << expressions;
        // The stream was closed: a second Write finds no open output.
        EXPECT_EQ(SVF_ERR_OUTPUT, handler.Write());
        // The model stays attached and whole.
        EXPECT_EQ(Summary(&model), Summary(handler.GetSVFPlusData()));
    }
}
#endif

// ---------------------------------------------------------------------------------
// The input changes between the open and Read
// ---------------------------------------------------------------------------------

namespace
{
// A written document larger than the parser's first read, with the model it holds.
struct BigDocument
{
    std::string dir;
    std::string bytes;
    std::vector<std::string> rows;   // RowText of every row, in order
};

BigDocument MakeBigDocument(const std::string& test)
{
    BigDocument document;
    document.dir = ScratchDir("fault/" + test);
    SVFPlusData model;
    MakeModel(model, 2000, 256);   // about 1.1 MB of text
    EXPECT_EQ(0, WriteModel(model, document.dir, "big.xml"));
    document.bytes = ReadBytes(document.dir + "/big.xml");
    SVFDataField::DataBlock* block = model.GetDataField(0)->GetDataBlock(0);
    for (int k = 1; k <= block->GetNumberOfRows(); ++k)
        document.rows.push_back(RowText(block->GetRow(k)));
    return document;
}

std::vector<std::string> ReadRows(RODAzivUzirAdovIzozari& handler)
{
    std::vector<std::string> rows;
    SVFPlusData* model = handler.GetSVFPlusData();
    if (model == nullptr || model->GetDataFieldCount() == 0)
        return rows;
    SVFDataField* field = model->GetDataField(0);
    for (int j = 0; j < field->GetFieldBlockCount(); ++j)
        for (int k = 1; k <= field->GetDataBlock(j)->GetNumberOfRows(); ++k)
            rows.push_back(RowText(field->GetDataBlock(j)->GetRow(k)));
    return rows;
}
}

TEST(FaultChangingInput, FileDeletedAfterTheOpenIsReadWhole)
{
    BigDocument document = MakeBigDocument("deleted");
    RODAzivUzirAdovIzozari handler;
    ASSERT_EQ(0, handler.InitSvfPlusDataFile("big.xml", document.dir.c_str(), "read"));
    int removed = remove((document.dir + "/big.xml").c_str());
#if !defined(_WIN32)
    // The open file stays readable after its name is gone.
    EXPECT_EQ(0, removed);
#else
    (void)removed;   // Windows does not delete a file that is open
#endif
    EXPECT_EQ(0, handler.Read()) << Reports(handler);
    EXPECT_EQ(document.rows, ReadRows(handler));
}

#if !defined(_WIN32)
TEST(FaultChangingInput, FileTruncatedAfterTheOpenEndsEarlyWithWhatItHeld)
{
    BigDocument document = MakeBigDocument("truncated");
    std::string path = document.dir + "/big.xml";
    // Cut inside the part the open has read already, and far behind it.
    for (size_t keep : {(size_t)100, document.bytes.size() / 2})
    {
        WriteBytes(path, document.bytes);
        RODAzivUzirAdovIzozari handler;
        ASSERT_EQ(0, handler.InitSvfPlusDataFile("big.xml", document.dir.c_str(), "read"));
        ASSERT_EQ(0, truncate(path.c_str(), (off_t)keep));
        EXPECT_EQ(XML_ERR_UNEXPECTED_END, handler.Read()) << "kept " << keep;
        const ErrorReport* report = handler.GetErrorHandler()->GetLastReport();
        ASSERT_NE(nullptr, report);
        EXPECT_EQ(XML_ERR_UNEXPECTED_END, report->GetCode());

        // Every row but the last is whole and right; the last one may be cut short.
        std::vector<std::string> rows = ReadRows(handler);
        ASSERT_FALSE(rows.empty()) << "kept " << keep;
        ASSERT_LT(rows.size(), document.rows.size()) << "kept " << keep;
        for (size_t k = 0; k + 1 < rows.size(); ++k)
            ASSERT_EQ(document.rows[k], rows[k]) << "row " << k + 1;
        EXPECT_EQ(0u, document.rows[rows.size() - 1].find(rows.back()));
    }
}
#endif

// ---------------------------------------------------------------------------------
// Deep nesting
// ---------------------------------------------------------------------------------

namespace
{
std::string Nested(const std::string& open, const std::string& close, int depth, const std::string& inner)
{
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += open;
    text += inner;
    for (int i = 0; i < depth; ++i)
        text += close;
    return text;
}
}

TEST(FaultNesting, ElementsNestUpToTheLimitAndNoDeeper)
{
    struct Case
    {
        const char* what;
        std::string body;
        int result;
        const char* summary;
    };
    const std::string root = "<SVF_Plus_Data version=\"1\">";
    const std::string end = "</SVF_Plus_Data>";
    const Case cases[] = {
        // Elements the handler does not know are skipped, however deep.
        {"unknown elements to the limit", root + Nested("<x>", "</x>", XML_MAX_DEPTH - 1, "") + end, 0, "v=1 c=~"},
        {"unknown elements one past the limit", root + Nested("<x>", "</x>", XML_MAX_DEPTH, "") + end,
         XML_ERR_TOO_DEEP, "v=1 c=~"},
        {"empty element one past the limit", root + Nested("<x>", "</x>", XML_MAX_DEPTH - 1, "<y/>") + end,
         XML_ERR_TOO_DEEP, "v=1 c=~"},
        {"a hundred thousand levels", root + Nested("<x>", "</x>", 100000, "") + end, XML_ERR_TOO_DEEP, "v=1 c=~"},
        // Data fields inside data fields are each read, to the limit.
        {"data fields to the limit",
         root + Nested("<DataField name=\"d\">", "</DataField>", 3, "<FieldBlock row_width=\"8\">0x01</FieldBlock>") +
             end,
         0, "v=1 c=~ F(d,0) F(d,0) F(d,0) B8[0x01]"},
    };
    for (const Case& c : cases)
    {
        Reading reading = ReadText(Document(c.body), "nesting");
        EXPECT_EQ(c.result, reading.result) << c.what << "\n" << reading.reports;
        if (c.result < 0)
        {
            EXPECT_EQ(c.result, reading.lastCode) << c.what;
        }
        EXPECT_EQ(c.summary, reading.summary) << c.what;
    }
}

TEST(FaultNesting, DataFieldsNestedToTheLimitAreEachRead)
{
    std::string body = "<SVF_Plus_Data version=\"1\">" +
                       Nested("<DataField name=\"d\">", "</DataField>", XML_MAX_DEPTH - 1, "") + "</SVF_Plus_Data>";
    std::string dir = ScratchDir("fault/nested-fields");
    WriteBytes(dir + "/in.xml", Document(body));
    RODAzivUzirAdovIzozari handler;
    ASSERT_EQ(0, handler.InitSvfPlusDataFile("in.xml", dir.c_str(), "read"));
    EXPECT_EQ(0, handler.Read()) << Reports(handler);
    ASSERT_NE(nullptr, handler.GetSVFPlusData());
    EXPECT_EQ(XML_MAX_DEPTH - 1, handler.GetSVFPlusData()->GetDataFieldCount());
}

TEST(FaultNesting, DeeplyNestedExpressionsReadAsEmptyRows)
{
    // Parentheses nest 64 deep at most; deeper ones, to any depth, make an empty row.
    struct Case
    {
        int depth;
        const char* row;
    };
    const Case cases[] = {{64, "0xAB"}, {65, "0x"}, {100000, "0x"}};
    for (const Case& c : cases)
    {
        std::string expression = Nested("(", ")", c.depth - 1, "(AB)");
        Reading reading = ReadText(Document("<SVF_Plus_Data version=\"1\"><DataField name=\"A\"><FieldBlock row_width=\"8\">" +
                                            expression + "</FieldBlock></DataField></SVF_Plus_Data>"),
                                   "nested-expression");
        EXPECT_EQ(0, reading.result) << c.depth << "\n" << reading.reports;
        EXPECT_EQ(std::string("v=1 c=~ F(A,0) B8[") + c.row + "]", reading.summary) << c.depth;
    }
}

// ---------------------------------------------------------------------------------
// Texts of tens of megabytes
// ---------------------------------------------------------------------------------

TEST(FaultLargeTexts, AttributesCommentAndRowsOfTensOfMegabytesReadAndWriteBack)
{
    const size_t kLarge = 20u << 20;
    std::string name(kLarge, 'n');
    std::string version(kLarge / 2, 'v');
    std::string comment(kLarge, 'c');
    // One row of 5 MB: "0x" and 10 million digits on one line, then a second row.
    std::string digits;
    digits.reserve(kLarge + 2);
    digits = "0x";
    for (size_t i = 0; i < kLarge / 4; ++i)
        digits += "A5";

    std::string dir = ScratchDir("fault/large");
    WriteBytes(dir + "/in.xml", Document("<SVF_Plus_Data version=\"" + version + "\"><Comment>" + comment +
                                         "</Comment><DataField name=\"" + name + "\"><FieldBlock row_width=\"8\">" +
                                         digits + ",0x01</FieldBlock></DataField></SVF_Plus_Data>"));
    RODAzivUzirAdovIzozari reader;
    ASSERT_EQ(0, reader.InitSvfPlusDataFile("in.xml", dir.c_str(), "read"));
    ASSERT_EQ(0, reader.Read()) << Reports(reader);
    SVFPlusData* model = reader.GetSVFPlusData();
    ASSERT_NE(nullptr, model);
    EXPECT_EQ(version, Text(model->GetVersion()));
    EXPECT_EQ(comment, Text(model->GetComment()));
    ASSERT_EQ(1, model->GetDataFieldCount());
    EXPECT_EQ(name, Text(model->GetDataField(0)->GetFieldName()));
    SVFDataField::DataBlock* block = model->GetDataField(0)->GetDataBlock(0);
    ASSERT_EQ(2, block->GetNumberOfRows());
    UtByteBuffer* big = block->GetRow(1);
    ASSERT_EQ(kLarge / 4, big->GetTotalSize());
    EXPECT_EQ(0xA5, big->ReadData(0));
    EXPECT_EQ(0xA5, big->ReadData((int)(kLarge / 4 - 1)));
    EXPECT_EQ("0x01", RowText(block->GetRow(2)));

    // Written and read again, the model comes back the same.
    ASSERT_EQ(0, WriteModel(*model, dir, "out.xml"));
    RODAzivUzirAdovIzozari again;
    ASSERT_EQ(0, again.InitSvfPlusDataFile("out.xml", dir.c_str(), "read"));
    ASSERT_EQ(0, again.Read()) << Reports(again);
    EXPECT_TRUE(Summary(model) == Summary(again.GetSVFPlusData()));
}

// ---------------------------------------------------------------------------------
// Repeat counts near 2^31
// ---------------------------------------------------------------------------------

TEST(FaultRepeatCounts, HugeRepeatCountsFillOnlyWhatTheRowWidthHolds)
{
    struct Case
    {
        const char* width;
        const char* expression;
        size_t bytes;          // bytes the row receives
        unsigned char value;   // each of them
    };
    const Case cases[] = {
        {"16", "(FF*2147483647)", 2, 0xFF},
        {"16", "(FF*2147483648)", 2, 0xFF},
        {"24", "(FF*4294967297)", 3, 0xFF},
        {"32", "((AB*65536)*65536)", 4, 0xAB},
        {"8", "(5A*99999999999999999999999999999)", 1, 0x5A},
        {"abc", "(FF*2147483647)", 0, 0},   // width 0
        {"-2147483648", "(FF*2147483647)", 0, 0},
        // A huge width with a short expression: the area is fitted to the expression.
        {"2147483647", "(C3*4)", 4, 0xC3},
        // A width of 2 MB takes 2 MB of the 2 GB the expression stands for.
        {"16777216", "(3C*2147483647)", 2u << 20, 0x3C},
        // The widest row takes 256 MB through an area of 512 MB; where that area cannot
        // be had (a 32-bit process), the row reads as empty instead.
        {"2147483647", "(FF*2147483647)", 1u << 28, 0xFF},
    };
    for (const Case& c : cases)
    {
        Reading reading;
        std::string dir = ScratchDir("fault/repeat");
        WriteBytes(dir + "/in.xml", Document(std::string("<SVF_Plus_Data version=\"1\"><DataField name=\"A\"><FieldBlock row_width=\"") +
                                             c.width + "\">" + c.expression + ",0x01</FieldBlock></DataField></SVF_Plus_Data>"));
        RODAzivUzirAdovIzozari handler;
        ASSERT_EQ(0, handler.InitSvfPlusDataFile("in.xml", dir.c_str(), "read"));
        ASSERT_EQ(0, handler.Read()) << c.expression << "\n" << Reports(handler);
        SVFDataField::DataBlock* block = handler.GetSVFPlusData()->GetDataField(0)->GetDataBlock(0);
        ASSERT_EQ(2, block->GetNumberOfRows()) << c.expression;
        UtByteBuffer* row = block->GetRow(1);
        if (c.bytes >= (1u << 28) && row->GetTotalSize() == 0)
            continue;   // the area could not be had: an empty row, and reading went on
        ASSERT_EQ(c.bytes, row->GetTotalSize()) << c.width << " " << c.expression;
        const unsigned char* bytes = row->GetData();
        size_t same = 0;
        while (same < c.bytes && bytes[same] == c.value)
            ++same;
        EXPECT_EQ(c.bytes, same) << c.expression << ": the first other byte";
        EXPECT_EQ("0x01", RowText(block->GetRow(2))) << c.expression;
    }
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
    struct Case
    {
        const char* what;
        std::string attributes;
        int result;
    };
    const Case cases[] = {
        {"longer name after a prefix of it", " a=\"1\" " + longName + "=\"2\"", 0},
        {"longer name after a prefix, hashed", many + " a1" + longName + "=\"2\"", 0},
        {"long name after the same long name", " " + longName + "=\"1\" " + longName + "=\"2\"",
         XML_ERR_DUPLICATE_ATTRIBUTE},
        {"duplicate, hashed", many + " a7=\"x\"", XML_ERR_DUPLICATE_ATTRIBUTE},
        {"shorter name after a longer one", " " + longName + "=\"1\" a=\"2\"", 0},
    };
    for (const Case& c : cases)
    {
        Reading reading = ReadText(Document("<SVF_Plus_Data version=\"1\"><DataField name=\"F\"" + c.attributes +
                                            "/></SVF_Plus_Data>"),
                                   "fuzz-attribute-names");
        EXPECT_EQ(c.result, reading.result) << c.what << "\n" << reading.reports;
        EXPECT_EQ(c.result == 0 ? "v=1 c=~ F(F,0)" : "v=1 c=~", reading.summary) << c.what;
    }
}
