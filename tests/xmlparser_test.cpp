// Tests of the XML parser base and its node class.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "../platform/xmlparser/XMLWindow.h"   // the window's normal size

using testsupport::Repeat;
using testsupport::WriteBytes;

namespace
{
const int kRefused = -38;

// A parser with its protected operations opened up, hooks that refuse chosen names
// and a record of the hook calls.
class ProbeParser : public XMLParser
{
public:
    using XMLParser::EnableSkipInvalidElement, XMLParser::GetDefaultDir, XMLParser::GetDTD, XMLParser::GetXMLFilename,
        XMLParser::Initialize, XMLParser::InitializeSource, XMLParser::IsDigit, XMLParser::ProcessException,
        XMLParser::Scan, XMLParser::ScanProlog, XMLParser::SetDTD, XMLParser::Skip;

    std::set<std::string> refuseStart, refuseEnd;
    std::vector<std::string> hooks;
    int initResult = 0, initCalls = 0;

    int OnSetStartTag() override
    {
        std::string name = m_pStartTag->GetNodeName();
        hooks.push_back("s:" + name);
        if (refuseStart.count(name))
            return kRefused;
        m_pStartTag->SetNodeEnumValue(1000 + name.size());
        return 0;
    }
    int OnSetEndTag() override
    {
        hooks.push_back(std::string("e:") + m_pEndTag->GetNodeName());
        return refuseEnd.count(m_pEndTag->GetNodeName()) ? kRefused : 0;
    }
    int OnInitialize() override
    {
        ++initCalls;
        return initResult;
    }

    std::string Content() const
    {
        std::string text;
        for (unsigned int i = 0; i < m_pContent->GetTotalSize(); ++i)
            text += (char)m_pContent->ReadData((int)i);
        return text;
    }
    int Open(const char* file) { return Initialize(file, "", "read"); }
};

const char* const kDoc = "xmlparser_tmp.xml";

// The suite's temporary document goes when the suite ends.
struct RemoveTemporaryDocument : ::testing::Environment
{
    void TearDown() override { remove(kDoc); }
};
::testing::Environment* const g_pRemoveTemporaryDocument =
    ::testing::AddGlobalTestEnvironment(new RemoveTemporaryDocument);

std::string X(int code)
{
    return "X" + std::to_string(code);
}
std::string P(int code)
{
    return "P" + std::to_string(code);
}

std::string DescribeNode(char kind, XMLNode* node)
{
    std::string text = std::string(1, kind) + ":" + node->GetNodeName();
    for (int i = 0; i < node->GetAttributeCount(); ++i)
        text += std::string(i ? "," : "[") + node->GetAttributeName(i) + "=" + node->GetAttributeValue(i);
    return node->GetAttributeCount() > 0 ? text + "]" : text;
}

// The tag a Scan result of XML_SCAN_TAG set, with its attributes and {content}.
std::string Current(ProbeParser& parser)
{
    std::string out = parser.GetStartTag()   ? DescribeNode('S', parser.GetStartTag())
                      : parser.GetEmptyTag() ? DescribeNode('M', parser.GetEmptyTag())
                                             : DescribeNode('E', parser.GetEndTag());
    return parser.Content().empty() ? out : out + "{" + parser.Content() + "}";
}

// Scans the whole document and describes every result: S/M/E for a start, empty or end
// tag (with attributes and {content}), K for XML_SCAN_SKIP (a refused start tag is then
// skipped), N for XML_SCAN_NOTHING, X<code> for a failure, P<code> for a prolog failure.
// Checks on the way what every result promises about the tag members and reports.
std::string Trace(ProbeParser& parser)
{
    int result = parser.ScanProlog();
    if (result < 0)
        return P(result);
    ErrorHandler* errors = parser.GetErrorHandler();
    std::string out;
    for (int step = 0; step < 3000; ++step, out += "|")
    {
        int reports = errors->GetReportCount();
        result = parser.Scan();
        int set = (parser.GetStartTag() != 0) + (parser.GetEndTag() != 0) + (parser.GetEmptyTag() != 0);
        if (result < 0 || result == XML_SCAN_NOTHING)
        {
            // A failure comes with one report; it and the end repeat without another.
            EXPECT_EQ(set, 0) << out;
            EXPECT_EQ(errors->GetReportCount(), reports + (result < 0)) << out;
            EXPECT_EQ(parser.Scan(), result) << out;
            EXPECT_EQ(errors->GetReportCount(), reports + (result < 0)) << out;
            return out + (result < 0 ? X(result) : "N");
        }
        if (result == XML_SCAN_SKIP)
        {
            EXPECT_LE(set, 1);
            out += "K";
            if (parser.GetEmptyTag())
                out += ":" + DescribeNode('M', parser.GetEmptyTag());
            if (!parser.GetStartTag())
                continue;
            out += ":" + DescribeNode('S', parser.GetStartTag());
            int skipped = parser.Skip(parser.GetStartTag());
            if (skipped != 0)
            {
                reports = errors->GetReportCount();
                EXPECT_EQ(parser.Scan(), skipped) << "a failure of Skip repeats";
                EXPECT_EQ(errors->GetReportCount(), reports);
                return out + ">" + std::to_string(skipped);
            }
            continue;
        }
        EXPECT_EQ(result, XML_SCAN_TAG);
        EXPECT_EQ(set, 1) << out;
        EXPECT_EQ(errors->GetReportCount(), reports) << out;
        EXPECT_GT(parser.GetLine(), 0);
        out += Current(parser);
    }
    return out + "...";
}

// The trace of `doc` read from its file; read from memory and a byte at a time, named
// as the file, it must give the same trace and the same reports.
std::string TraceDocument(const std::string& doc, bool skip = false, std::set<std::string> refuseStart = {},
                          std::set<std::string> refuseEnd = {})
{
    WriteBytes(kDoc, doc);
    UtMemorySource memory(doc.data(), doc.size());
    testsupport::PulledSource pulled(doc);
    std::string traces[3], reports[3];
    for (int way = 0; way < 3; ++way)
    {
        ProbeParser parser;
        if (skip)
            parser.EnableSkipInvalidElement();
        parser.refuseStart = refuseStart;
        parser.refuseEnd = refuseEnd;
        EXPECT_EQ(way == 0 ? parser.Open(kDoc)
                           : parser.InitializeSource(way == 1 ? (UtByteSource*)&memory : &pulled.source, kDoc),
                  0);
        traces[way] = Trace(parser);
        reports[way] = testsupport::Reports(parser);
    }
    EXPECT_EQ(traces[0], traces[1]) << "from memory";
    EXPECT_EQ(traces[0], traces[2]) << "a byte at a time";
    EXPECT_EQ(reports[0], reports[1]) << "from memory";
    EXPECT_EQ(reports[0], reports[2]) << "a byte at a time";
    return traces[0];
}
}

