// Reading: result codes, the reports they leave, and the model that stays afterwards, over
// many small documents; then field block rows; then the warnings of a lenient read. Every
// document is read twice, with warnings off and on, and both reads must agree; each read
// is made from the file, from memory and from a source giving a byte at a time, which must
// agree too. Then documents of every size read in pieces of every size.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"

using namespace testsupport;

namespace
{
Reading ReadDocument(const std::string& document, const std::string& test)
{
    Reading quiet = ReadText(document, "reader/" + test, false, SVFReadLimits(), true);
    Reading outcome = ReadText(document, "reader/" + test, true, SVFReadLimits(), true);
    EXPECT_EQ(0, outcome.opened) << outcome.reports;
    // Warnings change nothing else: the result, the reports and the model are the same.
    EXPECT_EQ(quiet.result, outcome.result) << test;
    EXPECT_EQ(quiet.reports, outcome.reports) << test;
    EXPECT_EQ(quiet.summary, outcome.summary) << test;
    EXPECT_EQ("", quiet.warnings) << test;
    return outcome;
}

struct DocumentCase
{
    const char* what;
    std::string document;
    int result;
    int reports;
    const char* summary;
};

// A document whose root element is not the usual one: `text` after the prolog.
std::string AfterProlog(const char* text)
{
    return kProlog + std::string(text);
}

// clang-format off
const DocumentCase kDocuments[] = {
    {"empty root element", AfterProlog("<SVF_Plus_Data version=\"2\"/>"), 0, 0, "v=2 c=~"},
    {"root without version", AfterProlog("<SVF_Plus_Data></SVF_Plus_Data>"), 0, 0, "v=~ c=~"},
    {"empty comment is no comment", Document("<Comment></Comment>"), 0, 0, "v=1 c=~"},
    {"empty comment element", Document("<Comment/>"), 0, 0, "v=1 c=~"},
    {"comment keeps its white space", Document("<Comment> a\n b </Comment>"), 0, 0, "v=1 c= a\n b "},
    {"line ends as XML reads them: CR LF and CR alone as LF",
     AfterProlog("<SVF_Plus_Data version=\"1\r\n\"><Comment>a\r\nb\rc\r\r\n</Comment><DataField name=\"A\rB\"/>"
                 "</SVF_Plus_Data>"), 0, 0, "v=1\n c=a\nb\nc\n\n F(A\nB,0)"},
    {"checksum upper case, before the name", Document("<DataField checksum='0x12AB' name='A'/>"), 0, 0,
     "v=1 c=~ F(A,12ab)"},
    {"checksum prefix not examined", Document("<DataField name=\"A\" checksum=\"0X12ab\"/>"), 0, 0,
     "v=1 c=~ F(A,12ab)"},
    {"short checksum", Document("<DataField name=\"A\" checksum=\"0x1\"/>"), 0, 0, "v=1 c=~ F(A,1000)"},
    {"long checksum uses four digits", Document("<DataField name=\"A\" checksum=\"0x123456789abcdef0123\"/>"), 0, 0,
     "v=1 c=~ F(A,1234)"},
    {"checksum not hexadecimal", Document("<DataField name=\"A\" checksum=\"0xzz1z\"/>"), 0, 0, "v=1 c=~ F(A,10)"},
    {"field without name", Document("<DataField></DataField>"), 0, 0, "v=1 c=~ F(~,0)"},
    {"unknown element skipped",
     Document("<DataField name=\"A\"><Other><FieldBlock row_width=\"8\">0x11</FieldBlock></Other>"
              "<FieldBlock row_width=\"8\">0x22</FieldBlock></DataField>"),
     0, 0, "v=1 c=~ F(A,0) B8[0x22]"},
    {"name differing in case is unknown", Document("<datafield name=\"A\"></datafield><DataField name=\"B\"/>"), 0, 0,
     "v=1 c=~ F(B,0)"},
    {"unknown root element", AfterProlog("<Other version=\"1\"><DataField name=\"A\"/></Other>"), 0, 0, "none"},
    {"comment and field at any depth", Document("<DataField name=\"A\"><Comment>deep</Comment></DataField>"), 0, 0,
     "v=1 c=deep F(A,0)"},
    {"second root element",
     Document("<DataField name=\"A\"/><SVF_Plus_Data version=\"2\"/><SVF_Plus_Data version=\"3\"></SVF_Plus_Data>"),
     SVF_ERR_MODEL, 2, "v=1 c=~ F(A,0)"},
    {"field block in the root after a field",
     Document("<DataField name=\"A\"/><FieldBlock row_width=\"8\">0x11</FieldBlock>"), SVF_ERR_NESTING, 2,
     "v=1 c=~ F(A,0)"},
    {"field block in the root without a field", Document("<FieldBlock row_width=\"8\">0x11</FieldBlock>"),
     SVF_ERR_NO_FIELD, 2, "v=1 c=~"},
    {"bad row inside field inside root",
     Document("<DataField name=\"A\"><FieldBlock row_width=\"8\">0x11,0x2g</FieldBlock></DataField>"
              "<DataField name=\"B\"/>"),
     SVF_ERR_MODEL, 3, "v=1 c=~ F(A,0) B8[0x11,0x]"},
    {"failing empty field block is dropped", Document("<FieldBlock row_width=\"8\"/><DataField name=\"A\"/>"), 0, 0,
     "v=1 c=~ F(A,0)"},
    {"empty unknown element ends the field's children",
     Document("<DataField name=\"A\"><Other/><FieldBlock row_width=\"8\">0x11</FieldBlock></DataField>"),
     SVF_ERR_NESTING, 2, "v=1 c=~ F(A,0)"},
    {"empty unknown element as last child ends the root's loop",
     Document("<DataField name=\"A\"><Other/></DataField><DataField name=\"B\"/>"), 0, 0, "v=1 c=~ F(A,0)"},
    {"comment before any model", AfterProlog("<Comment>early</Comment>"), SVF_ERR_NO_MODEL, 1, "none"},
    {"data field before any model",
     AfterProlog("<DataField name=\"A\"><FieldBlock row_width=\"8\">0x11</FieldBlock></DataField>"), SVF_ERR_NO_MODEL,
     1, "none"},
    {"field block before any model", AfterProlog("<FieldBlock row_width=\"8\">0x11</FieldBlock>"), SVF_ERR_NO_MODEL,
     1, "none"},
    {"empty element before any model", AfterProlog("<DataField name=\"A\"/>"), 0, 0, "none"},
    {"mismatched end tag", Document("<DataField name=\"A\"></FieldBlock>"), XML_ERR_MISMATCHED_END_TAG, 3,
     "v=1 c=~ F(A,0)"},
};
// clang-format on
}

