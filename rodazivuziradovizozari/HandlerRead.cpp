// Reading: the element walk over the parser's items, the element-name map and its hooks,
// and the root, comment and data field elements. Field blocks are in HandlerRows.cpp.
#include "RODAzivUzirAdovIzozari.h"

#include "HandlerImpl.h"

#include <string.h>

#include <memory>

#include <new>
#include <string>

#include "HandlerWarnings.h"
#include "UtPath.h"
#include "UtUtility.h"

namespace
{
struct ElementName
{
    const char* name;
    unsigned long value;
};

const ElementName kElementNames[] = {
    {"SVF_Plus_Data", SVF_TAG_ROOT},
    {"Comment", SVF_TAG_COMMENT},
    {"DataField", SVF_TAG_DATA_FIELD},
    {"FieldBlock", SVF_TAG_FIELD_BLOCK},
};

const char kDocumentTypeFile[] = "SVF_Plus_Data.dtd";
}

int RODAzivUzirAdovIzozari::Read()
{
    // The places of the document, as the parser knows them, lent to the warnings (a class
    // of this member function may ask the parser for them).
    class Places : public SVFDocumentPlaces
    {
    public:
        explicit Places(RODAzivUzirAdovIzozari& handler) : m_handler(handler) {}
        XMLPlace TagPlace() override { return m_handler.GetTagPlace(); }
        bool ContentPlace(unsigned int index, XMLPlace* place) override
        {
            return m_handler.GetContentPlace(index, place);
        }
        XMLPlace AttributePlace(XMLNode* tag, const char* name) override
        {
            return m_handler.GetAttributePlace(tag, name);
        }
        int MarkupCount() override { return m_handler.GetContentMarkupCount(); }
        bool Markup(int index, XMLPlace* place, bool* cdata) override
        {
            return m_handler.GetContentMarkup(index, place, cdata);
        }

    private:
        RODAzivUzirAdovIzozari& m_handler;
    };

    // Memory that runs out anywhere in reading ends it with a result code.
    int result;
    try
    {
        Places places(*this);
        SVFReadWarnings warnings(places, *GetErrorHandler(), m_pszXMLFilename);
        SVFReadObserver quiet;
        m_pState->pWarnings = GetWarningsEnabled() ? &warnings : &quiet;
        result = SVFHandlerImpl::ReadDocument(*this);
    }
    catch (const std::bad_alloc&)
    {
        ProcessException(SVF_ERR_NO_MEMORY, ERROR_LIST_DATA_FILE, m_pszXMLFilename);
        result = SVF_ERR_NO_MEMORY;
    }
    m_pState->pWarnings = nullptr;
    return result;
}

int RODAzivUzirAdovIzozari::ReadModel()
{
    int result = Read();
    if (result < 0 || m_pSVFPlusData != nullptr)
        return result;
    GetErrorHandler()->AddReportSentence(XML_ERR_NO_ROOT, ERROR_LIST_DATA_FILE, m_pszXMLFilename, m_pszXMLFilename, 0,
                                         0, "the document has no SVF_Plus_Data root element", 0, -1);
    return XML_ERR_NO_ROOT;
}

int SVFHandlerImpl::ReadDocument(RODAzivUzirAdovIzozari& handler)
{
    handler.m_pState->nExpressionBytes = 0;
    handler.m_pState->bUnreportedFailure = false;
    handler.ClearFailurePlace();
    // The document type file is looked for in the default directory, whatever location
    // the document itself names.
    int result = handler.SetDTD(util_ComposePath(handler.GetDefaultDir(), kDocumentTypeFile).c_str());
    if (result < 0)
        return result;
    result = handler.ScanProlog();
    if (result < 0)
        return result;
    result = handler.ReadSVFPlusData(0);
    // What follows the root element is not read; with warnings on it is looked at.
    if (result >= 0 && handler.GetWarningsEnabled())
        handler.ScanEpilogue();
    return result;
}

int SVFHandlerImpl::SkipElement(RODAzivUzirAdovIzozari& handler, unsigned long parent)
{
    if (handler.GetStartTag() != nullptr)
    {
        handler.m_pState->pWarnings->Skipped(handler.GetStartTag(), false);
        return handler.Skip(handler.GetStartTag()) >= 0 ? (int)parent : XML_SCAN_SKIP;
    }
    // Neither a start tag nor an empty tag: passed on, and reported by the levels above
    // (as a failing Scan is), not by this one.
    if (handler.GetEmptyTag() == nullptr)
    {
        handler.m_pState->bUnreportedFailure = true;
        return SVF_ERR_SKIP;
    }
    handler.m_pState->pWarnings->Skipped(handler.GetEmptyTag(), true);
    return 0;
}

