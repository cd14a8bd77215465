// Reading: result codes, the reports they leave, and the model that stays afterwards, over
// many small documents; then field block rows.
#include <gtest/gtest.h>

#include <string>

#include "ModelSummary.h"
#include "RODAzivUzirAdovIzozari.h"
#include "TestSupport.h"

using namespace testsupport;

namespace
{
const char kProlog[] =
    "<?xml version='1.0' encoding='utf-8' ?>\n"
    "<!DOCTYPE\t\tSVF_Plus_Data\tSYSTEM\t\"SVF_Plus_Data.dtd\" >\n";

struct ReadOutcome
{
    int result;
    int reports;
    std::string summary;
    std::string messages;
};

ReadOutcome ReadDocument(const std::string& document, const std::string& test)
{
    std::string dir = ScratchDir("reader/" + test);
    WriteBytes(dir + "/in.xml", document);
    RODAzivUzirAdovIzozari handler;
    ReadOutcome outcome;
    outcome.result = handler.InitSvfPlusDataFile("in.xml", dir.c_str(), "read");
    EXPECT_EQ(0, outcome.result) << Reports(handler);
    outcome.result = handler.Read();
    outcome.reports = handler.GetErrorHandler()->GetReportCount();
    outcome.summary = Summary(handler.GetSVFPlusData());
    outcome.messages = Reports(handler);
    return outcome;
}

struct DocumentCase
{
    const char* what;
    const char* body;      // follows the prolog
    int result;
    int reports;
    const char* summary;
};

const DocumentCase kDocuments[] = {
    {"worked example",
     "<SVF_Plus_Data version=\"2.1\">\n\t<Comment>example</Comment>\n"
     "\t<DataField\tname=\"FIELD_A\"\n\t\t\t\tchecksum=\"0x1a2b\">\n\t\t<FieldBlock\trow_width=\"16\">\n"
     "\t\t\t0x1234,\n\t\t\t0x5678\n\t\t</FieldBlock>\n\t</DataField>\n"
     "\t<DataField\tname=\"FIELD_B\">\n\t\t<FieldBlock\trow_width=\"8\">\n\t\t\t0x90\n\t\t</FieldBlock>\n"
     "\t</DataField>\n</SVF_Plus_Data>\n",
     0, 0, "v=2.1 c=example F(FIELD_A,1a2b) B16[0x1234,0x5678] F(FIELD_B,0) B8[0x90]"},
    {"empty root element", "<SVF_Plus_Data version=\"2\"/>", 0, 0, "v=2 c=~"},
    {"root without version", "<SVF_Plus_Data></SVF_Plus_Data>", 0, 0, "v=~ c=~"},
    {"empty comment is no comment", "<SVF_Plus_Data version=\"1\"><Comment></Comment></SVF_Plus_Data>", 0, 0,
     "v=1 c=~"},
    {"empty comment element", "<SVF_Plus_Data version=\"1\"><Comment/></SVF_Plus_Data>", 0, 0, "v=1 c=~"},
    {"comment keeps its white space", "<SVF_Plus_Data version=\"1\"><Comment> a\n b </Comment></SVF_Plus_Data>", 0,
     0, "v=1 c= a\n b "},
    {"comment references stay raw", "<SVF_Plus_Data version=\"1\"><Comment>a&amp;b</Comment></SVF_Plus_Data>", 0, 0,
     "v=1 c=a&amp;b"},
    {"checksum upper case", "<SVF_Plus_Data version=\"1\"><DataField name=\"A\" checksum=\"0x12AB\"/></SVF_Plus_Data>",
     0, 0, "v=1 c=~ F(A,12ab)"},
    {"checksum prefix not examined",
     "<SVF_Plus_Data version=\"1\"><DataField name=\"A\" checksum=\"0X12ab\"/></SVF_Plus_Data>", 0, 0,
     "v=1 c=~ F(A,12ab)"},
    {"short checksum", "<SVF_Plus_Data version=\"1\"><DataField name=\"A\" checksum=\"0x1\"/></SVF_Plus_Data>", 0, 0,
     "v=1 c=~ F(A,1000)"},
    {"long checksum uses four digits",
     "<SVF_Plus_Data version=\"1\"><DataField name=\"A\" checksum=\"0x123456789abcdef0123\"/></SVF_Plus_Data>", 0,
     0, "v=1 c=~ F(A,1234)"},
    {"checksum not hexadecimal", "<SVF_Plus_Data version=\"1\"><DataField name=\"A\" checksum=\"0xzz1z\"/></SVF_Plus_Data>",
     0, 0, "v=1 c=~ F(A,10)"},
    {"field without name", "<SVF_Plus_Data version=\"1\"><DataField></DataField></SVF_Plus_Data>", 0, 0,
     "v=1 c=~ F(~,0)"},
    {"unknown element skipped",
     "<SVF_Plus_Data version=\"1\"><DataField name=\"A\"><Other><FieldBlock row_width=\"8\">0x11</FieldBlock></Other>"
     "<FieldBlock row_width=\"8\">0x22</FieldBlock></DataField></SVF_Plus_Data>",
     0, 0, "v=1 c=~ F(A,0) B8[0x22]"},
    {"name differing in case is unknown",
     "<SVF_Plus_Data version=\"1\"><datafield name=\"A\"></datafield><DataField name=\"B\"/></SVF_Plus_Data>", 0, 0,
     "v=1 c=~ F(B,0)"},
    {"unknown root element", "<Other version=\"1\"><DataField name=\"A\"/></Other>", 0, 0, "none"},
    {"comment and field at any depth",
     "<SVF_Plus_Data version=\"1\"><DataField name=\"A\"><Comment>deep</Comment></DataField></SVF_Plus_Data>", 0,
     0, "v=1 c=deep F(A,0)"},
    {"second root element",
     "<SVF_Plus_Data version=\"1\"><DataField name=\"A\"/><SVF_Plus_Data version=\"2\"/>"
     "<SVF_Plus_Data version=\"3\"></SVF_Plus_Data></SVF_Plus_Data>",
     SVF_ERR_MODEL, 2, "v=1 c=~ F(A,0)"},
    {"field block in the root after a field",
     "<SVF_Plus_Data version=\"1\"><DataField name=\"A\"/><FieldBlock row_width=\"8\">0x11</FieldBlock></SVF_Plus_Data>",
     SVF_ERR_NESTING, 2, "v=1 c=~ F(A,0)"},
    {"field block in the root without a field",
     "<SVF_Plus_Data version=\"1\"><FieldBlock row_width=\"8\">0x11</FieldBlock></SVF_Plus_Data>", SVF_ERR_NO_FIELD,
     2, "v=1 c=~"},
    {"bad row inside field inside root",
     "<SVF_Plus_Data version=\"1\"><DataField name=\"A\"><FieldBlock row_width=\"8\">0x11,0x2g</FieldBlock>"
     "</DataField><DataField name=\"B\"/></SVF_Plus_Data>",
     SVF_ERR_MODEL, 3, "v=1 c=~ F(A,0) B8[0x11,0x]"},
    {"failing empty field block is dropped",
     "<SVF_Plus_Data version=\"1\"><FieldBlock row_width=\"8\"/><DataField name=\"A\"/></SVF_Plus_Data>", 0, 0,
     "v=1 c=~ F(A,0)"},
    {"empty unknown element ends the field's children",
     "<SVF_Plus_Data version=\"1\"><DataField name=\"A\"><Other/><FieldBlock row_width=\"8\">0x11</FieldBlock>"
     "</DataField></SVF_Plus_Data>",
     SVF_ERR_NESTING, 2, "v=1 c=~ F(A,0)"},
    {"empty unknown element as last child ends the root's loop",
     "<SVF_Plus_Data version=\"1\"><DataField name=\"A\"><Other/></DataField><DataField name=\"B\"/></SVF_Plus_Data>",
     0, 0, "v=1 c=~ F(A,0)"},
    {"comment before any model", "<Comment>early</Comment>", SVF_ERR_NO_MODEL, 1, "none"},
    {"data field before any model", "<DataField name=\"A\"><FieldBlock row_width=\"8\">0x11</FieldBlock></DataField>",
     SVF_ERR_NO_MODEL, 1, "none"},
    {"field block before any model", "<FieldBlock row_width=\"8\">0x11</FieldBlock>", SVF_ERR_NO_MODEL, 1, "none"},
    {"empty element before any model", "<DataField name=\"A\"/>", 0, 0, "none"},
    {"mismatched end tag",
     "<SVF_Plus_Data version=\"1\"><DataField name=\"A\"></FieldBlock></SVF_Plus_Data>", XML_ERR_MISMATCHED_END_TAG,
     3, "v=1 c=~ F(A,0)"},
};
}