TEST(ReaderDocuments, ResultsReportsAndWhatStays)
{
    int n = 0;
    for (const DocumentCase& c : kDocuments)
    {
        Reading got = ReadDocument(c.document, "doc" + std::to_string(n++));
        EXPECT_EQ(c.result, got.result) << c.what << "\n" << got.reports;
        EXPECT_EQ(std::string(c.summary), got.summary) << c.what;
        // The parser's own failure is recorded once by the parser, then by each level above;
        // the failure's record is the first of those reports, where it arose.
        EXPECT_EQ(c.reports, std::count(got.reports.begin(), got.reports.end(), '\n')) << c.what << "\n" << got.reports;
        std::string origin = c.result < 0 ? "#0 " + std::to_string(c.result) + " " : "none";
        EXPECT_EQ(0u, got.failure.find(origin)) << c.what << ": " << got.failure;
    }
}

TEST(ReaderDocuments, ReportsNameTheDocumentAndTheCode)
{
    std::string document = Document("\n<DataField name=\"A\">\n<FieldBlock row_width=\"8\">0x1</FieldBlock>\n"
                                    "<FieldBlock row_width=\"8\">0xZZ</FieldBlock></DataField>");
    Reading got = ReadDocument(document, "messages");
    EXPECT_EQ(SVF_ERR_MODEL, got.result);
    // Each report is placed at the character that breaks the row and says what was due;
    // the failure's record has its byte offset too.
    const char* expected = ":6:29: error: row 1 of block 0 of field \"A\" breaks the hexadecimal row syntax: "
                           "\"Z\" stands where a hexadecimal digit is due (error -1).\n";
    std::string report = "scratch/reader/messages\\in.xml" + std::string(expected);
    EXPECT_EQ(report + report + report, got.reports);
    EXPECT_EQ("#0 -1 errno 0 at " + std::to_string(document.find("0xZZ") + 2), got.failure);

    // An end tag that does not match names both tags and where the open one began.
    document = std::string(kProlog) + "<SVF_Plus_Data version=\"1\">\n<DataField\nname=\"A\"></FieldBlock>";
    got = ReadDocument(document, "mismatch");
    EXPECT_EQ("#0 -108 errno 0 at " + std::to_string(document.find("</FieldBlock>")), got.failure);
    EXPECT_NE(std::string::npos, got.reports.find(":5:10: error: an end tag does not match the open element (the "
                                                  "end tag </FieldBlock> stands where the end tag of <DataField>, "
                                                  "begun on line 4, is due) (error -108)."))
        << got.reports;

    // A document in UTF-16 or UTF-32 is refused with an error that names its encoding.
    // clang-format off
    const struct { std::string bytes; const char* encoding; } wide[] = {
        {std::string("\xFF\xFE<\0?\0x\0", 8), "UTF-16 (little-endian), as its byte order mark shows"},
        {std::string("\0<\0S\0V", 6), "UTF-16 (big-endian), as its first bytes show"},
        {std::string("\0\0\0<\0\0\0S", 8), "UTF-32 (big-endian), as its first bytes show"},
    };
    // clang-format on
    for (const auto& document : wide)
    {
        got = ReadDocument(document.bytes, "wide");
        EXPECT_EQ(XML_ERR_ENCODING, got.result);
        EXPECT_NE(std::string::npos, got.reports.find(std::string(":1:1: error: the document is not in UTF-8, the "
                                                                  "encoding the reader takes (it is in ") +
                                                      document.encoding + ") (error -118)."))
            << got.reports;
    }
}

