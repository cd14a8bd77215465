// The libxml2 pass of `rizeroz check`: well-formedness as libxml2 judges it, and validity
// against the installed document type, in one pass over the document that builds no tree
// of it. libxml2 reads the document (XmlInput: a file by its descriptor, or the bytes the
// tool keeps of an input read once, HeldInput.h) through a callback that keeps it within
// the tool's bounds (XmlBounds.h), without network access, entity substitution or loading
// of the document type the document names; an external entity loader that refuses
// everything makes sure nothing else is opened. Kept bytes that end before the document
// does are handed on up to the construct they cut short, and what libxml2 says of their
// early end is no finding. Validity is checked as libxml2's streaming reader checks it,
// element by element as they come (xmlValidatePushElement and its kin), with only the
// elements open at a time held, each as a node without children. Built only with libxml2,
// which the Windows build lacks.
#include "XmlCheck.h"

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <sys/stat.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <limits>
#include <map>
#include <tuple>

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/valid.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlIO.h>

#include "Progress.h"
#include "UtUtility.h"
#include "XmlBounds.h"

namespace
{
// libxml2's remarks kept at most, its errors aside; past them libxml2 is stopped, as each
// costs it the making of a message.
const size_t kMostRemarks = 1000;
// A node's `extra` once a problem of its content was told: one for each element is enough.
const unsigned short kContentTold = 1;

// One remark of libxml2, placed.
struct Remark
{
    int level;
    long line;
    long column;
    std::string message;
    long element;                // the element of the document a validity remark is about, by its number; 0 for none
    unsigned long long offset;   // the offset of its start tag, which places the remark
    bool validity;
};

// An element open in the document, as validity sees it: a node without children, freed
// at the element's end.
struct Open
{
    xmlNodePtr node;
    unsigned long long offset;   // of its start tag
    long number;
};

// One pass of libxml2 over a document; its callbacks reach it through the parser's _private.
struct Pass
{
    xmlParserCtxtPtr parser = nullptr;
    XmlInput* input = nullptr;
    Progress* progress = nullptr;   // told of the bytes read, or null
    unsigned long long read = 0;    // bytes read of the document
    // Where the bytes given to libxml2 end: before the construct that the input's bytes
    // end in, when they end before the document does (CleanEnd).
    unsigned long long end = ULLONG_MAX;
    XmlBounds bounds;
    xmlDocPtr types = nullptr;            // holds the installed document type as its external subset
    xmlValidCtxtPtr validity = nullptr;   // null when validity is not checked
    std::vector<Open> open;
    long elements = 0;
    std::vector<Remark> remarks;
    size_t kept = 0;     // remarks kept that are not errors
    bool full = false;   // kMostRemarks are kept: libxml2 is stopped at its next call
    bool halted = false;
    bool closing = true;   // outside the document's parse, what libxml2 says is no finding
    long fullLine = 0, fullColumn = 0;
};

Pass& PassOf(void* parser)
{
    return *static_cast<Pass*>(static_cast<xmlParserCtxtPtr>(parser)->_private);
}

// True when a callback comes from the parse of the document, not from that of an entity's
// text, which libxml2 parses with a parser of its own the first time it meets a reference.
bool InDocument(void* parser)
{
    xmlParserCtxtPtr context = static_cast<xmlParserCtxtPtr>(parser);
    return context->_private != nullptr && PassOf(parser).parser == context;
}

// The open element that `node` stands for, or null.
const Open* OpenOf(const Pass& pass, const void* node)
{
    if (node == nullptr)
        return nullptr;
    size_t index = (size_t)(uintptr_t)((xmlNodePtr)node)->_private;
    return index > 0 && index <= pass.open.size() && pass.open[index - 1].node == node ? &pass.open[index - 1]
                                                                                       : nullptr;
}

void Keep(Pass& pass, const Remark& remark)
{
    // libxml2 repeats an error at each level of nested entities it unwinds: once is enough.
    if (pass.closing || (!pass.remarks.empty() && pass.remarks.back().line == remark.line &&
                         pass.remarks.back().column == remark.column && pass.remarks.back().message == remark.message &&
                         pass.remarks.back().element == remark.element))
        return;
    if (remark.level != XML_ERR_FATAL)
    {
        if (pass.full)
            return;
        if (pass.kept == kMostRemarks)
        {
            pass.full = true;
            pass.fullLine = pass.parser->input != nullptr ? pass.parser->input->line : 0;
            pass.fullColumn = pass.parser->input != nullptr ? pass.parser->input->col : 0;
            return;
        }
        ++pass.kept;
    }
    pass.remarks.push_back(remark);
}

// Places `remark`, about `node` (or none) and raised by the parser `context` (or none),
// and keeps it. A remark about an element of the document is placed by its line (its
// column is found later); one within an entity's text, where libxml2 stands in the
// document: just after the reference to the entity.
void Place(Pass& pass, Remark remark, const void* node, const void* context, int code)
{
    if (pass.closing)
        return;
    const Open* open = OpenOf(pass, node);
    if (open != nullptr)
    {
        remark.element = open->number;
        remark.offset = open->offset;
    }
    else if (remark.validity || (context != nullptr && context != pass.parser))
    {
        remark.line = pass.parser->input != nullptr ? pass.parser->input->line : 0;
        remark.column = pass.parser->input != nullptr ? pass.parser->input->col : 0;
    }
    bool content = code == XML_DTD_CONTENT_MODEL || code == XML_DTD_INVALID_CHILD || code == XML_DTD_NOT_EMPTY ||
                   code == XML_DTD_NOT_PCDATA;
    if (content && node != nullptr && ((xmlNodePtr)node)->type == XML_ELEMENT_NODE)
    {
        xmlNodePtr element = (xmlNodePtr)node;
        if (element->extra & kContentTold)
            return;
        element->extra |= kContentTold;
    }
    Keep(pass, remark);
}

void Collect(void* data, xmlErrorPtr error)
{
    if (data == nullptr || error == nullptr)
        return;
    Remark remark = {(int)error->level,
                     error->line,
                     error->int2,
                     error->message != nullptr ? error->message : "libxml2 gives no words for this",
                     0,
                     0,
                     error->domain == XML_FROM_VALID};
    while (!remark.message.empty() && (remark.message.back() == '\n' || remark.message.back() == ' '))
        remark.message.pop_back();
    Place(*static_cast<Pass*>(data), remark, error->node, error->ctxt, error->code);
}

// libxml2 is stopped at its first call after kMostRemarks.
bool Stopped(Pass& pass)
{
    if (pass.full && !pass.halted)
    {
        pass.halted = true;
        xmlStopParser(pass.parser);
    }
    return pass.full;
}

std::string Qualified(const xmlChar* prefix, const xmlChar* name)
{
    return prefix != nullptr ? std::string((const char*)prefix) + ":" + (const char*)name : (const char*)name;
}

// The attribute `name` of `element`, with `value`: checked, and added to the element's
// attributes (for the check of those required), at `last`.
void CheckAttribute(Pass& pass, xmlNodePtr element, const std::string& name, const xmlChar* value, xmlAttrPtr& last)
{
    xmlAttrPtr attribute = xmlNewDocProp(pass.types, BAD_CAST name.c_str(), nullptr);
    if (attribute == nullptr)
        return;
    xmlValidateOneAttribute(pass.validity, pass.types, element, attribute, value);
    attribute->parent = element;
    attribute->prev = last;
    (last != nullptr ? last->next : element->properties) = attribute;
    last = attribute;
}

// The attributes the document type requires of `element`.
void CheckRequired(Pass& pass, xmlNodePtr element)
{
    xmlElementPtr declared = xmlGetDtdElementDesc(pass.types->extSubset, element->name);
    for (xmlAttributePtr a = declared != nullptr ? declared->attributes : nullptr; a != nullptr; a = a->nexth)
    {
        std::string name = Qualified(a->prefix, a->name);
        if (a->def == XML_ATTRIBUTE_REQUIRED && xmlHasProp(element, BAD_CAST name.c_str()) == nullptr)
            Place(pass,
                  {XML_ERR_ERROR, 0, 0,
                   "Element " + std::string((const char*)element->name) + " does not carry attribute " + name, 0, 0,
                   true},
                  element, nullptr, XML_DTD_MISSING_ATTRIBUTE);
    }
}

// Text in `element`: for validity, whether it holds anything but white space, once a
// problem is told no more.
void CheckText(Pass& pass, xmlNodePtr element, const xmlChar* text, int length)
{
    if (pass.validity != nullptr && element != nullptr && !(element->extra & kContentTold))
        xmlValidatePushCData(pass.validity, text, length);
}

void StartElement(void* parser, const xmlChar* name, const xmlChar* prefix, const xmlChar* uri, int namespaces,
                  const xmlChar** declared, int attributes, int defaulted, const xmlChar** values)
{
    if (!InDocument(parser))
        return xmlSAX2StartElementNs(parser, name, prefix, uri, namespaces, declared, attributes, defaulted, values);
    Pass& pass = PassOf(parser);
    unsigned long long start = pass.bounds.NextStart();
    if (Stopped(pass) || pass.validity == nullptr)
        return;
    xmlNodePtr element = xmlNewDocNode(pass.types, nullptr, BAD_CAST Qualified(prefix, name).c_str(), nullptr);
    pass.open.push_back({element, start, ++pass.elements});
    if (element == nullptr)
        return;
    element->_private = (void*)(uintptr_t)pass.open.size();
    xmlValidatePushElement(pass.validity, pass.types, element, element->name);
    xmlAttrPtr last = nullptr;
    for (int i = 0; i < namespaces; ++i)
        CheckAttribute(pass, element,
                       declared[2 * i] != nullptr ? Qualified(BAD_CAST "xmlns", declared[2 * i]) : "xmlns",
                       declared[2 * i + 1], last);
    for (int i = 0; i < attributes; ++i)
    {
        const xmlChar** attribute = values + 5 * i;
        xmlChar* value = xmlStrndup(attribute[3], (int)(attribute[4] - attribute[3]));
        CheckAttribute(pass, element, Qualified(attribute[1], attribute[0]), value, last);
        xmlFree(value);
    }
    CheckRequired(pass, element);
}

void EndElement(void* parser, const xmlChar* name, const xmlChar* prefix, const xmlChar* uri)
{
    if (!InDocument(parser))
        return xmlSAX2EndElementNs(parser, name, prefix, uri);
    Pass& pass = PassOf(parser);
    if (Stopped(pass) || pass.open.empty())
        return;
    xmlNodePtr element = pass.open.back().node;
    if (element != nullptr)
        xmlValidatePopElement(pass.validity, pass.types, element, element->name);
    pass.open.pop_back();
    xmlFreeNode(element);
}

void Characters(void* parser, const xmlChar* text, int length)
{
    if (!InDocument(parser))
        return xmlSAX2Characters(parser, text, length);
    Pass& pass = PassOf(parser);
    if (!Stopped(pass) && !pass.open.empty())
        CheckText(pass, pass.open.back().node, text, length);
}

void Section(void* parser, const xmlChar* text, int length)
{
    if (!InDocument(parser))
        return xmlSAX2CDataBlock(parser, text, length);
    Pass& pass = PassOf(parser);
    if (!Stopped(pass) && !pass.open.empty())
        CheckText(pass, pass.open.back().node, text, length);
}

// Comments and processing instructions ask nothing of validity: only an entity's keeps them.
void Comment(void* parser, const xmlChar* text)
{
    if (!InDocument(parser))
        xmlSAX2Comment(parser, text);
}

void Instruction(void* parser, const xmlChar* target, const xmlChar* data)
{
    if (!InDocument(parser))
        xmlSAX2ProcessingInstruction(parser, target, data);
}

// The start of `element` of an entity's text, as StartElement for those of the document.
void StartEntityElement(Pass& pass, xmlNodePtr element)
{
    xmlValidatePushElement(
        pass.validity, pass.types, element,
        BAD_CAST Qualified(element->ns != nullptr ? element->ns->prefix : nullptr, element->name).c_str());
    for (xmlAttrPtr attribute = element->properties; attribute != nullptr; attribute = attribute->next)
    {
        xmlChar* value = xmlNodeListGetString(pass.parser->myDoc, attribute->children, 0);
        xmlValidateOneAttribute(pass.validity, pass.types, element, attribute, value);
        xmlFree(value);
    }
    CheckRequired(pass, element);
}

// Validity where the document refers to `entity`: the tree libxml2 made of its text is
// walked as if its elements and texts stood there (not deeper than 40 entities within each other).
void CheckEntity(Pass& pass, xmlEntityPtr entity)
{
    std::vector<std::pair<xmlNodePtr, xmlNodePtr>> walk = {{entity->children, nullptr}};   // next node, its element
    while (!walk.empty())
    {
        xmlNodePtr node = walk.back().first;
        if (node == nullptr)
        {
            xmlNodePtr element = walk.back().second;
            walk.pop_back();
            if (element != nullptr)
                xmlValidatePopElement(pass.validity, pass.types, element, element->name);
            continue;
        }
        walk.back().first = node->next;
        xmlNodePtr inside = walk.back().second;
        for (size_t i = walk.size(); inside == nullptr && i-- > 0;)
            inside = walk[i].second;
        if (node->type == XML_ELEMENT_NODE)
        {
            StartEntityElement(pass, node);
            walk.push_back({node->children, node});
        }
        else if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE)
            CheckText(pass, inside != nullptr ? inside : pass.open.back().node, node->content,
                      xmlStrlen(node->content));
        else if (node->type == XML_ENTITY_REF_NODE && walk.size() < 40)
        {
            xmlEntityPtr inner = xmlGetDocEntity(pass.parser->myDoc, node->name);
            if (inner != nullptr)
                walk.push_back({inner->children, nullptr});
        }
    }
}

