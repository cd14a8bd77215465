// The libxml2 pass of `rizeroz check`: well-formedness as libxml2 judges it, and validity
// against the installed document type. The document is handed to libxml2 by its file
// descriptor and parsed without network access, entity substitution or loading of the
// document type the document names; an external entity loader that refuses everything
// makes sure nothing else is opened. Built only with libxml2, which the Windows build lacks.
#include "XmlCheck.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <map>

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/valid.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlIO.h>

#include "UtUtility.h"

namespace
{
// One remark of libxml2, as it came.
struct Remark
{
    int level;
    long line;
    long column;
    std::string message;
    const void* node;      // the element a validity remark is about
    std::string element;   // its name
};

void Collect(void* data, xmlErrorPtr error)
{
    if (data == nullptr || error == nullptr)
        return;
    Remark remark = {(int)error->level, error->line,
                     error->int2,       error->message != nullptr ? error->message : "libxml2 gives no words for this",
                     nullptr,           ""};
    while (!remark.message.empty() && (remark.message.back() == '\n' || remark.message.back() == ' '))
        remark.message.pop_back();
    xmlNodePtr node = (xmlNodePtr)error->node;
    if (node != nullptr && node->type == XML_ELEMENT_NODE)
    {
        remark.node = node;
        remark.element = node->name != nullptr ? (const char*)node->name : "";
        remark.line = xmlGetLineNo(node);
        remark.column = 0;
    }
    // libxml2 repeats an error at each level of nested entities it unwinds: once is enough.
    std::vector<Remark>& remarks = *static_cast<std::vector<Remark>*>(data);
    if (!remarks.empty() && remarks.back().line == remark.line && remarks.back().column == remark.column &&
        remarks.back().message == remark.message)
        return;
    remarks.push_back(remark);
}

// The tree libxml2 builds of the document is kept small. Validity against a document type
// asks of a text only whether it holds anything but white space, never what it says, so a
// text node keeps its first character that is not white space, or one blank if it has
// none; a CDATA section keeps its first character. A data file's rows, nearly all of its
// bytes, are thus never held as a tree beside the model the reader has just read.
void ShortText(void* parser, const xmlChar* text, int length)
{
    xmlNodePtr parent = ((xmlParserCtxtPtr)parser)->node;
    xmlNodePtr last = parent != nullptr ? parent->last : nullptr;
    bool afterText = last != nullptr && last->type == XML_TEXT_NODE;
    // libxml2 adds the characters to a text node just before; one that is not blank takes no more.
    if (afterText && !xmlIsBlankNode(last))
        return;
    int at = 0;
    while (at < length && util_IsWhiteSpace((char)text[at]))
        ++at;
    if (at < length)
        xmlSAX2Characters(parser, text + at, 1);
    else if (!afterText && length > 0)
        xmlSAX2Characters(parser, text, 1);
}

void ShortSection(void* parser, const xmlChar* text, int length)
{
    xmlNodePtr parent = ((xmlParserCtxtPtr)parser)->node;
    xmlNodePtr last = parent != nullptr ? parent->last : nullptr;
    if (last == nullptr || last->type != XML_CDATA_SECTION_NODE)
        xmlSAX2CDataBlock(parser, text, length > 0 ? 1 : 0);
}

// libxml2 parses with its size limits lifted (XML_PARSE_HUGE), as a data file's texts pass
// them, and the limits bound entity expansion as well: once the document declares an
// entity, they stand again, so that nested entities end in libxml2's error at the
// reference instead of expanding without bound.
void DeclareEntity(void* parser, const xmlChar* name, int type, const xmlChar* publicId, const xmlChar* systemId,
                   xmlChar* content)
{
    ((xmlParserCtxtPtr)parser)->options &= ~XML_PARSE_HUGE;
    xmlSAX2EntityDecl(parser, name, type, publicId, systemId, content);
}

// The column of the `n`-th (from 0) start tag `open` ("<name") on the line `text`; 1 when
// there is none.
long ColumnOf(const std::string& text, const std::string& open, size_t n)
{
    size_t at = 0;
    for (size_t i = 0;; ++i, ++at)
    {
        while ((at = text.find(open, at)) != std::string::npos && at + open.size() < text.size() &&
               util_IsXMLNameChar(text[at + open.size()]))
            ++at;
        if (at == std::string::npos)
            return 1;
        if (i == n)
            return (long)at + 1;
    }
}

// libxml2 places validity remarks by line only: the column of the start tag they concern
// is found on that line, the n-th "<name" for the n-th element of that name there.
void PlaceValidityRemarks(const std::string& path, std::vector<Remark>& remarks)
{
    std::map<long, std::vector<Remark*>> byLine;
    for (Remark& remark : remarks)
        if (remark.node != nullptr && remark.line > 0)
            byLine[remark.line].push_back(&remark);
    std::ifstream file(byLine.empty() ? std::string() : path, std::ios::binary);
    std::string text;
    long number = 1;
    for (auto& line : byLine)
    {
        while (number < line.first && file.ignore(std::numeric_limits<std::streamsize>::max(), '\n'))
            ++number;
        if (!std::getline(file, text))
            return;
        ++number;
        std::map<std::string, std::vector<const void*>> named;   // the elements of each name, in order
        for (Remark* remark : line.second)
        {
            std::vector<const void*>& nodes = named[remark->element];
            size_t n = (size_t)(std::find(nodes.begin(), nodes.end(), remark->node) - nodes.begin());
            if (n == nodes.size())
                nodes.push_back(remark->node);
            remark->column = ColumnOf(text, "<" + remark->element, n);
        }
    }
}

void AddFinding(const Remark& remark, const char* source, bool error, const char* lead,
                std::vector<CheckFinding>& findings)
{
    bool placed = remark.line > 0;
    findings.push_back(CheckFinding(error, source, lead + remark.message, placed ? remark.line : 0,
                                    placed ? std::max(remark.column, 1L) : 0));
}
}