// A failure is reported once by each level of the walk from where it arose to the top: a
// start tag that fails by its own level and those above; a failing Scan, and an element the
// parser would have skipped that is no start or empty tag (-29, here an end tag the hook
// refuses), by the levels above the one that met it, not by that one. The first report of
// the handler's is the failure's record when the parser made none.
TEST(ReaderDocuments, EachLevelReportsAFailureOnceOnItsWayUp)
{
    // Refuses the end tag named `refused`, as a hook may.
    struct Refusing : RODAzivUzirAdovIzozari
    {
        const char* refused = "";
        int OnSetEndTag() override
        {
            int named = RODAzivUzirAdovIzozari::OnSetEndTag();
            return strcmp(GetEndTag()->GetNodeName(), refused) == 0 ? SVF_ERR_UNKNOWN_TAG : named;
        }
    };
    const std::string field = "<DataField name=\"A\">", block = "<FieldBlock row_width=\"8\">0x11";
    // clang-format off
    const struct { const char* what; std::string document; const char* refused; int result, reports; } kCases[] = {
        // (A start tag failing at each level, and a Scan inside a data field: kDocuments.)
        {"scan in the root", Document("</DataField>"), "", XML_ERR_MISMATCHED_END_TAG, 1},
        {"scan in a field block", Document(field + block + "</DataField>"), "", XML_ERR_MISMATCHED_END_TAG, 3},
        {"root end tag refused", Document(""), "SVF_Plus_Data", SVF_ERR_SKIP, 1},
        {"data field end tag refused", Document(field + "</DataField>"), "DataField", SVF_ERR_SKIP, 2},
        {"field block end tag refused", Document(field + block + "</FieldBlock></DataField>"), "FieldBlock",
         SVF_ERR_SKIP, 3},
    };
    // clang-format on
    for (const auto& c : kCases)
    {
        Refusing handler;
        handler.refused = c.refused;
        UtMemorySource source(c.document.data(), c.document.size());
        ASSERT_EQ(0, handler.InitSvfPlusDataSource(&source, "levels"));
        EXPECT_EQ(c.result, handler.Read()) << c.what;
        const ErrorHandler* errors = handler.GetErrorHandler();
        int ours = 0, first = -1;
        for (int i = 0; i < errors->GetReportCount(); ++i)
            if (errors->GetReport(i)->GetList() == ERROR_LIST_DATA_FILE && ours++ == 0)
                first = i;
        EXPECT_EQ(c.reports, ours) << c.what;
        bool parsers = c.result < -100;   // the parser reported it first, where it arose
        EXPECT_EQ(errors->GetFailure(), errors->GetReport(parsers ? 0 : first)) << c.what;
        EXPECT_EQ(c.result, errors->GetFailure()->GetCode()) << c.what;
    }
}

