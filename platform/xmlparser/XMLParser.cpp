// XMLParser: the pull parser's public face. Initialisation and copies, settings, and
// Scan/Skip, which drive the scanner (XMLScanner.cpp, XMLTags.cpp, XMLProlog.cpp) and
// call the derived class's hooks.
#include "XMLParser.h"

#include <string.h>

#include <new>
#include <string>

#include "UtUtility.h"
#include "XMLParserState.h"

namespace
{
// The failure of a scanning call made while no document is open.
int RefuseClosed(ErrorHandler* errors, const char* document)
{
    errors->AddReport(XML_ERR_NOT_OPEN, ERROR_LIST_XML_PARSER, document, 0, 0, 0, "no document is open for reading");
    return XML_ERR_NOT_OPEN;
}

void ReplaceText(char*& member, const char* text)
{
    char* copy = util_CopyTextOrThrow(text);
    delete[] member;
    member = copy;
}

// Memory ran out inside a scan: the scan state may be half updated, so every later scan
// gives the same failure.
int RaiseNoMemory(XMLParserState& state, ErrorHandler* errors, const char* document)
{
    state.failure.SetSticky(XML_ERR_NO_MEMORY);
    errors->AddReport(XML_ERR_NO_MEMORY, ERROR_LIST_XML_PARSER, document, document, 0, 0, 0);
    return XML_ERR_NO_MEMORY;
}
}

void XMLParserSettings::CopyFrom(const XMLParserSettings& other, ErrorHandler* warnings, const char* document)
{
    ReplaceText(m_pszDefaultDir, other.m_pszDefaultDir);
    ReplaceText(m_pszDTD, other.m_pszDTD);
    m_bSkipInvalidElement = other.m_bSkipInvalidElement;
    m_bLendContent = other.m_bLendContent;
    m_nMaxText = other.m_nMaxText;
    m_nMaxTag = other.m_nMaxTag;
    m_pWarnings = other.m_pWarnings ? warnings : nullptr;
    m_pszDocument = document;
}

void XMLParserSettings::SetDTD(const char* path)
{
    ReplaceText(m_pszDTD, path);
}

void XMLFailurePlace::Place(const XMLPlace& at, const char* sentence)
{
    try
    {
        m_sSentence = sentence ? sentence : "";
    }
    catch (const std::bad_alloc&)
    {
        m_sSentence.clear();
    }
    m_at = at;
    m_bPlaced = true;
}

bool XMLContentPlaces::CountFrom(unsigned int index, XMLContentRun* from) const
{
    if (m_aRuns.empty())
        return false;
    size_t run = m_aRuns.size() - 1;
    while (run > 0 && m_aRuns[run].nIndex > index)
        --run;
    *from = m_aRuns[run];
    if (m_cursor.nLine > 0 && m_cursor.nIndex >= from->nIndex && m_cursor.nIndex <= index &&
        (run + 1 == m_aRuns.size() || m_cursor.nIndex < m_aRuns[run + 1].nIndex))
        *from = m_cursor;
    return true;
}

XMLParser::XMLParser()
    : m_pErrorHandler(new ErrorHandler()), m_pszXMLFilename(0), m_pStartTag(0), m_pEndTag(0), m_pEmptyTag(0),
      m_pContent(new UtByteBuffer()), m_pState(new XMLParserState())
{
}

XMLParser::XMLParser(const XMLParser& other)
    : UtObject(), m_pErrorHandler(new ErrorHandler(*other.m_pErrorHandler)),
      m_pszXMLFilename(util_CopyTextOrThrow(other.m_pszXMLFilename)), m_pStartTag(0), m_pEndTag(0), m_pEmptyTag(0),
      m_pContent(new UtByteBuffer()), m_pState(new XMLParserState())
{
    m_pState->settings.CopyFrom(other.m_pState->settings, m_pErrorHandler, m_pszXMLFilename);
    if (other.m_pState->window.ReadsNamedFile() && m_pszXMLFilename)
        m_pState->OpenDocument(m_pszXMLFilename, m_pErrorHandler);
}