// Well-formed and malformed documents, prolog and content, with the trace of each.
TEST(XMLParserScan, Documents)
{
    const std::string root = "<r/>";
    const int deepest = XML_MAX_DEPTH;
    std::string many = "<r", described = "M:r";   // 3000 attributes
    for (int i = 0; i < 3000; ++i)
    {
        many += " a" + std::to_string(i) + "='" + std::to_string(i) + "'";
        described += (i ? ",a" : "[a") + std::to_string(i) + "=" + std::to_string(i);
    }
    // clang-format off
    const struct { const char* what; std::string doc, expected; } table[] = {
        {"single empty root", "<r/>", "M:r|N"},
        {"root with text", "<r>hi</r>", "S:r{hi}|E:r|N"},
        {"attributes, both quotes", "<r a=\"1\" b='two'/>", "M:r[a=1,b=two]|N"},
        {"white space and line breaks around '='", "<r a \n=\r\n '1'\tb\t=\"2\"\n></r>", "S:r[a=1,b=2]|E:r|N"},
        {"values hold <, >, & and the other quote", "<r a=\"<&>'\" b='\"x\"'/>", "M:r[a=<&>',b=\"x\"]|N"},
        {"values kept as written", "<r a=\"&amp; &#65;\"/>", "M:r[a=&amp; &#65;]|N"},
        {"nested elements; text after a child is nobody's", "<r>a<b>c</b>d<e/>f</r>", "S:r{a}|S:b{c}|E:b|M:e|E:r|N"},
        {"end tag with white space", "<r><a></a\n></r >", "S:r|S:a|E:a|E:r|N"},
        {"name characters", "<_x:y-z.1 _a.b-c:d='v'/>", "M:_x:y-z.1[_a.b-c:d=v]|N"},
        {"references stay raw", "<r>&lt;&amp;&#x41;&unknown;</r>", "S:r{&lt;&amp;&#x41;&unknown;}|E:r|N"},
        {"CR LF and tabs kept", "<r>\r\n\tx\r\n</r>", "S:r{\r\n\tx\r\n}|E:r|N"},
        {"CDATA inner text", "<r>a<![CDATA[<b>&x;]]]>c</r>", "S:r{a<b>&x;]c}|E:r|N"},
        {"comments and PIs left out", "<r>a<!-- c -->b<?pi x?>c<!---->d</r>", "S:r{abcd}|E:r|N"},
        {"comments between tags", "<r><!--x--><a/><?p?></r>", "S:r|M:a|E:r|N"},
        {"nothing after the root is read", "<r/>junk <<<!", "M:r|N"},
        {"second root is not read", "<r></r><s>", "S:r|E:r|N"},
        {"NUL byte in text", std::string("<r>a\0b</r>", 10), "X-119"},
        {"3000 attributes", many + "/>", described + "]|N"},
        // An empty-element tag counts as one nesting level too.
        {"elements to the deepest level", Repeat("<e>", deepest) + Repeat("</e>", deepest),
         Repeat("S:e|", deepest) + Repeat("E:e|", deepest) + "N"},
        {"an empty element at the deepest level", Repeat("<e>", deepest - 1) + "<x/>" + Repeat("</e>", deepest - 1),
         Repeat("S:e|", deepest - 1) + "M:x|" + Repeat("E:e|", deepest - 1) + "N"},
        {"elements one level deeper", Repeat("<e>", deepest + 1), Repeat("S:e|", deepest) + X(XML_ERR_TOO_DEEP)},
        {"an empty element one level deeper", Repeat("<e>", deepest) + "<x/>",
         Repeat("S:e|", deepest) + X(XML_ERR_TOO_DEEP)},
        {"a duplicate among 3000 attributes", many + " a1777='x'/>", X(XML_ERR_DUPLICATE_ATTRIBUTE)},
        {"mismatched end tag", "<r><a></b></r>", "S:r|S:a|" + X(XML_ERR_MISMATCHED_END_TAG)},
        {"duplicate attribute", "<r a='1' a='2'/>", X(XML_ERR_DUPLICATE_ATTRIBUTE)},
        {"attribute without '='", "<r a '1'/>", X(XML_ERR_BAD_ATTRIBUTE)},
        {"attribute without value", "<r a>", X(XML_ERR_BAD_ATTRIBUTE)},
        {"unquoted value", "<r a=1>", X(XML_ERR_BAD_ATTRIBUTE)},
        {"no white space between attributes", "<r a='1'b='2'/>", X(XML_ERR_BAD_ATTRIBUTE)},
        {"value without name", "<r ='1'>", X(XML_ERR_BAD_ATTRIBUTE)},
        {"bad attribute name", "<r $='1'>", X(XML_ERR_BAD_NAME)},
        {"bad element name", "<r><1a/></r>", "S:r|" + X(XML_ERR_BAD_MARKUP)},
        {"bad end tag name", "<r></ r>", "S:r|" + X(XML_ERR_BAD_NAME)},
        {"junk in end tag", "<r></r x>", "S:r|" + X(XML_ERR_BAD_MARKUP)},
        {"'/' not before '>'", "<r/ >", X(XML_ERR_BAD_MARKUP)},
        {"tag cut by '<'", "<r><a b='1' <c/></r>", "S:r|" + X(XML_ERR_BAD_MARKUP)},
        {"'<!' of nothing", "<r><!x></r>", "S:r|" + X(XML_ERR_BAD_MARKUP)},
        {"DOCTYPE inside the root", "<r><!DOCTYPE r></r>", "S:r|" + X(XML_ERR_BAD_MARKUP)},
        {"'--' inside a comment", "<r><!-- a -- b --></r>", "S:r|" + X(XML_ERR_BAD_MARKUP)},
        {"'<?' without target", "<r><? x?></r>", "S:r|" + X(XML_ERR_BAD_MARKUP)},
        {"xml declaration in content", "<r><?xml version='1.0'?></r>", "S:r|" + X(XML_ERR_BAD_MARKUP)},
        {"ends with open elements", "<r><a></a>", "S:r|S:a|E:a|" + X(XML_ERR_UNEXPECTED_END)},
        {"ends inside a tag", "<r><a b='1", "S:r|" + X(XML_ERR_UNEXPECTED_END)},
        {"ends right after '<'", "<r><", "S:r|" + X(XML_ERR_UNEXPECTED_END)},
        // The end of the document is reported after the last text was handed out.
        {"ends inside text", "<r>\n<a k='v'>partial\ntext",
         "S:r{\n}|S:a[k=v]{partial\ntext}|" + X(XML_ERR_UNEXPECTED_END)},
        {"ends inside a comment", "<r>ab<!-- c", "S:r{ab}|" + X(XML_ERR_UNEXPECTED_END)},
        {"ends inside CDATA", "<r><![CDATA[ab", "S:r{ab}|" + X(XML_ERR_UNEXPECTED_END)},
        {"byte order mark", "\xEF\xBB\xBF<?xml version='1.0'?>" + root, "M:r|N"},
        {"no declaration", "\n\n" + root, "M:r|N"},
        {"full declaration, single quotes", "<?xml version='1.0' encoding='utf-8' standalone='yes' ?>" + root, "M:r|N"},
        {"declaration, CR LF", "<?xml version=\"1.0\"?>\r\n<!-- c -->\r\n" + root, "M:r|N"},
        {"DOCTYPE SYSTEM, written form",
         "<?xml version='1.0' encoding='utf-8' ?>\n<!DOCTYPE\t\tr\tSYSTEM\t\"r.dtd\" >\n" + root, "M:r|N"},
        {"DOCTYPE PUBLIC", "<!DOCTYPE r PUBLIC \"-//x//y\" 'r.dtd'>" + root, "M:r|N"},
        {"internal subset",
         "<!DOCTYPE r [\n <!ELEMENT r (#PCDATA)>\n <!ATTLIST r a CDATA \"]>\">\n"
         " <!-- ] > --> <?pi ]>?> %pe; <!ENTITY e '<x>'>\n]>\n" +
             root,
         "M:r|N"},
        {"comments and PIs", "<?xml version='1.0'?><!--a--><?p q?><!DOCTYPE r><!--b-->" + root, "M:r|N"},
        {"empty document", "", P(XML_ERR_NO_ROOT)},
        {"white space only", " \r\n\t", P(XML_ERR_NO_ROOT)},
        {"comment only", "<!-- x -->", P(XML_ERR_NO_ROOT)},
        {"text before root", "hello" + root, P(XML_ERR_NO_ROOT)},
        {"end tag before root", "</r>", P(XML_ERR_NO_ROOT)},
        {"declaration not first", " <?xml version='1.0'?>" + root, P(XML_ERR_BAD_PROLOG)},
        {"declaration after BOM and comment", "\xEF\xBB\xBF<!--c--><?xml version='1.0'?>" + root,
         P(XML_ERR_BAD_PROLOG)},
        {"declaration without version", "<?xml encoding='utf-8'?>" + root, P(XML_ERR_BAD_PROLOG)},
        {"version without a digit after the point", "<?xml version='1.'?>" + root, P(XML_ERR_BAD_PROLOG)},
        {"version not 1.x", "<?xml version='2.0'?>" + root, P(XML_ERR_BAD_PROLOG)},
        {"version with a letter", "<?xml version='1.0a'?>" + root, P(XML_ERR_BAD_PROLOG)},
        {"declaration out of order", "<?xml version='1.0' standalone='no' encoding='x'?>" + root,
         P(XML_ERR_BAD_PROLOG)},
        {"declaration bad standalone", "<?xml version='1.0' standalone='maybe'?>" + root, P(XML_ERR_BAD_PROLOG)},
        {"declaration not closed by ?>", "<?xml version='1.0'>" + root, P(XML_ERR_BAD_PROLOG)},
        {"two DOCTYPEs", "<!DOCTYPE r><!DOCTYPE r>" + root, P(XML_ERR_BAD_PROLOG)},
        {"DOCTYPE without name", "<!DOCTYPE >" + root, P(XML_ERR_BAD_PROLOG)},
        {"DOCTYPE junk", "<!DOCTYPE r junk>" + root, P(XML_ERR_BAD_PROLOG)},
        {"DOCTYPE not closed", "<!DOCTYPE r [ <!ELEMENT r ANY>", P(XML_ERR_UNEXPECTED_END)},
        {"unclosed comment", "<!-- x", P(XML_ERR_UNEXPECTED_END)},
        {"'<!' of nothing", "<!x>" + root, P(XML_ERR_BAD_MARKUP)},
        {"'<' of nothing", "< r/>", P(XML_ERR_BAD_MARKUP)},
    };
    // clang-format on
    for (const auto& c : table)
        EXPECT_EQ(TraceDocument(c.doc), c.expected) << c.what;
}