// The document type file is looked for in the default directory, whatever the document
// names; a model attached before Read makes the root element fail.
TEST(ReaderDocuments, DocumentTypeInTheDefaultDirectoryAndAModelAttachedBefore)
{
    struct Handler : RODAzivUzirAdovIzozari
    {
        using XMLParser::GetDTD;
    } handler;
    std::string dir = ScratchDir("reader/attached");
    WriteBytes(dir + "/in.xml",
               "<!DOCTYPE SVF_Plus_Data SYSTEM 'elsewhere/x.dtd'><SVF_Plus_Data version=\"9\"></SVF_Plus_Data>");
    ASSERT_EQ(0, handler.InitSvfPlusDataFile("in.xml", dir.c_str(), "read"));
    SVFPlusData attached;
    attached.SetVersion("attached");
    handler.SetSVFPlusData(&attached);
    EXPECT_EQ(SVF_ERR_MODEL, handler.Read());
    EXPECT_EQ(dir + "\\SVF_Plus_Data.dtd", handler.GetDTD());
    EXPECT_EQ(1, handler.GetErrorHandler()->GetReportCount());
    EXPECT_EQ("v=attached c=~", Summary(handler.GetSVFPlusData()));
}

namespace
{
struct RowCase
{
    const char* text;    // the FieldBlock's text
    const char* width;   // the row_width attribute, or null for none
    int result;
    const char* rows;   // the block as Summary shows it, or "" for no block
};

const RowCase kRows[] = {
    {"0x12,0x34", "8", 0, " B8[0x12,0x34]"},
    {"\n\t\t\t0x12\n\t\t\t  34\n\t\t", "16", 0, " B16[0x1234]"},
    // Two digits that white space splits make one byte, and the row goes on after it.
    {"0x1 2 3456,0xA\n\tB", "24", 0, " B24[0x123456,0xAB]"},
    {"0x0123456789ABCDEF0123456789ABCDEF0 1\t2 3456789ABCDEF0123456789ABCDEF", "512", 0,
     " B512[0x0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF]"},
    {"\r\n0x12,\r\n\t0x34\r\n", "8", 0, " B8[0x12,0x34]"},
    {"0x12<!-- c -->34,<![CDATA[0xAB]]>", "8", 0, " B8[0x1234,0xAB]"},
    {"0xabCD,0x0f", "16", 0, " B16[0xABCD,0x0F]"},
    {"0X12", "8", SVF_ERR_MODEL, " B8[0x]"},
    {"0x123", "8", 0, " B8[0x12]"},
    {"0", "8", 0, " B8[0x]"},
    {"0x", "8", 0, " B8[0x]"},
    {"ab0x12", "8", 0, " B8[0x12]"},
    {"zz", "8", 0, " B8[0x]"},
    {"  \n\t ", "8", 0, " B8[0x]"},
    {"", "8", 0, ""},
    {"0x12,", "8", 0, " B8[0x12]"},
    {"0x12, ", "8", 0, " B8[0x12,0x]"},
    {"0x12,,0x34", "8", 0, " B8[0x12,0x,0x34]"},
    {",", "8", 0, " B8[0x]"},
    {"0x12)", "8", SVF_ERR_MODEL, " B8[0x12]"},
    {"0x34,0x1g", "8", SVF_ERR_MODEL, " B8[0x34,0x]"},
    {"00x12", "8", SVF_ERR_MODEL, " B8[0x]"},
    {"12", "8", 0, " B8[0x]"},
    {"102", "8", SVF_ERR_MODEL, " B8[0x]"},
    {"0x1234", "8", 0, " B8[0x1234]"},
    {"0x12", nullptr, 0, " B0[0x12]"},
    {"0x12", "abc", 0, " B0[0x12]"},
    {"0x12", "  +24bits", 0, " B24[0x12]"},
    {"0x12,(FF*3),0x34", "2147483647", 0, " B2147483647[0x12,0xFFFFFF,0x34]"},
    {"(FF*3)", "-100", 0, " B-100[0x]"},
    // Repeat counts near 2^31 and beyond: a row takes only what its width holds.
    {"(FF*2147483647),0x01", "16", 0, " B16[0xFFFF,0x01]"},
    {"(C3*4)", "2147483647", 0, " B2147483647[0xC3C3C3C3]"},
    // A width that is no multiple of 8 keeps its last, partial byte.
    {"(ABCD*9),(5A),(A5*3)", "12", 0, " B12[0xABCD,0x5A,0xA5A5]"},
    {"(A5*3)", "1", 0, " B1[0xA5]"},
    // Widths beyond the int range saturate, as strtol clamps, instead of wrapping.
    {"0x12", "4294967304", 0, " B2147483647[0x12]"},
    {"0x12", "-4294967304", 0, " B-2147483648[0x12]"},
    {"0x1\n2,0x3&amp;4", "8", SVF_ERR_MODEL, " B8[0x12,0x]"},
};
}