void Reference(void* parser, const xmlChar* name)
{
    if (!InDocument(parser))
        return xmlSAX2Reference(parser, name);
    Pass& pass = PassOf(parser);
    xmlEntityPtr entity = xmlGetDocEntity(pass.parser->myDoc, name);
    if (!Stopped(pass) && pass.validity != nullptr && !pass.open.empty() && entity != nullptr)
        CheckEntity(pass, entity);
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

// libxml2 reads the document here, as far as the bounds let it.
int ReadBytes(void* context, char* buffer, int length)
{
    Pass& pass = *static_cast<Pass*>(context);
    if (pass.bounds.Passed() || pass.read >= pass.end)
        return 0;
    long long got =
        pass.input->Next(buffer, (size_t)std::min<unsigned long long>((size_t)length, pass.end - pass.read));
    pass.read += got > 0 ? (unsigned long long)got : 0;
    if (pass.progress != nullptr)
        pass.progress->Update(pass.read, pass.input->Length());
    return got <= 0 ? (int)got : (int)pass.bounds.Scan(buffer, (size_t)got);
}

// A regular file by its descriptor, opened once and read from its start each time.
class FileInput : public XmlInput
{
public:
    explicit FileInput(const std::string& path) : m_path(path) {}
    ~FileInput() override
    {
        if (m_descriptor >= 0)
            close(m_descriptor);
    }
    bool Rewind() override
    {
        if (m_descriptor >= 0)
            return lseek(m_descriptor, 0, SEEK_SET) == 0;
        // A regular file only: a folder opens, and then fails to be read.
        m_descriptor = open(m_path.c_str(), O_RDONLY);
        struct stat status;
        if (m_descriptor >= 0 && (fstat(m_descriptor, &status) != 0 || !S_ISREG(status.st_mode)))
        {
            close(m_descriptor);
            m_descriptor = -1;
        }
        m_size = m_descriptor >= 0 ? (unsigned long long)status.st_size : 0;
        return m_descriptor >= 0;
    }
    long long Next(char* buffer, size_t capacity) override
    {
        ssize_t got;
        do
            got = read(m_descriptor, buffer, capacity);
        while (got < 0 && errno == EINTR);
        return got;
    }
    unsigned long long Length() const override { return m_size; }

private:
    std::string m_path;
    int m_descriptor = -1;
    unsigned long long m_size = 0;
};

// libxml2's parse of the document; true when it finds it well-formed.
bool Parse(Pass& pass)
{
    xmlSAXHandler sax;
    memset(&sax, 0, sizeof(sax));
    xmlSAXVersion(&sax, 2);
    sax.startElementNs = StartElement;
    sax.endElementNs = EndElement;
    sax.characters = Characters;
    sax.ignorableWhitespace = Characters;
    sax.cdataBlock = Section;
    sax.comment = Comment;
    sax.processingInstruction = Instruction;
    sax.reference = Reference;
    sax.entityDecl = DeclareEntity;
    pass.parser = xmlCreateIOParserCtxt(&sax, nullptr, ReadBytes, nullptr, &pass, XML_CHAR_ENCODING_NONE);
    if (pass.parser == nullptr)
        return false;
    pass.parser->_private = &pass;
    xmlCtxtUseOptions(pass.parser, XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_BIG_LINES);
    pass.closing = false;
    xmlParseDocument(pass.parser);
    pass.closing = true;
    bool wellFormed = pass.parser->wellFormed != 0;
    // Elements left open where the parse ended.
    for (; !pass.open.empty(); pass.open.pop_back())
        if (pass.open.back().node != nullptr)
        {
            xmlValidatePopElement(pass.validity, pass.types, pass.open.back().node, pass.open.back().node->name);
            xmlFreeNode(pass.open.back().node);
        }
    xmlFreeDoc(pass.parser->myDoc);
    pass.parser->myDoc = nullptr;
    xmlFreeParserCtxt(pass.parser);
    pass.parser = nullptr;
    return wellFormed;
}

// A place in the file: the line of the byte at `offset`, and its column in bytes (as the
// reader counts) and in characters (as libxml2 counts).
struct Spot
{
    unsigned long long offset;
    long line;
    long column;
    long character;
};

// Places `spots` in one pass over the document: whole lines by memchr, and the bytes of
// a line that a spot stands on one by one.
void PlaceSpots(XmlInput& input, std::vector<Spot>& spots)
{
    std::vector<Spot*> order;
    for (Spot& spot : spots)
        order.push_back(&spot);
    std::sort(order.begin(), order.end(), [](const Spot* a, const Spot* b) { return a->offset < b->offset; });
    std::vector<char> block(1 << 16);
    Spot at = {0, 1, 1, 1};
    size_t next = 0;
    long long got = !order.empty() && input.Rewind() ? 0 : -1;
    while (got >= 0 && next < order.size() && (got = input.Next(block.data(), block.size())) > 0)
        for (const char *p = block.data(), *end = p + got; next < order.size();)
        {
            // Up to the next spot, or to the block's end.
            const char* stop = p + std::min<unsigned long long>((size_t)(end - p), order[next]->offset - at.offset);
            for (const char* line; (line = (const char*)memchr(p, '\n', (size_t)(stop - p))) != nullptr; p = line + 1)
                at = {at.offset + (unsigned long long)(line + 1 - p), at.line + 1, 1, 1};
            at.offset += (unsigned long long)(stop - p);
            at.column += (long)(stop - p);
            at.character += (long)std::count_if(p, stop, [](char c) { return (c & 0xC0) != 0x80; });
            for (p = stop; next < order.size() && order[next]->offset == at.offset; ++next)
                *order[next] = at;
            if (p == end)
                break;
        }
    for (; next < order.size(); ++next)
        *order[next] = {order[next]->offset, at.line, at.column, at.character};
}

// Validity remarks are placed at the start tags of the elements they concern.
void PlaceValidityRemarks(XmlInput& input, std::vector<Remark>& remarks)
{
    std::vector<Spot> spots;
    for (const Remark& remark : remarks)
        if (remark.element != 0)
            spots.push_back({remark.offset, 0, 0, 0});
    PlaceSpots(input, spots);
    size_t i = 0;
    for (Remark& remark : remarks)
        if (remark.element != 0)
        {
            remark.line = spots[i].line;
            remark.column = spots[i++].column;
        }
}

void AddFinding(const Remark& remark, const char* source, bool error, const char* lead,
                std::vector<CheckFinding>& findings)
{
    bool placed = remark.line > 0;
    findings.push_back(CheckFinding(error, source, lead + remark.message, placed ? remark.line : 0,
                                    placed ? std::max(remark.column, 1L) : 0));
}

// How many of the last bytes read begin a UTF-8 character that the end of the bytes cuts
// short: `tail` holds the last four (the latest lowest) of the `count` read.
unsigned long long CutCharacter(uint32_t tail, unsigned long long count)
{
    for (unsigned long long back = 1; back <= 4 && back <= count; ++back)
    {
        unsigned char c = (unsigned char)(tail >> (8 * (back - 1)));
        if ((c & 0xC0) == 0x80)
            continue;
        unsigned long long length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

// For an input whose bytes end before the document does: where libxml2's bytes end, found
// by a scan of them all, so that libxml2 meets nothing the early end cuts short (a tag, a
// comment, a character) and says only that the document ends early: before the construct
// they end in, or, in text, before a character they cut short. Where they all end when
// a bound stops libxml2 before.
unsigned long long CleanEnd(XmlInput& input)
{
    XmlBounds scan;
    std::vector<char> block(1 << 16);
    unsigned long long read = 0;
    uint32_t tail = 0;   // the last four bytes read, the latest lowest
    long long got = input.Rewind() ? 0 : -1;
    while (got >= 0 && !scan.Passed() && (got = input.Next(block.data(), block.size())) > 0)
    {
        scan.Scan(block.data(), (size_t)got);
        read += (unsigned long long)got;
        for (long long i = std::max(got - 4, 0LL); i < got; ++i)
            tail = (tail << 8) | (unsigned char)block[i];
    }
    if (scan.Passed())
        return ULLONG_MAX;
    unsigned long long since = scan.OpenSince();
    return since == read ? since - CutCharacter(tail, read) : since;
}

// Where libxml2 was stopped short of the document's end, if it was: by a bound, after
// kMostRemarks, or where its bytes end for an input that ends early (CleanEnd). What it
// said of the input's early end there (at the place or after it, in its count of
// characters) is no finding; what it found before stands. `stop` is the warning that
// says so, or has no message when nothing is said.
bool Stop(XmlInput& input, Pass& pass, CheckFinding& stop)
{
    std::string why;
    bool cut = !pass.bounds.Passed() && !pass.full && input.EndsEarly(why) && pass.read == pass.end;
    std::vector<Spot> place = {{cut ? pass.end : pass.bounds.Place(), pass.fullLine, pass.fullColumn, pass.fullColumn}};
    if (pass.bounds.Passed() || cut)
        PlaceSpots(input, place);
    else if (!pass.full)
        return false;
    long line = place[0].line, column = place[0].column, character = place[0].character;
    const std::string beyond = "libxml2 checks the document only this far: ";
    stop = CheckFinding(false, "xml",
                        pass.bounds.Passed() ? pass.bounds.Finding()
                        : pass.full          ? beyond + "it has made 1000 remarks, the most the tool shows"
                        : why.empty()        ? std::string()
                                             : beyond + why,
                        line, std::max(column, 1L));
    pass.remarks.erase(std::remove_if(pass.remarks.begin(), pass.remarks.end(),
                                      [&](const Remark& remark) {
                                          return remark.level == XML_ERR_FATAL &&
                                                 std::tie(remark.line, remark.column) >= std::tie(line, character);
                                      }),
                       pass.remarks.end());
    return true;
}

void Report(XmlInput& input, Pass& pass, bool wellFormed, std::vector<CheckFinding>& findings)
{
    CheckFinding stop(false, "xml", "");
    bool stopped = Stop(input, pass, stop);
    if (stopped)
        wellFormed = std::none_of(pass.remarks.begin(), pass.remarks.end(),
                                  [](const Remark& remark) { return remark.level == XML_ERR_FATAL; });
    // libxml2's fatal errors are its verdict of "not well-formed"; everything else it
    // says (namespace remarks, undeclared entities it can leave as references, ...)
    // are warnings. The errors stand exactly when it finds the document not well-formed.
    bool anyError = false;
    for (const Remark& remark : pass.remarks)
        if (!remark.validity)
        {
            bool error = !wellFormed && remark.level == XML_ERR_FATAL;
            anyError = anyError || error;
            AddFinding(remark, "xml", error, error ? "not well-formed XML: " : "XML: ", findings);
        }
    if (!wellFormed && !anyError)
        findings.push_back(CheckFinding(true, "xml", "libxml2 finds the document not well-formed"));
    if (wellFormed)
    {
        PlaceValidityRemarks(input, pass.remarks);
        for (const Remark& remark : pass.remarks)
            if (remark.validity)
                AddFinding(remark, "dtd", false, "not valid against SVF_Plus_Data.dtd: ", findings);
        if (stopped && !stop.message.empty())
            findings.push_back(stop);
    }
}

// The installed document type at `path`, or null with a finding.
xmlDtdPtr ReadDocumentType(const std::string& path, std::vector<CheckFinding>& findings)
{
    // xmlIOParseDTD takes the text over.
    xmlParserInputBufferPtr text = xmlParserInputBufferCreateFilename(path.c_str(), XML_CHAR_ENCODING_NONE);
    xmlDtdPtr declarations = text != nullptr ? xmlIOParseDTD(nullptr, text, XML_CHAR_ENCODING_UTF8) : nullptr;
    if (declarations == nullptr)
        findings.push_back(CheckFinding(false, "dtd",
                                        "the document type file " + path +
                                            " cannot be read, so validity is not checked (--no-valid leaves it out)"));
    return declarations;
}
}

void CheckXml(XmlInput& input, const std::string& documentType, std::vector<CheckFinding>& findings, Progress* progress)
{
    xmlInitParser();
    Pass pass;
    pass.input = &input;
    pass.progress = progress;
    xmlSetStructuredErrorFunc(&pass, Collect);
    xmlExternalEntityLoader previousLoader = xmlGetExternalEntityLoader();
    // An external entity loader that refuses everything.
    xmlSetExternalEntityLoader([](const char*, const char*, xmlParserCtxtPtr) -> xmlParserInputPtr { return nullptr; });
    xmlDtdPtr declarations = documentType.empty() ? nullptr : ReadDocumentType(documentType, findings);
    // Validity is asked of a document of no nodes whose external subset is the installed
    // document type, never of the one the document names or declares.
    if (declarations != nullptr && (pass.types = xmlNewDoc(BAD_CAST "1.0")) != nullptr &&
        (pass.validity = xmlNewValidCtxt()) != nullptr)
        pass.types->extSubset = declarations;
    else if (declarations != nullptr)
        xmlFreeDtd(declarations);

    std::string why;
    if (input.EndsEarly(why))
        pass.end = CleanEnd(input);
    if (input.Rewind())
    {
        bool wellFormed = Parse(pass);
        Report(input, pass, wellFormed, findings);
    }
    if (pass.validity != nullptr)
        xmlFreeValidCtxt(pass.validity);
    xmlFreeDoc(pass.types);   // and the document type with it
    xmlSetExternalEntityLoader(previousLoader);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
}

void CheckXmlFile(const std::string& path, const std::string& documentType, std::vector<CheckFinding>& findings,
                  Progress* progress)
{
    FileInput input(path);
    CheckXml(input, documentType, findings, progress);
}