TEST(XMLParserScan, RefusedElementsAndSkip)
{
    const std::string doc = "<r><a x='1'><b/><a>t</a></a><c/><d>u</d></r>";
    // Skipping on: a refused start tag is skipped whole, nested same-name elements too;
    // a refused empty tag comes with only m_pEmptyTag; a refused end tag with nothing.
    EXPECT_EQ(TraceDocument(doc, true, {"a"}), "S:r|K:S:a[x=1]|M:c|S:d{u}|E:d|E:r|N");
    EXPECT_EQ(TraceDocument(doc, true, {"c"}), "S:r|S:a[x=1]|M:b|S:a{t}|E:a|E:a|K:M:c|S:d{u}|E:d|E:r|N");
    EXPECT_EQ(TraceDocument(doc, true, {}, {"d"}), "S:r|S:a[x=1]|M:b|S:a{t}|E:a|E:a|M:c|S:d{u}|K|E:r|N");
    EXPECT_EQ(TraceDocument(doc, true, {"r"}), "K:S:r|N");
    // Skipping off: the hook's value is the failure.
    EXPECT_EQ(TraceDocument(doc, false, {"a"}), "S:r|" + X(kRefused));
    EXPECT_EQ(TraceDocument(doc, false, {"c"}), "S:r|S:a[x=1]|M:b|S:a{t}|E:a|E:a|" + X(kRefused));
    EXPECT_EQ(TraceDocument(doc, false, {}, {"b"}), "S:r|S:a[x=1]|M:b|S:a{t}|E:a|E:a|M:c|S:d{u}|E:d|E:r|N");
    // Skip still checks what it passes over.
    const std::pair<const char*, int> skipped[] = {{"<r><a><b></c></a></r>", XML_ERR_MISMATCHED_END_TAG},
                                                   {"<r><a><b c='1' c='2'/></a></r>", XML_ERR_DUPLICATE_ATTRIBUTE},
                                                   {"<r><a><b>", XML_ERR_UNEXPECTED_END}};
    for (const auto& c : skipped)
        EXPECT_EQ(TraceDocument(c.first, true, {"a"}), "S:r|K:S:a>" + std::to_string(c.second));

    // Skip takes only the current start tag's element, an accepted one too once its text
    // was gathered, and shows nothing to the hooks. The start hook is shown an empty-element
    // tag as the start tag: the node that then comes out as the empty tag.
    WriteBytes(kDoc, "<r><a/><b>x<c/></b></r>");
    ProbeParser parser;
    ASSERT_EQ(parser.Open(kDoc), 0);
    ASSERT_EQ(parser.Scan(), XML_SCAN_TAG);   // Scan reads the prolog itself
    ASSERT_EQ(parser.Scan(), XML_SCAN_TAG);
    EXPECT_EQ(parser.GetEmptyTag()->GetNodeEnumValue(), 1001u);
    EXPECT_EQ(parser.Skip(parser.GetEmptyTag()), XML_ERR_BAD_SKIP);
    EXPECT_EQ(parser.Skip(nullptr), XML_ERR_BAD_SKIP);
    ASSERT_EQ(parser.Scan(), XML_SCAN_TAG);
    EXPECT_EQ(parser.Skip(parser.GetStartTag()), 0);
    EXPECT_EQ(parser.GetStartTag(), nullptr);
    EXPECT_EQ(Trace(parser), "E:r|N");
    EXPECT_EQ(parser.hooks, (std::vector<std::string>{"s:r", "s:a", "s:b", "e:r"}));
}