TEST(ReaderRows, HexadecimalRowSyntax)
{
    int n = 0;
    for (const RowCase& c : kRows)
    {
        std::string block = c.width != nullptr ? std::string("<FieldBlock row_width=\"") + c.width + "\">"
                                               : std::string("<FieldBlock>");
        std::string document = Document("<DataField name=\"A\">" + block + c.text + "</FieldBlock></DataField>");
        Reading got = ReadDocument(document, "row" + std::to_string(n++));
        EXPECT_EQ(c.result, got.result) << "'" << c.text << "'\n" << got.reports;
        EXPECT_EQ(std::string("v=1 c=~ F(A,0)") + c.rows, got.summary) << "'" << c.text << "'";
    }
}

namespace
{
// One case per kind of warning: the document, and the warnings it gives, as
// "NAME@LINE:COLUMN" in the order found (the prolog takes lines 1 and 2).
struct WarningCase
{
    std::string document;
    const char* warnings;
};

// clang-format off
const WarningCase kWarnings[] = {
    {Document("\n<X><DataField name=\"A\"/></X>\n"), "SVF_WARN_SKIPPED_ELEMENT@4:1"},
    {Document("\n<DataField name=\"A\">\n<X/>\n</DataField>\n<DataField name=\"B\"/>\n"),
     "SVF_WARN_EMPTY_ELEMENT_ENDS@5:1 SVF_WARN_END_TAG_OUT_OF_STEP@6:1"},
    {Document("\n<DataField name=\"A\"/>\n<FieldBlock row_width=\"8\"/>\n"), "SVF_WARN_IGNORED_EMPTY_ELEMENT@5:1"},
    {Document("\nstray\n<DataField name=\"A\"/>\n junk\n"), "SVF_WARN_TEXT_NOT_READ@4:1 XML_WARN_TEXT_AFTER_CHILD@6:2"},
    {AfterProlog("<SVF_Plus_Data/>"), "SVF_WARN_NO_VERSION@3:1"},
    {Document("\n<Comment>a</Comment>\n<Comment>b</Comment>\n"), "SVF_WARN_COMMENT_REPLACED@5:1"},
    {Document("\n<DataField checksum=\"0X12\"/>\n"), "SVF_WARN_NO_NAME@4:1 SVF_WARN_CHECKSUM@4:22"},
    {Document("\n<DataField name=\"A\">\n<FieldBlock/>\n<FieldBlock row_width=\"8x\">0x12</FieldBlock>\n"
              "<FieldBlock row_width=\"-99999999999\">0x12</FieldBlock>\n"
              "<FieldBlock row_width=\"-2147483648\">0x12</FieldBlock>\n</DataField>\n"),
     "SVF_WARN_NO_ROW_WIDTH@5:1 SVF_WARN_NO_ROWS@5:1 SVF_WARN_ROW_WIDTH_TEXT@6:24 SVF_WARN_ROW_WIDTH_RANGE@7:24 "
     "SVF_WARN_BLOCKS_MERGED@8:1"},
    {Document("\n<DataField name=\"A\">\n<FieldBlock row_width=\"16\">\nFF0x1234,\n0x123,\n(FF*,\n(FF*3),\n"
              "<![CDATA[0x12\n34]]>,<!-- c -->\n0x1234,\n</FieldBlock>\n</DataField>\n"),
     "SVF_WARN_MARKUP_IN_ROWS@10:1 SVF_WARN_MARKUP_IN_ROWS@11:7 SVF_WARN_STRAY_CHARACTERS@6:1 "
     "SVF_WARN_ODD_DIGITS@7:5 SVF_WARN_ROW_LENGTH@7:1 SVF_WARN_EXPRESSION_FAILS@8:1 SVF_WARN_EXPRESSION_CUT@9:1 "
     "SVF_WARN_TRAILING_COMMA@12:7"},
    {Document("\n<Comment>caf\xE9</Comment>\n", "1&amp;2") + "\n<!-- fine -->\ntrailing",
     "SVF_WARN_REFERENCE@3:26 SVF_WARN_NOT_UTF8@4:13 XML_WARN_AFTER_ROOT@7:1"},
    {"<?xml version='1.0' encoding='ISO-8859-1'?>\n<SVF_Plus_Data version=\"1\"/>", "XML_WARN_ENCODING@1:31"},
};
// clang-format on
}