// One item of the current level. Positive: the enclosing level goes on with its next
// item; 0: the enclosing element has ended; negative: a failure on its way up.
int RODAzivUzirAdovIzozari::ReadSVFPlusData(unsigned long parent)
{
    int code = Scan();
    if (code == XML_SCAN_SKIP)
        return SVFHandlerImpl::SkipElement(*this, parent);
    if (code < 0)
        return code;
    if (code == XML_SCAN_NOTHING)
        return XML_SCAN_NOTHING;

    // A failure that comes up from a level below (or from its Scan) was reported where it
    // arose: this level's report repeats it.
    bool passed = false;
    if (m_pStartTag != nullptr)
    {
        int outcome = ProcessStartTag(parent);
        passed = outcome > 0;
        if (outcome > 0)
        {
            unsigned long self = (unsigned long)outcome;
            m_pState->pWarnings->Opened(m_pStartTag->GetNodeName());
            int child;
            do
                child = ReadSVFPlusData(self);
            while (child > 0);
            m_pState->pWarnings->Closed();
            outcome = child;
        }
        if (outcome == 0)
            return (int)parent;
        code = outcome;
    }
    else if (m_pEndTag != nullptr)
    {
        m_pState->pWarnings->EndTag(m_pEndTag);
        return 0;
    }

    if (m_pEmptyTag != nullptr)
    {
        // An empty element is processed like a start tag; its failures are dropped.
        m_pStartTag = m_pEmptyTag;
        int dropped = ProcessStartTag(parent);
        m_pStartTag = nullptr;
        if (dropped < 0)
        {
            ClearFailurePlace();
            m_pState->pWarnings->Dropped(GetEmptyTag(), dropped);
        }
        return (int)parent;
    }
    if (code >= 0)
        return code;
    if (passed && !m_pState->bUnreportedFailure)
        return ProcessRepeatedException(code, ERROR_LIST_DATA_FILE, m_pszXMLFilename);
    m_pState->bUnreportedFailure = false;
    return ProcessException(code, ERROR_LIST_DATA_FILE, m_pszXMLFilename);
}

int RODAzivUzirAdovIzozari::ProcessStartTag(unsigned long parent)
{
    unsigned long element = m_pStartTag->GetNodeEnumValue();
    if (element != SVF_TAG_ROOT && m_pSVFPlusData == nullptr)
        return SVF_ERR_NO_MODEL;

    switch (element)
    {
    case SVF_TAG_ROOT:
        return SVFHandlerImpl::ReadRootElement(*this);
    case SVF_TAG_COMMENT:
        return SVFHandlerImpl::ReadCommentElement(*this, parent);
    case SVF_TAG_DATA_FIELD:
        return SVFHandlerImpl::ReadDataFieldElement(*this);
    default:
    {
        unsigned int size = 0;
        GetContentText(&size);
        int result = SVFHandlerImpl::ProcessFieldBlock(*this, parent, size);
        if (m_pState->pReadHook != nullptr && result >= 0)
        {
            m_pState->pReadHook->OnProgress(GetBytesRead(), GetDocumentSize());
            if (m_pState->pReadHook->Stopped())
                return SVF_ERR_STOPPED;
        }
        return result;
    }
    }
}

namespace
{
// The `length` bytes at `text` with their line ends as XML reads them (util_XMLLineEnds):
// `text` itself, or its copy in `room` when it holds a CR; `length` then shrinks.
const char* XMLLineEnds(const char* text, size_t& length, std::string& room)
{
    if (text == nullptr || memchr(text, '\r', length) == nullptr)
        return text;
    room.assign(text, length);
    length = util_XMLLineEnds(&room[0], length);
    room.resize(length);
    return room.c_str();
}

// An attribute's value as the reader keeps it, or null when the tag has no such attribute.
const char* KeptAttribute(XMLNode* tag, const char* name, std::string& room)
{
    const char* value = tag->GetNodeAttributeValue(name);
    size_t length = value != nullptr ? strlen(value) : 0;
    return XMLLineEnds(value, length, room);
}
}

// The root element makes the model, with the document's version.
int SVFHandlerImpl::ReadRootElement(RODAzivUzirAdovIzozari& handler)
{
    if (handler.m_pSVFPlusData != nullptr)
        return SVF_ERR_MODEL;
    handler.m_pSVFPlusData = new (std::nothrow) SVFPlusData();
    if (handler.m_pSVFPlusData == nullptr)
        return SVF_ERR_NO_MEMORY;
    // The model copies its texts: a copy missing means memory ran out.
    std::string room;
    const char* version = KeptAttribute(handler.m_pStartTag, "version", room);
    if (handler.m_pSVFPlusData->SetVersion(version) == nullptr && version != nullptr)
        return SVF_ERR_NO_MEMORY;
    unsigned int size = 0;
    const unsigned char* text = handler.GetContentText(&size);
    handler.m_pState->pWarnings->Root(handler.m_pStartTag, text, size);
    return SVF_TAG_ROOT;
}