XMLParser& XMLParser::operator=(const XMLParser& other)
{
    if (this == &other)
        return *this;
    *m_pErrorHandler = *other.m_pErrorHandler;
    ReplaceText(m_pszXMLFilename, other.m_pszXMLFilename);
    m_pState->settings.CopyFrom(other.m_pState->settings, m_pErrorHandler, m_pszXMLFilename);
    m_pStartTag = m_pEndTag = m_pEmptyTag = 0;
    m_pContent->ClearBuffer();
    m_pState->CloseDocument();
    if (other.m_pState->window.ReadsNamedFile() && m_pszXMLFilename)
        m_pState->OpenDocument(m_pszXMLFilename, m_pErrorHandler);
    return *this;
}

XMLParser::~XMLParser()
{
    delete m_pState;
    delete m_pContent;
    delete[] m_pszXMLFilename;
    delete m_pErrorHandler;
}

int XMLParser::OnSetStartTag()
{
    return 0;
}

int XMLParser::OnSetEndTag()
{
    return 0;
}

int XMLParser::OnInitialize()
{
    return 0;
}

int XMLParser::IsWhiteSpace(char c)
{
    return util_IsWhiteSpace(c) ? 1 : 0;
}

int XMLParser::IsDigit(char c)
{
    return util_IsDigit(c) ? 1 : 0;
}

long XMLParser::GetLine() const
{
    return m_pState->locator.MarkLine(m_pState->window);
}

long XMLParser::GetColumn() const
{
    return m_pState->locator.MarkColumn(m_pState->window);
}

void XMLParser::EnableWarnings(bool enable)
{
    m_pState->settings.SetWarnings(enable ? m_pErrorHandler : 0);
}

bool XMLParser::GetWarningsEnabled() const
{
    return m_pState->settings.Warnings() != 0;
}

void XMLParser::EnableSkipInvalidElement()
{
    m_pState->settings.EnableSkipInvalidElement();
}

int XMLParser::Initialize(const char* file, const char* dir, const char* mode)
{
    int result = BeginDocument(file, dir, nullptr);
    if (result < 0)
        return result;
    if (mode && (strcmp(mode, "write") == 0 || strcmp(mode, "WRITE") == 0))
        return 0;
    return m_pState->OpenDocument(m_pszXMLFilename, m_pErrorHandler);
}

int XMLParser::InitializeSource(UtByteSource* source, const char* name)
{
    int result = BeginDocument(name, nullptr, source ? nullptr : "no byte source was given");
    if (result < 0)
        return result;
    return m_pState->OpenSource(source, m_pszXMLFilename, m_pErrorHandler);
}

int XMLParser::BeginDocument(const char* file, const char* dir, const char* missing)
{
    // The arguments may be our own texts (GetXMLFilename(), GetDefaultDir()): copy them
    // before the old ones go.
    char* name = 0;
    char* directory = 0;
    try
    {
        name = (file && *file) ? util_CopyTextOrThrow(file) : 0;
        directory = (dir && *dir) ? util_CopyTextOrThrow(dir) : 0;
    }
    catch (const std::bad_alloc&)
    {
        delete[] name;
        m_pErrorHandler->ClearReports();
        m_pState->CloseDocument();
        m_pStartTag = m_pEndTag = m_pEmptyTag = 0;
        return RaiseNoMemory(*m_pState, m_pErrorHandler, file);
    }
    m_pErrorHandler->ClearReports();
    m_pState->CloseDocument();
    m_pStartTag = m_pEndTag = m_pEmptyTag = 0;
    m_pContent->ClearBuffer();
    delete[] m_pszXMLFilename;
    m_pszXMLFilename = name;
    m_pState->settings.SetDocument(name);
    m_pState->settings.AdoptDefaultDir(directory);

    if (!name || missing)
    {
        m_pErrorHandler->AddReport(XML_ERR_BAD_ARGUMENT, ERROR_LIST_XML_PARSER, file, 0, 0, 0,
                                   name ? missing : "no document name was given");
        return XML_ERR_BAD_ARGUMENT;
    }
    int result = OnInitialize();
    return result < 0 ? result : 0;
}