TEST(XMLParserScan, PositionsOfTagsAndFailures)
{
    // After `scans` Scan calls: the last result, and the line and column it reports.
    // clang-format off
    const struct { std::string doc; int scans, result; long line, column; } table[] = {
        {"<r>\n  <a x='1'/>", 2, XML_SCAN_TAG, 2, 3},
        {"<r>\r\n\t<a>\r\n</a>", 3, XML_SCAN_TAG, 3, 1},
        {"<r>\n<!--\n\n-->\n   <b>", 2, XML_SCAN_TAG, 5, 4},
        {"<r>\n<a k='v'>partial\ntext", 2, XML_SCAN_TAG, 2, 1},
        {"<r>\n<a k='v'>partial\ntext", 3, XML_ERR_UNEXPECTED_END, 3, 5},
        {"<r>\n\n  <a b='1' b='2'>", 2, XML_ERR_DUPLICATE_ATTRIBUTE, 3, 12},
        {"<r>\n<a>\n</b>", 3, XML_ERR_MISMATCHED_END_TAG, 3, 1},
        {"<r>\n<a\n  x>", 2, XML_ERR_BAD_ATTRIBUTE, 3, 4},
        {"<?xml version='1.0'?>\n<!DOCTYPE r>\n\n<!x>", 1, XML_ERR_BAD_MARKUP, 4, 1},
        {"<r>\n\n\n<a><!-- x -- y -->", 3, XML_ERR_BAD_MARKUP, 4, 11},
        // A NUL byte fails where it stands, before anything holding it is handed on,
        // and before a later problem; its place is counted before its window goes.
        {std::string("<r>\n<a x='2\0001'/>", 15), 2, XML_ERR_NUL, 2, 8},
        {std::string("<r>\nab\0c<a/>", 13), 1, XML_ERR_NUL, 2, 3},
        {std::string("<?xml version='1.0'\0?>\n<r/>", 27), 1, XML_ERR_NUL, 1, 20},
        {std::string("<r>\n<a/><!-- \0 -->\n<b/>", 24), 3, XML_ERR_NUL, 2, 10},
        {std::string("<r>\n<a\0 x='1'>", 12), 2, XML_ERR_NUL, 2, 3},
        {"<r>" + std::string(300000, '\n') + std::string("<a>ab\0</a><b", 13), 2, XML_ERR_NUL, 300001, 6},
    };
    // clang-format on
    for (const auto& c : table)
    {
        WriteBytes(kDoc, c.doc);
        ProbeParser parser;
        EXPECT_EQ(parser.ProcessException(-5, ERROR_LIST_DATA_FILE, "out.xml"), -5);   // no place yet
        ASSERT_EQ(parser.Open(kDoc), 0);
        EXPECT_EQ(parser.GetLine(), 0);
        int result = 0;
        for (int i = 0; i < c.scans; ++i)
            result = parser.Scan();
        EXPECT_EQ(result, c.result) << c.doc;
        EXPECT_EQ(parser.GetLine(), c.line) << c.doc;
        EXPECT_EQ(parser.GetColumn(), c.column) << c.doc;
        // A report of the derived class's goes to the same place.
        EXPECT_EQ(parser.ProcessException(-38, ERROR_LIST_DATA_FILE, "x"), -38);
        ErrorHandler* errors = parser.GetErrorHandler();
        ASSERT_EQ(errors->GetReportCount(), result < 0 ? 2 : 1) << c.doc;
        const ErrorReport *first = errors->GetReport(0), *last = errors->GetLastReport();
        EXPECT_EQ(first->GetCode(), result < 0 ? result : -38);
        EXPECT_EQ(first->GetList(), (unsigned long)(result < 0 ? ERROR_LIST_XML_PARSER : ERROR_LIST_DATA_FILE));
        EXPECT_STREQ(first->GetText(), result < 0 ? kDoc : "x");
        EXPECT_EQ(last->GetLine(), c.line) << c.doc;
        EXPECT_EQ(last->GetColumn(), c.column) << c.doc;
    }
}