// The comment element's text becomes the model's comment; its level goes on (`parent`).
int SVFHandlerImpl::ReadCommentElement(RODAzivUzirAdovIzozari& handler, unsigned long parent)
{
    unsigned int size = 0;
    const unsigned char* bytes = handler.GetContentText(&size);
    std::string room;
    if (size == 0)
        handler.m_pSVFPlusData->SetComment(nullptr);
    else if (bytes != nullptr)
    {
        // The parser's text lent, copied once (twice where a line end is a CR).
        size_t length = size;
        const char* kept = XMLLineEnds((const char*)bytes, length, room);
        handler.m_pSVFPlusData->SetComment(kept, length);
    }
    else
    {
        // A chained text is gathered first.
        std::unique_ptr<char[]> text(new (std::nothrow) char[size]);
        if (text == nullptr)
            return SVF_ERR_NO_MEMORY;
        handler.m_pContent->CopyData(0, text.get(), (int)size);
        handler.m_pSVFPlusData->SetComment(text.get(), util_XMLLineEnds(text.get(), size));
    }
    if (size != 0 && handler.m_pSVFPlusData->GetComment() == nullptr)
        return SVF_ERR_NO_MEMORY;
    handler.m_pState->pWarnings->Comment(handler.m_pSVFPlusData->GetComment());
    return (int)parent;
}

// A data field element adds a field with its name and checksum.
int SVFHandlerImpl::ReadDataFieldElement(RODAzivUzirAdovIzozari& handler)
{
    SVFDataField* field = handler.m_pSVFPlusData->AddDataField();
    if (field == nullptr)
        return SVF_ERR_NO_FIELD;
    std::string room;
    const char* name = KeptAttribute(handler.m_pStartTag, "name", room);
    field->SetFieldName(name);
    if (name != nullptr && field->GetFieldName() == nullptr)
        return SVF_ERR_NO_MEMORY;
    // Only the four characters after the "0x" prefix carry the checksum; a text of any
    // length is accepted, and a missing or short one reads as digits of value 0.
    char area[16];
    memset(area, 0, sizeof(area));
    const char* checksum = handler.m_pStartTag->GetNodeAttributeValue("checksum");
    if (checksum != nullptr)
        util_strncpy(area, checksum, (int)strlen(checksum), (int)sizeof(area));
    field->m_nChecksum = ((unsigned int)util_HexAnsi2Hex(area[2]) << 12) |
                         ((unsigned int)util_HexAnsi2Hex(area[3]) << 8) |
                         ((unsigned int)util_HexAnsi2Hex(area[4]) << 4) | (unsigned int)util_HexAnsi2Hex(area[5]);
    unsigned int size = 0;
    const unsigned char* text = handler.GetContentText(&size);
    handler.m_pState->pWarnings->DataField(handler.m_pStartTag, field, handler.m_pSVFPlusData->GetDataFieldCount() - 1,
                                           text, size);
    return SVF_TAG_DATA_FIELD;
}

void RODAzivUzirAdovIzozari::SetReadHook(SVFReadHook* hook)
{
    m_pState->pReadHook = hook;
}

int RODAzivUzirAdovIzozari::ProcessEndTag(unsigned long parent)
{
    return (int)parent;
}

int RODAzivUzirAdovIzozari::IsHexDigit(char c)
{
    return IsDigit(c) != 0 || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f') ? 1 : 0;
}

int RODAzivUzirAdovIzozari::AssignTagEnumValue(XMLNode* node)
{
    if (node == nullptr)
        return -1;
    const char* name = node->GetNodeName();
    for (const ElementName& entry : kElementNames)
    {
        if (strcmp(name, entry.name) == 0)
        {
            node->SetNodeEnumValue(entry.value);
            return (int)entry.value;
        }
    }
    return -1;
}

int RODAzivUzirAdovIzozari::OnSetStartTag()
{
    return AssignTagEnumValue(m_pStartTag) >= 0 ? 0 : SVF_ERR_UNKNOWN_TAG;
}

int RODAzivUzirAdovIzozari::OnSetEndTag()
{
    return AssignTagEnumValue(m_pEndTag) >= 0 ? 0 : SVF_ERR_UNKNOWN_TAG;
}