TEST(ReaderDocuments, ResultsReportsAndWhatStays)
{
    int n = 0;
    for (const DocumentCase& c : kDocuments)
    {
        ReadOutcome got = ReadDocument(std::string(kProlog) + c.body, "doc" + std::to_string(n++));
        EXPECT_EQ(c.result, got.result) << c.what << "\n" << got.messages;
        EXPECT_EQ(std::string(c.summary), got.summary) << c.what;
        // The parser's own failure is recorded once by the parser, then by each level above.
        EXPECT_EQ(c.reports, got.reports) << c.what << "\n" << got.messages;
    }
}

TEST(ReaderDocuments, ReportsNameTheDocumentAndTheCode)
{
    ReadOutcome got = ReadDocument(std::string(kProlog) +
                                       "<SVF_Plus_Data version=\"1\">\n<DataField name=\"A\">\n"
                                       "<FieldBlock row_width=\"8\">0x1</FieldBlock>\n"
                                       "<FieldBlock row_width=\"8\">0xZZ</FieldBlock></DataField></SVF_Plus_Data>",
                                   "messages");
    EXPECT_EQ(SVF_ERR_MODEL, got.result);
    EXPECT_EQ(3, got.reports);
    EXPECT_NE(std::string::npos, got.messages.find("in.xml")) << got.messages;
    EXPECT_NE(std::string::npos, got.messages.find("line 6")) << got.messages;
    EXPECT_NE(std::string::npos, got.messages.find("-1)")) << got.messages;
}