// A source of a document's bytes that counts the reads that land off the document's
// alignment: where a byte goes, less its offset in the document, is a multiple of
// XMLWindow::kAlign for every read of some size (the system's copy is fastest so).
struct AlignmentProbe : UtByteSource
{
    explicit AlignmentProbe(const std::string& bytes) : doc(bytes) {}
    int Read(char* buffer, size_t capacity, size_t* count) override
    {
        reads += capacity >= 4096 ? 1 : 0;
        misplaced += capacity >= 4096 && ((uintptr_t)buffer - at) % XMLWindow::kAlign != 0 ? 1 : 0;
        *count = std::min(capacity, doc.size() - at);
        memcpy(buffer, doc.data() + at, *count);
        at += *count;
        return 0;
    }
    const std::string& doc;
    size_t at = 0;
    int reads = 0, misplaced = 0;
};

// Every kind of item far larger than the window, read from the file, from memory, in
// pieces of a prime size and through the alignment probe: the window grows for a tag and
// moves under text, comments, CDATA and processing instructions, and lines are counted
// through all of them.
TEST(XMLParserScan, ItemsLargerThanTheWindow)
{
    std::mt19937 rng(12345);
    auto text = [&rng](size_t length, const char* alphabet) {
        std::string t(length, ' ');
        for (char& c : t)
            c = alphabet[rng() % strlen(alphabet)];
        return t;
    };
    const size_t big = 2 * XMLWindow::kSize + 4097;
    const std::string inner = text(big, "ab &;=>'\"]\n\r\t"), cdata = text(big, "d<&]\n"),
                      value = text(12 * XMLWindow::kSize, "v<'>&\n");
    std::string doc = "<?xml version='1.0'?>\n<!DOCTYPE root SYSTEM 'x.dtd'>\n";
    std::vector<std::pair<std::string, std::string>> expected;   // each tag and its place
    auto tag = [&doc, &expected](const std::string& markup, const std::string& event) {
        expected.emplace_back(event, testsupport::PlaceOf(doc, doc.size()));
        doc += markup;
    };
    tag("<root>", "S:root{" + inner + "}");
    doc += inner;
    tag("<a\n v=\"" + value + "\"\tw='x'>", "S:a[v=" + value + ",w=x]{" + inner + cdata + "}");
    doc += inner + "<!--" + text(big, "c <>&\n") + "--><![CDATA[" + cdata + "]]><?pi " + text(big, "p <>\n") + "?>";
    tag("</a>", "E:a");
    doc += inner;
    tag("<b/>", "M:b");
    tag("</root>", "E:root");
    WriteBytes(kDoc, doc);
    UtMemorySource memory(doc.data(), doc.size());
    testsupport::PulledSource pulled(doc, 4093);
    AlignmentProbe aligned(doc);
    UtByteSource* sources[] = {&memory, &pulled.source, &aligned};
    for (int way = 0; way < 4; ++way)
    {
        ProbeParser parser;
        ASSERT_EQ(way == 0 ? parser.Open(kDoc) : parser.InitializeSource(sources[way - 1], "doc"), 0);
        for (const auto& e : expected)
        {
            ASSERT_EQ(parser.Scan(), XML_SCAN_TAG) << e.second << ", way " << way;
            EXPECT_TRUE(Current(parser) == e.first) << e.second << ", way " << way;
            EXPECT_EQ(std::to_string(parser.GetLine()) + ":" + std::to_string(parser.GetColumn()), e.second)
                << "way " << way;
        }
        EXPECT_EQ(parser.Scan(), XML_SCAN_NOTHING);
        EXPECT_EQ(parser.GetErrorHandler()->GetReportCount(), 0);
    }
    // The window grew for the large items and came back to its size, and every read of a
    // page or more landed aligned with the document.
    EXPECT_GT(aligned.reads, 10);
    EXPECT_EQ(aligned.misplaced, 0);
}