char* XMLParser::GetXMLFilename()
{
    return m_pszXMLFilename;
}

char* XMLParser::GetDefaultDir()
{
    return m_pState->settings.DefaultDir();
}

int XMLParser::ProcessException(int code, unsigned long list, const char* name)
{
    return ReportException(code, list, name, true);
}

int XMLParser::ProcessRepeatedException(int code, unsigned long list, const char* name)
{
    return ReportException(code, list, name, false);
}

int XMLParser::ReportException(int code, unsigned long list, const char* name, bool origin)
{
    bool reading = m_pState->IsOpen();
    const XMLFailurePlace& placed = m_pState->scan.FailurePlace();
    XMLPlace at = XMLPlace{0, 0, -1};
    if (reading)
        at = placed.IsPlaced() ? placed.At() : GetTagPlace();
    const char* file = reading ? m_pszXMLFilename : 0;
    const char* sentence = reading && placed.IsPlaced() ? placed.Sentence() : 0;
    if (origin)
        m_pErrorHandler->AddReportSentence(code, list, name, file, at.nLine, at.nColumn, sentence, 0, at.nOffset);
    else
        m_pErrorHandler->AddRepeatedReport(code, list, name, file, at.nLine, at.nColumn, sentence);
    return code;
}

void XMLParser::SetFailurePlace(const XMLPlace& place, const char* sentence)
{
    m_pState->scan.FailurePlace().Place(place, sentence);
}

void XMLParser::ClearFailurePlace()
{
    m_pState->scan.FailurePlace().Clear();
}

void XMLParser::Warn(int code, const XMLPlace& place, const char* sentence)
{
    if (ErrorHandler* warnings = m_pState->settings.Warnings())
        warnings->AddWarning(code, m_pszXMLFilename, place.nLine, place.nColumn, sentence, place.nOffset);
}

void XMLParser::ScanEpilogue()
{
    XMLParserState& state = *m_pState;
    if (!state.settings.Warnings() || !state.IsOpen() || !state.scan.Finished() || state.failure.Sticky() != 0)
        return;
    try
    {
        state.ScanEpilogue();
    }
    catch (const std::bad_alloc&)
    {
    }
}

XMLPlace XMLParser::GetTagPlace() const
{
    return XMLPlace{GetLine(), GetColumn(), m_pState->locator.MarkOffset()};
}

const unsigned char* XMLParser::GetContentText(unsigned int* size) const
{
    if (const unsigned char* lent = m_pState->Lent(size))
        return lent;
    *size = m_pContent->GetTotalSize();
    return m_pContent->GetData();
}

void XMLParser::LendContent(bool lend)
{
    m_pState->settings.SetLendContent(lend);
}

bool XMLParser::GetContentPlace(unsigned int index, XMLPlace* place)
{
    XMLParserState& state = *m_pState;
    XMLContentRun from;
    unsigned int size = 0;
    const unsigned char* bytes = GetContentText(&size);
    if (index >= size || !state.scan.Content().CountFrom(index, &from))
        return false;
    for (unsigned int i = from.nIndex; i < index; ++i)
    {
        unsigned char c = bytes ? bytes[i] : m_pContent->ReadData((int)i);
        if (c == '\n')
        {
            from.nLine = from.nLine < 0x7FFFFFFFL ? from.nLine + 1 : from.nLine;
            from.nColumn = 1;
        }
        else if (from.nColumn < 0x7FFFFFFFL)
        {
            ++from.nColumn;
        }
    }
    from.nOffset += index - from.nIndex;
    from.nIndex = index;
    state.scan.Content().KeepCursor(from);
    *place = XMLPlace{from.nLine, from.nColumn, (long long)from.nOffset};
    return true;
}

int XMLParser::GetContentMarkupCount() const
{
    return (int)m_pState->scan.Content().MarkupCount();
}

bool XMLParser::GetContentMarkup(int index, XMLPlace* place, bool* cdata) const
{
    const XMLContentPlaces& content = m_pState->scan.Content();
    if (index < 0 || (size_t)index >= content.MarkupCount())
        return false;
    const XMLContentMarkup& markup = content.Markup((size_t)index);
    *place = XMLPlace{markup.nLine, markup.nColumn, (long long)markup.nOffset};
    *cdata = markup.bCdata;
    return true;
}