TEST(ReaderDocuments, ModelAttachedBeforeReadMakesTheRootFail)
{
    std::string dir = ScratchDir("reader/attached");
    WriteBytes(dir + "/in.xml", std::string(kProlog) + "<SVF_Plus_Data version=\"9\"></SVF_Plus_Data>");
    RODAzivUzirAdovIzozari handler;
    ASSERT_EQ(0, handler.InitSvfPlusDataFile("in.xml", dir.c_str(), "read"));
    SVFPlusData attached;
    attached.SetVersion("attached");
    handler.SetSVFPlusData(&attached);
    EXPECT_EQ(SVF_ERR_MODEL, handler.Read());
    EXPECT_EQ(1, handler.GetErrorHandler()->GetReportCount());
    EXPECT_EQ("v=attached c=~", Summary(handler.GetSVFPlusData()));
}

TEST(ReaderDocuments, ReadWithoutReadModeOpenFails)
{
    RODAzivUzirAdovIzozari handler;
    EXPECT_LT(handler.Read(), 0);
    EXPECT_EQ(nullptr, handler.GetSVFPlusData());
}

namespace
{
struct RowCase
{
    const char* text;   // the FieldBlock's text
    const char* width;  // the row_width attribute, or null for none
    int result;
    const char* rows;   // the block as Summary shows it, or "" for no block
};

const RowCase kRows[] = {
    {"0x12,0x34", "8", 0, " B8[0x12,0x34]"},
    {"\n\t\t\t0x12\n\t\t\t  34\n\t\t", "16", 0, " B16[0x1234]"},
    {"0x12 34", "16", 0, " B16[0x1234]"},
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
    {"(FF*4294967297)", "24", 0, " B24[0xFFFFFF]"},
    {"((AB*65536)*65536)", "32", 0, " B32[0xABABABAB]"},
    {"(5A*99999999999999999999999999999)", "8", 0, " B8[0x5A]"},
    {"(C3*4)", "2147483647", 0, " B2147483647[0xC3C3C3C3]"},
    {"(FF*2147483647)", "-2147483648", 0, " B-2147483648[0x]"},
    // Widths beyond the int range saturate, as strtol clamps, instead of wrapping.
    {"0x12", "4294967304", 0, " B2147483647[0x12]"},
    {"0x12", "-4294967304", 0, " B-2147483648[0x12]"},
    {"(FF*3)", "99999999999999999999999", 0, " B2147483647[0xFFFFFF]"},
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
        std::string text = c.text;
        std::string document = std::string(kProlog) + "<SVF_Plus_Data version=\"1\"><DataField name=\"A\">" + block +
                               text + "</FieldBlock></DataField></SVF_Plus_Data>";
        ReadOutcome got = ReadDocument(document, "row" + std::to_string(n++));
        EXPECT_EQ(c.result, got.result) << "'" << c.text << "'\n" << got.messages;
        EXPECT_EQ(std::string("v=1 c=~ F(A,0)") + c.rows, got.summary) << "'" << c.text << "'";
    }
}