TEST(XMLParserScan, EveryConstructAcrossTheWindowEdge)
{
    // The first refill happens exactly one window into the file; slide a probe with
    // every kind of markup over that edge, one byte at a time.
    const std::string probe = "<a b='1'\n c=\"2\">t<!--c--><![CDATA[d]]><?p q?>u</a\n><e/>";
    for (size_t before = 0; before <= probe.size() + 1; ++before)
    {
        std::string pad(XMLWindow::kSize - 3 - probe.size() - 1 + before, 'x');
        EXPECT_EQ(TraceDocument("<r>" + pad + probe + "</r>"), "S:r{" + pad + "}|S:a[b=1,c=2]{tdu}|E:a|M:e|E:r|N")
            << before;
    }
}

TEST(XMLParserInitialize, ArgumentsAndFiles)
{
    WriteBytes(kDoc, "<r/>");
    const char* missing = "xmlparser_no_such_file.xml";
    // readable: ScanProlog succeeds afterwards. (Which modes write: handler_object_test.)
    // clang-format off
    const struct { const char *file, *dir, *mode; int hookResult, expected; bool readable, hookCalled; } table[] = {
        {kDoc, "", "read", 0, 0, true, true},
        {kDoc, "some\\dir", 0, 0, 0, true, true},
        {missing, "", "write", 0, 0, false, true},      // no document is opened for writing
        {missing, "", "read", 0, XML_ERR_OPEN, false, true},
        {missing, "", "read", -7, -7, false, true},     // the hook runs before the open
        {0, "", "read", 0, XML_ERR_BAD_ARGUMENT, false, false},
        {"", "", "read", 0, XML_ERR_BAD_ARGUMENT, false, false},
    };
    // clang-format on
    for (const auto& c : table)
    {
        ProbeParser parser;
        parser.ProcessException(-1, ERROR_LIST_XML_PARSER, "earlier");
        parser.initResult = c.hookResult;
        std::string what = std::string(c.file ? c.file : "(null)") + " " + (c.mode ? c.mode : "(null)");
        EXPECT_EQ(parser.Initialize(c.file, c.dir, c.mode), c.expected) << what;
        EXPECT_EQ(parser.initCalls, c.hookCalled ? 1 : 0) << what;
        bool failed = c.expected == XML_ERR_OPEN || c.expected == XML_ERR_BAD_ARGUMENT;
        const ErrorHandler* errors = parser.GetErrorHandler();
        ASSERT_EQ(errors->GetReportCount(), failed ? 1 : 0) << "earlier reports are dropped: " << what;
        if (failed)
        {
            EXPECT_EQ(errors->GetLastReport()->GetCode(), c.expected);
            EXPECT_STREQ(errors->GetLastReport()->GetText(), c.file ? c.file : "");
        }
        EXPECT_STREQ(parser.GetXMLFilename(), c.file && *c.file ? c.file : nullptr);
        EXPECT_STREQ(parser.GetDefaultDir(), c.dir && *c.dir && c.expected != XML_ERR_BAD_ARGUMENT ? c.dir : nullptr);
        EXPECT_EQ(parser.ScanProlog(), c.readable ? 0 : XML_ERR_NOT_OPEN) << what;
        EXPECT_EQ(parser.Scan(), c.readable ? (int)XML_SCAN_TAG : (int)XML_ERR_NOT_OPEN) << what;
    }
}