XMLPlace XMLParser::GetAttributePlace(XMLNode* node, const char* name)
{
    if (node == 0 || name == 0)
        return GetTagPlace();
    const XMLScanProgress& scan = m_pState->scan;
    for (int i = 0; i < node->GetAttributeCount() && (size_t)i < scan.AttributePlaceCount(); ++i)
    {
        if (strcmp(node->GetAttributeName(i), name) == 0)
        {
            const XMLTextPosition& at = scan.AttributePlace((size_t)i);
            return XMLPlace{at.nLine, at.nColumn, (long long)at.nOffset};
        }
    }
    return GetTagPlace();
}

int XMLParser::SetDTD(const char* path)
{
    if (!path || !*path)
    {
        m_pErrorHandler->AddReport(XML_ERR_BAD_ARGUMENT, ERROR_LIST_XML_PARSER, m_pszXMLFilename, 0, 0, 0,
                                   "no document type file was given");
        return XML_ERR_BAD_ARGUMENT;
    }
    try
    {
        m_pState->settings.SetDTD(path);
    }
    catch (const std::bad_alloc&)
    {
        return RaiseNoMemory(*m_pState, m_pErrorHandler, m_pszXMLFilename);
    }
    return 0;
}

void XMLParser::SetSizeLimits(unsigned int maxText, unsigned int maxTag)
{
    m_pState->settings.SetSizeLimits(maxText, maxTag);
}

unsigned long long XMLParser::GetDocumentSize() const
{
    unsigned long long read = GetBytesRead();
    return m_pState->window.SourceSize() > read ? m_pState->window.SourceSize() : read;
}

unsigned long long XMLParser::GetBytesRead() const
{
    // A window of the source's own bytes holds the whole document from the start: what
    // counts is how far the scan has come.
    const XMLWindow& window = m_pState->window;
    return window.InPlace() ? (unsigned long long)m_pState->nPos : window.Start() + window.End();
}

char* XMLParser::GetDTD()
{
    return m_pState->settings.DTD();
}

int XMLParser::ScanProlog()
{
    XMLParserState& state = *m_pState;
    if (!state.IsOpen())
        return RefuseClosed(m_pErrorHandler, m_pszXMLFilename);
    if (state.failure.Sticky() != 0)
        return state.failure.Sticky();
    if (state.scan.PrologDone())
        return 0;
    try
    {
        if (state.ScanProlog() < 0 || state.CheckNul(state.nPos) < 0)
            return state.RaiseProblem(m_pErrorHandler, m_pszXMLFilename);
    }
    catch (const std::bad_alloc&)
    {
        return RaiseNoMemory(state, m_pErrorHandler, m_pszXMLFilename);
    }
    return 0;
}

int XMLParser::Scan()
{
    try
    {
        return ScanItem();
    }
    catch (const std::bad_alloc&)
    {
        m_pStartTag = m_pEndTag = m_pEmptyTag = 0;
        return RaiseNoMemory(*m_pState, m_pErrorHandler, m_pszXMLFilename);
    }
}