TEST(ReaderWarnings, EachKindWhereItStands)
{
    int n = 0;
    for (const WarningCase& c : kWarnings)
    {
        Reading got = ReadDocument(c.document, "warn" + std::to_string(n++));
        EXPECT_EQ(std::string(c.warnings), got.warnings) << c.document << "\n" << got.sentences;
        // The sentences name the element, field, block and row, and what the reader did.
        EXPECT_TRUE(n != 9 ||
                    got.sentences.find("in.xml:7:1: warning: row 1 of block 0 of field \"A\" holds 1 "
                                       "byte, but row_width 16 asks for 2 (warning 17).\n") != std::string::npos)
            << got.sentences;
    }
}

namespace
{
// A read hook that notes what it is told as "field.block.row:bytes" and the progress,
// and empties each row when asked to.
class NotingHook : public SVFReadHook
{
public:
    explicit NotingHook(bool empty) : m_bEmpty(empty) {}
    void OnRow(int field, int block, int row, UtByteBuffer* bytes) override
    {
        rows += " " + std::to_string(field) + "." + std::to_string(block) + "." + std::to_string(row) + ":" +
                std::to_string(bytes->GetTotalSize());
        if (m_bEmpty)
            bytes->Shrink(0);
    }
    void OnProgress(unsigned long long done, unsigned long long total) override
    {
        progress.push_back(done);
        last = total;
    }
    std::string rows;
    std::vector<unsigned long long> progress;
    unsigned long long last = 0;

private:
    bool m_bEmpty;
};

}

TEST(ReaderHook, EveryRowOnceInOrderAndTheProgress)
{
    // Two field blocks of one width make one block; an expression row; a field without
    // rows; a block element without text; a failing document stops the rows where it fails.
    const std::string documents[] = {
        Document("<DataField name=\"A\"><FieldBlock row_width=\"8\">0x01,0x02</FieldBlock>"
                 "<FieldBlock row_width=\"8\">0x03</FieldBlock><FieldBlock row_width=\"16\">(AB*2),0x</FieldBlock>"
                 "</DataField><DataField name=\"B\"/><DataField name=\"C\"><FieldBlock row_width=\"4\"/>"
                 "<FieldBlock row_width=\"4\">0x0F</FieldBlock></DataField>"),
        Document("<DataField name=\"A\"><FieldBlock row_width=\"8\">0x01,0xZZ</FieldBlock></DataField>"),
    };
    for (const std::string& document : documents)
    {
        std::string dir = ScratchDir("ReaderHook");
        WriteBytes(dir + "/in.xml", document);
        Reading plain = ReadFile(dir, "in.xml");
        // Read from the file, from memory and pulled in pieces of 7 bytes; rows emptied or not.
        for (int way = 0; way < 6; ++way)
        {
            bool empty = way % 2 != 0, memory = way / 2 == 1;
            SCOPED_TRACE(document + " read " + std::to_string(way / 2) + (empty ? ", rows emptied" : ""));
            RODAzivUzirAdovIzozari handler;
            NotingHook hook(empty);
            handler.SetReadHook(&hook);
            UtMemorySource buffer(document.data(), document.size());
            PulledSource pulled(document, 7);
            ASSERT_GE(way / 2 == 0 ? handler.InitSvfPlusDataFile("in.xml", dir.c_str(), "read")
                      : memory     ? handler.InitSvfPlusDataSource(&buffer, "in memory")
                                   : handler.InitSvfPlusDataSource(&pulled.source, "pulled"),
                      0);
            int result = handler.Read();
            EXPECT_EQ(result, plain.result);
            if (result < 0)
            {
                EXPECT_EQ(hook.rows, " 0.0.0:1");
                continue;
            }
            // A hook changes nothing; the rows it was told are the model's.
            EXPECT_TRUE(empty || Summary(handler.GetSVFPlusData()) ==
                                     "v=1 c=~ F(A,0) B8[0x01,0x02,0x03] B16[0xABAB,0x] F(B,0) F(C,0) B4[0x0F]")
                << Summary(handler.GetSVFPlusData());
            EXPECT_EQ(hook.rows, " 0.0.0:1 0.0.1:1 0.0.2:1 0.1.0:2 0.1.1:0 2.0.0:1");
            ASSERT_EQ(hook.progress.size(), 5u);   // one per field block element
            EXPECT_EQ(hook.last, (unsigned long long)document.size());
            // A file and a pulled source are read a window at a time, here all at once; a
            // buffer lies in memory whole, and its progress is how far the scan has come.
            if (memory)
                EXPECT_TRUE(std::adjacent_find(hook.progress.begin(), hook.progress.end(),
                                               std::greater_equal<unsigned long long>()) == hook.progress.end());
            else
                EXPECT_TRUE(std::is_sorted(hook.progress.begin(), hook.progress.end()));
            EXPECT_LE(hook.progress.back(), hook.last);
        }
    }
}