// Settings (the skip switch, the folder, the document type path, a copy of the caller's)
// and reports go to copies, which start the document afresh, as initialising again does;
// and the character classes offered to derived classes.
TEST(XMLParserSettings, CopiesStartTheDocumentAfresh)
{
    WriteBytes(kDoc, "<r><a>x</a><b/></r>");
    ProbeParser original;
    original.EnableSkipInvalidElement();
    original.refuseStart = {"b"};
    ASSERT_EQ(original.Initialize(kDoc, "d", "read"), 0);
    char dtd[] = "no\\such\\t.dtd";
    EXPECT_EQ(original.SetDTD(nullptr), XML_ERR_BAD_ARGUMENT);
    EXPECT_EQ(original.SetDTD(""), XML_ERR_BAD_ARGUMENT);
    ASSERT_EQ(original.SetDTD(dtd), 0);   // the file need not exist
    dtd[0] = 'X';
    ASSERT_EQ(original.Scan(), XML_SCAN_TAG);
    ASSERT_EQ(original.Scan(), XML_SCAN_TAG);

    ProbeParser copy(original), assigned;
    assigned = original;
    for (ProbeParser* p : {&copy, &assigned})
    {
        EXPECT_STREQ(p->GetDefaultDir(), "d");
        EXPECT_STREQ(p->GetDTD(), "no\\such\\t.dtd");
        EXPECT_NE(p->GetDTD(), original.GetDTD());
        EXPECT_EQ(p->GetErrorHandler()->GetReportCount(), 2);
        EXPECT_EQ(p->GetStartTag(), nullptr);
        EXPECT_EQ(Trace(*p), "S:r|S:a{x}|E:a|K:M:b|E:r|N");
    }
    // The original goes on where it was. Initialising again drops the open document: the
    // parser's own name and directory handed back start the same document afresh.
    ASSERT_EQ(original.Scan(), XML_SCAN_TAG);
    EXPECT_STREQ(original.GetEndTag()->GetNodeName(), "a");
    ASSERT_EQ(original.Initialize(original.GetXMLFilename(), original.GetDefaultDir(), "read"), 0);
    EXPECT_STREQ(original.GetXMLFilename(), kDoc);
    EXPECT_STREQ(original.GetDefaultDir(), "d");
    EXPECT_EQ(original.GetLine(), 0);
    EXPECT_EQ(Trace(original), "S:r|S:a{x}|E:a|K:M:b|E:r|N");
    ProbeParser unopened, unopenedCopy(unopened);
    EXPECT_EQ(unopened.GetDTD(), nullptr);
    EXPECT_EQ(unopenedCopy.Scan(), XML_ERR_NOT_OPEN);

    // A source is read once: a copy of a parser reading one holds no document, and the
    // original goes on where it was.
    const std::string doc = "<r><a/></r>";
    UtMemorySource memory(doc.data(), doc.size());
    ProbeParser reading;
    ASSERT_EQ(reading.InitializeSource(&memory, "<memory>"), 0);
    ASSERT_EQ(reading.Scan(), XML_SCAN_TAG);
    ProbeParser sourceCopy(reading), sourceAssigned;
    sourceAssigned = reading;
    for (ProbeParser* p : {&sourceCopy, &sourceAssigned})
    {
        EXPECT_STREQ(p->GetXMLFilename(), "<memory>");
        EXPECT_EQ(p->Scan(), XML_ERR_NOT_OPEN);
        EXPECT_EQ(p->GetErrorHandler()->GetReportCount(), 1);
    }
    EXPECT_EQ(Trace(reading), "M:a|E:r|N");
    for (int c = -128; c < 128; ++c)
        EXPECT_EQ(XMLParser::IsWhiteSpace((char)c) + 2 * reading.IsDigit((char)c),
                  (c != 0 && strchr(" \t\n\r", c) != nullptr) + 2 * (c >= '0' && c <= '9'))
            << c;
}