int XMLParser::ScanItem()
{
    m_pStartTag = m_pEndTag = m_pEmptyTag = 0;
    m_pContent->ClearBuffer();
    XMLParserState& state = *m_pState;
    state.ForgetLent();
    if (!state.IsOpen())
        return RefuseClosed(m_pErrorHandler, m_pszXMLFilename);
    if (int earlier = state.EarlierFailure(m_pErrorHandler, m_pszXMLFilename))
        return earlier;
    if (state.scan.Finished())
        return XML_SCAN_NOTHING;
    int prolog = state.scan.PrologDone() ? 0 : ScanProlog();
    if (prolog < 0)
        return prolog;

    // Text, comments and processing instructions between tags are nobody's: text after
    // an element's first child is not part of its text.
    if (state.GatherText(0, state.Depth() > 0) < 0)
        return state.RaiseProblem(m_pErrorHandler, m_pszXMLFilename);
    state.WarnTextAfterChild();

    size_t end = 0;
    if (state.FindMarkupEnd(true, &end, "a tag") < 0 || state.CheckNul(end + 1) < 0)
        return state.RaiseProblem(m_pErrorHandler, m_pszXMLFilename);
    // The tag's place, taken after FindMarkupEnd: the window may have moved.
    unsigned long long tagOffset = state.window.Start() + state.nPos;
    state.SetMark(tagOffset);
    XMLNode* node = nullptr;
    if (state.TakeTag(end, &node) < 0)
        return state.RaiseProblem(m_pErrorHandler, m_pszXMLFilename);

    if (node == state.EndNode())
    {
        m_pEndTag = node;
        int accepted = OnSetEndTag();
        if (accepted < 0)
        {
            m_pEndTag = 0;
            if (state.settings.SkipsInvalidElement())
                return XML_SCAN_SKIP;
            return state.RaiseAt(accepted, tagOffset, m_pErrorHandler, m_pszXMLFilename, "the end tag was refused");
        }
        return XML_SCAN_TAG;
    }

    bool empty = node == state.EmptyNode();
    // The hook reads m_pStartTag, for an empty-element tag too.
    m_pStartTag = node;
    int accepted = OnSetStartTag();
    if (empty)
        m_pStartTag = 0;
    if (accepted < 0)
    {
        if (state.settings.SkipsInvalidElement())
        {
            if (empty)
                m_pEmptyTag = node;
            return XML_SCAN_SKIP;
        }
        m_pStartTag = 0;
        return state.RaiseAt(accepted, tagOffset, m_pErrorHandler, m_pszXMLFilename,
                             empty ? "the empty-element tag was refused" : "the start tag was refused");
    }
    if (empty)
    {
        m_pEmptyTag = node;
        return XML_SCAN_TAG;
    }

    // The element's text, up to the next tag; a text that does not fit fails at once.
    if (state.GatherContent(m_pContent) < 0)
    {
        m_pStartTag = 0;
        m_pContent->ClearBuffer();
        state.ForgetLent();
        return state.RaiseProblem(m_pErrorHandler, m_pszXMLFilename);
    }
    return XML_SCAN_TAG;
}

int XMLParser::Skip(XMLNode* node)
{
    try
    {
        return SkipElement(node);
    }
    catch (const std::bad_alloc&)
    {
        m_pStartTag = m_pEndTag = m_pEmptyTag = 0;
        return RaiseNoMemory(*m_pState, m_pErrorHandler, m_pszXMLFilename);
    }
}

int XMLParser::SkipElement(XMLNode* node)
{
    XMLParserState& state = *m_pState;
    bool current = node && node == m_pStartTag && node == state.StartNode();
    m_pStartTag = m_pEndTag = m_pEmptyTag = 0;
    if (!state.IsOpen())
        return RefuseClosed(m_pErrorHandler, m_pszXMLFilename);
    if (!current || state.Depth() == 0)
    {
        m_pErrorHandler->AddReport(XML_ERR_BAD_SKIP, ERROR_LIST_XML_PARSER, m_pszXMLFilename, m_pszXMLFilename,
                                   GetLine(), GetColumn(), "only the current start tag's element can be skipped");
        return XML_ERR_BAD_SKIP;
    }
    if (int earlier = state.EarlierFailure(m_pErrorHandler, m_pszXMLFilename))
        return earlier;

    // Everything through the end tag that brings the depth back below the element's,
    // checked like any other markup but shown to no hook.
    size_t depth = state.Depth() - 1;
    while (state.Depth() > depth)
    {
        if (state.GatherText(0) < 0)
            return state.RaiseProblem(m_pErrorHandler, m_pszXMLFilename);
        size_t end = 0;
        if (state.FindMarkupEnd(true, &end, "a tag") < 0 || state.CheckNul(end + 1) < 0)
            return state.RaiseProblem(m_pErrorHandler, m_pszXMLFilename);
        if (state.PassTag(end) < 0)
            return state.RaiseProblem(m_pErrorHandler, m_pszXMLFilename);
    }
    return 0;
}