namespace
{
struct LargeDocument
{
    std::string what, bytes;
    int result;   // of reading it
};

// Documents beyond the parser's window (256 KiB) and the ways they end: whole, cut
// short, with a NUL byte, with a tag larger than the window, with a broken row far in.
std::vector<LargeDocument> LargeDocuments()
{
    SVFPlusData model;
    MakeModel(model, 2000, 256);
    std::vector<LargeDocument> documents = {{"sample", ReadBytes("data/sample.xml"), 0}};
    for (bool expressions : {false, true})
        documents.push_back({expressions ? "expressions" : "hexadecimal", WrittenBytes(model, expressions), 0});
    std::string whole = documents[1].bytes, nul = whole, broken = whole;
    nul[300000] = '\0';
    broken[broken.find("0x", 700000) + 5] = 'g';
    documents.push_back({"cut short", whole.substr(0, whole.size() / 2), XML_ERR_UNEXPECTED_END});
    documents.push_back({"NUL byte", nul, XML_ERR_NUL});
    documents.push_back({"broken row", broken, SVF_ERR_MODEL});
    documents.push_back({"large tag",
                         Document("<DataField name=\"" + std::string(600000, 'n') +
                                  "\"><FieldBlock row_width=\"8\">0x01</FieldBlock></DataField>"),
                         0});
    return documents;
}
}

// A source that gives a few bytes at a time reads as the file does, whatever the size of
// its pieces: the same model, results, reports and warnings, at the same places.
TEST(ReaderSources, PiecesOfEverySizeReadAsTheFile)
{
    std::string dir = ScratchDir("reader/pieces");
    std::vector<size_t> sizes;
    for (size_t size = 1; size <= 64; ++size)
        sizes.push_back(size);
    for (size_t around : {(size_t)4096, (size_t)65536, (size_t)262144})
        sizes.insert(sizes.end(), {around - 1, around, around + 1});
    sizes.push_back(1u << 22);   // more than any document here holds
    for (const LargeDocument& document : LargeDocuments())
    {
        WriteBytes(dir + "/in.xml", document.bytes);
        Reading file = ReadFile(dir, "in.xml", true);
        ASSERT_EQ(document.result, file.result) << document.what << "\n" << file.reports;
        std::string shown = dir + "\\in.xml";
        UtMemorySource memory(document.bytes.data(), document.bytes.size());
        ExpectSameReading(file, ReadSource(&memory, shown, true), document.what + " from memory");
        for (size_t size : sizes)
        {
            PulledSource pulled(document.bytes, size);
            ExpectSameReading(file, ReadSource(&pulled.source, shown, true),
                              document.what + " in pieces of " + std::to_string(size) + " bytes");
            if (HasFailure())
                return;
        }
    }
}