TEST(XMLNodeTest, AttributesAndName)
{
    XMLNode node;
    EXPECT_EQ(DescribeNode('M', &node), "M:");
    EXPECT_EQ(node.GetAttributeName(0), nullptr);
    EXPECT_EQ(node.GetNodeAttributeValue(nullptr), nullptr);
    node.SetNodeName("DataField");
    EXPECT_EQ(node.AddAttribute("name", "F1"), 0);
    EXPECT_EQ(node.AddAttribute("named", 4, "xyz", 2), 1);   // lengths bound the copies
    EXPECT_EQ(node.AddAttribute(nullptr, nullptr), 2);
    EXPECT_EQ(DescribeNode('M', &node), "M:DataField[name=F1,name=xy,=]");
    EXPECT_STREQ(node.GetNodeAttributeValue("name"), "F1");
    EXPECT_EQ(node.GetNodeAttributeValue("nam"), nullptr);
    EXPECT_EQ(node.GetAttributeValue(3), nullptr);
    EXPECT_EQ(node.GetAttributeValue(-1), nullptr);

    // Renaming keeps the attributes, even when the new name is one of the node's texts.
    node.SetNodeName(node.GetAttributeValue(0));
    EXPECT_EQ(DescribeNode('M', &node), "M:F1[name=F1,name=xy,=]");
    // Texts of the node's own area survive the area's growth.
    for (int i = 0; i < 200; ++i)
        node.AddAttribute(node.GetNodeName(), node.GetAttributeValue(i));
    EXPECT_STREQ(node.GetAttributeName(202), "F1");
    EXPECT_STREQ(node.GetAttributeValue(202), "xy");   // a copy of attribute 199, 196, ... 1

    node.SetNodeEnumValue(1002);
    const std::string whole = DescribeNode('M', &node);
    XMLNode copy(node), assigned;
    assigned = node;
    node.Clear();
    EXPECT_EQ(DescribeNode('M', &node) + std::to_string(node.GetNodeEnumValue()), "M:0");
    for (XMLNode* n : {&copy, &assigned})
        EXPECT_EQ(DescribeNode('M', n) + std::to_string(n->GetNodeEnumValue()), whole + "1002");
}