void CheckXml(const std::string& path, const std::string& documentType, std::vector<CheckFinding>& findings)
{
    xmlInitParser();
    xmlParserInputBufferPtr typeText = nullptr;
    if (!documentType.empty() &&
        (typeText = xmlParserInputBufferCreateFilename(documentType.c_str(), XML_CHAR_ENCODING_NONE)) == nullptr)
        findings.push_back(CheckFinding(false, "dtd",
                                        "the document type file " + documentType +
                                            " cannot be read, so validity is not checked (--no-valid leaves it out)"));
    std::vector<Remark> remarks;
    xmlSetStructuredErrorFunc(&remarks, Collect);
    xmlExternalEntityLoader previousLoader = xmlGetExternalEntityLoader();
    // An external entity loader that refuses everything.
    xmlSetExternalEntityLoader([](const char*, const char*, xmlParserCtxtPtr) -> xmlParserInputPtr { return nullptr; });

    // The document by its descriptor: libxml2 opens nothing itself.
    int descriptor = open(path.c_str(), O_RDONLY);
    if (descriptor >= 0)
    {
        xmlParserCtxtPtr context = xmlNewParserCtxt();
        xmlDocPtr document = nullptr;
        bool wellFormed = false;
        if (context != nullptr)
        {
            context->sax->characters = ShortText;
            context->sax->ignorableWhitespace = ShortText;
            context->sax->cdataBlock = ShortSection;
            context->sax->entityDecl = DeclareEntity;
            document = xmlCtxtReadFd(context, descriptor, path.c_str(), nullptr,
                                     XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_BIG_LINES);
            wellFormed = document != nullptr && context->wellFormed != 0;
            xmlFreeParserCtxt(context);
        }
        close(descriptor);

        // libxml2's fatal errors are its verdict of "not well-formed"; everything else it
        // says (namespace remarks, undeclared entities it can leave as references, ...)
        // are warnings. The errors stand exactly when it finds the document not well-formed.
        bool anyError = false;
        for (const Remark& remark : remarks)
        {
            bool error = !wellFormed && remark.level == XML_ERR_FATAL;
            anyError = anyError || error;
            AddFinding(remark, "xml", error, error ? "not well-formed XML: " : "XML: ", findings);
        }
        if (!wellFormed && !anyError)
            findings.push_back(CheckFinding(true, "xml", "libxml2 finds the document not well-formed"));
        remarks.clear();

        if (wellFormed && typeText != nullptr)
        {
            // xmlIOParseDTD takes the text over.
            xmlDtdPtr declarations = xmlIOParseDTD(nullptr, typeText, XML_CHAR_ENCODING_UTF8);
            typeText = nullptr;
            if (declarations != nullptr)
            {
                xmlValidCtxtPtr validity = xmlNewValidCtxt();
                if (validity != nullptr)
                {
                    xmlValidateDtd(validity, document, declarations);
                    xmlFreeValidCtxt(validity);
                }
                xmlFreeDtd(declarations);
                PlaceValidityRemarks(path, remarks);
                for (const Remark& remark : remarks)
                    AddFinding(remark, "dtd", false, "not valid against SVF_Plus_Data.dtd: ", findings);
            }
        }
        xmlFreeDoc(document);
    }
    if (typeText != nullptr)
        xmlFreeParserInputBuffer(typeText);
    xmlSetExternalEntityLoader(previousLoader);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
}
