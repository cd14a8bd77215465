// The libxml2 pass of `rizeroz check`: well-formedness as libxml2 judges it, and validity
// against the installed document type. The document is handed to libxml2 by its file
// descriptor and parsed without network access, entity substitution or loading of the
// document type the document names; an external entity loader that refuses everything
// makes sure nothing else is opened.
#include "XmlCheck.h"

#include <fcntl.h>
#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
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
    int domain;
    long line;
    long column;
    std::string message;
    const void* node;      // the element a validity remark is about
    std::string element;   // its name
};

struct Collector
{
    std::vector<Remark> remarks;
};

void Collect(void* data, xmlErrorPtr error)
{
    if (data == nullptr || error == nullptr)
        return;
    Remark remark;
    remark.level = (int)error->level;
    remark.domain = error->domain;
    remark.line = error->line;
    remark.column = error->int2;
    remark.message = error->message != nullptr ? error->message : "libxml2 gives no words for this";
    while (!remark.message.empty() && (remark.message.back() == '\n' || remark.message.back() == ' '))
        remark.message.pop_back();
    remark.node = nullptr;
    xmlNodePtr node = (xmlNodePtr)error->node;
    if (node != nullptr && node->type == XML_ELEMENT_NODE)
    {
        remark.node = node;
        remark.element = node->name != nullptr ? (const char*)node->name : "";
        remark.line = xmlGetLineNo(node);
        remark.column = 0;
    }
    // libxml2 repeats an error at each level of nested entities it unwinds: once is enough.
    std::vector<Remark>& remarks = static_cast<Collector*>(data)->remarks;
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
bool IsBlank(xmlChar c)
{
    return util_IsWhiteSpace((char)c);
}

void ShortText(void* parser, const xmlChar* text, int length)
{
    xmlNodePtr parent = ((xmlParserCtxtPtr)parser)->node;
    xmlNodePtr last = parent != nullptr ? parent->last : nullptr;
    bool afterText = last != nullptr && last->type == XML_TEXT_NODE;
    // libxml2 adds the characters to a text node just before; one that is not blank takes no more.
    if (afterText && !xmlIsBlankNode(last))
        return;
    int at = 0;
    while (at < length && IsBlank(text[at]))
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

xmlParserInputPtr RefuseLoad(const char*, const char*, xmlParserCtxtPtr)
{
    return nullptr;
}

// libxml2 places validity remarks by line only: the column of the start tag they concern
// is found on that line, the n-th "<name" for the n-th element of that name there.
void PlaceValidityRemarks(const std::string& path, std::vector<Remark>& remarks)
{
    std::map<std::pair<long, std::string>, std::vector<const void*>> elements;
    std::vector<long> lines;
    for (const Remark& remark : remarks)
    {
        if (remark.node == nullptr || remark.line <= 0)
            continue;
        std::vector<const void*>& seen = elements[std::make_pair(remark.line, remark.element)];
        if (std::find(seen.begin(), seen.end(), remark.node) == seen.end())
            seen.push_back(remark.node);
        lines.push_back(remark.line);
    }
    if (lines.empty())
        return;
    std::sort(lines.begin(), lines.end());
    std::map<std::pair<long, const void*>, long> columns;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        return;
    std::string text;
    long number = 1;
    size_t next = 0;
    int c = 0;
    while (next < lines.size() && c != EOF)
    {
        text.clear();
        while ((c = fgetc(file)) != EOF && c != '\n')
            if (number == lines[next])
                text += (char)c;
        if (number == lines[next])
        {
            for (auto& entry : elements)
            {
                if (entry.first.first != number)
                    continue;
                std::string open = "<" + entry.first.second;
                size_t at = 0;
                for (const void* node : entry.second)
                {
                    while ((at = text.find(open, at)) != std::string::npos && at + open.size() < text.size() &&
                           util_IsXMLNameChar(text[at + open.size()]))
                        ++at;
                    if (at == std::string::npos)
                        break;
                    columns[std::make_pair(number, node)] = (long)at + 1;
                    ++at;
                }
            }
            while (next < lines.size() && lines[next] == number)
                ++next;
        }
        ++number;
    }
    fclose(file);
    for (Remark& remark : remarks)
        if (remark.node != nullptr && remark.line > 0)
        {
            auto found = columns.find(std::make_pair(remark.line, remark.node));
            remark.column = found != columns.end() ? found->second : 1;
        }
}

void AddFinding(const Remark& remark, const char* source, bool error, const char* lead,
                std::vector<CheckFinding>& findings)
{
    CheckFinding finding(error, source, lead + remark.message);
    finding.nLine = remark.line > 0 ? remark.line : 0;
    finding.nColumn = remark.line > 0 ? (remark.column > 0 ? remark.column : 1) : 0;
    findings.push_back(finding);
}
}

bool CanCheckXml()
{
    return true;
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
    Collector collector;
    xmlSetStructuredErrorFunc(&collector, Collect);
    xmlExternalEntityLoader previousLoader = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(RefuseLoad);

    // The document by its descriptor: libxml2 opens nothing itself.
    int descriptor = open(path.c_str(), O_RDONLY
#if defined(O_BINARY)
                                            | O_BINARY
#endif
    );
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
        size_t first = findings.size();
        for (const Remark& remark : collector.remarks)
        {
            bool error = !wellFormed && remark.level == XML_ERR_FATAL;
            AddFinding(remark, "xml", error, error ? "not well-formed XML: " : "XML: ", findings);
        }
        bool anyError = false;
        for (size_t i = first; i < findings.size(); ++i)
            anyError = anyError || findings[i].bError;
        if (!wellFormed && !anyError)
            findings.push_back(CheckFinding(true, "xml", "libxml2 finds the document not well-formed"));
        collector.remarks.clear();

        if (wellFormed && typeText != nullptr)
        {
            // xmlIOParseDTD takes the text over.
            xmlDtdPtr declarations = xmlIOParseDTD(nullptr, typeText, XML_CHAR_ENCODING_UTF8);
            typeText = nullptr;
            collector.remarks.clear();
            if (declarations != nullptr)
            {
                xmlValidCtxtPtr validity = xmlNewValidCtxt();
                if (validity != nullptr)
                {
                    xmlValidateDtd(validity, document, declarations);
                    xmlFreeValidCtxt(validity);
                }
                xmlFreeDtd(declarations);
                PlaceValidityRemarks(path, collector.remarks);
                for (const Remark& remark : collector.remarks)
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
