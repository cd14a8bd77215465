// XMLParserState: everything the parser keeps besides the members its derived classes
// see. Internal to the parser library.
//
// It is made of small parts, each keeping its fields private: the settings, kept across
// documents (XMLParserSettings); the file window (XMLWindow.h), with the scanner's place
// nPos in it; the locator; the failure state; the stack of open elements; the rest of one
// document's scan (XMLScanProgress: the places of an element's text, the text noted for a
// warning, the failure place); and, private to the state, the tag nodes and the index of
// a tag's attributes. Closing a document puts every part of the scan back to its default
// by assigning a fresh one.
//
// Line and column are worked out only when asked for. A cursor (file offset, line,
// column) moves forward through the window counting line feeds; before a refill drops
// bytes, the cursor is moved past them, so the newlines of each byte are counted once.
// The position of the last produced tag (the mark) is kept as a file offset and turned
// into line and column when a report or GetLine needs it, or just before its bytes
// are dropped.
#ifndef RIZEROZ_XMLPARSERSTATE_H
#define RIZEROZ_XMLPARSERSTATE_H

#include <stdarg.h>
#include <stdio.h>
#include <stddef.h>
#include <string.h>
#include <string>
#include <vector>

#include "UtUtility.h"
#include "XMLNameChars.h"
#include "XMLWindow.h"
#include "XMLNode.h"
#include "XMLParser.h"

class ErrorHandler;
class UtByteBuffer;

// A place in the document: file offset, line and column (both from 1).
struct XMLTextPosition
{
    unsigned long long nOffset = 0;
    long nLine = 1;
    long nColumn = 1;
};

// Where a run of an element's text (m_pContent) begins in the document: the text starts
// one run, and so does what follows each CDATA section's start and end and each comment.
struct XMLContentRun
{
    unsigned int nIndex = 0;   // first byte of the run in the text
    long nLine = 0;
    long nColumn = 0;
    unsigned long long nOffset = 0;   // the document offset of that byte
};

// A CDATA section or comment inside an element's text, at its '<'.
struct XMLContentMarkup
{
    long nLine;
    long nColumn;
    bool bCdata;
    unsigned long long nOffset;
};

// The locator (XMLLocator.cpp): file offsets to line and column. A cursor moves forward
// through the window counting line feeds; the mark is the place of the last produced tag
// (or failure), turned into line and column when asked for or before its bytes leave.
class XMLLocator
{
public:
    void SetMark(unsigned long long offset)
    {
        m_bHasMark = true;
        m_bMarkResolved = false;
        m_nMarkOffset = offset;
    }
    // The mark with its place already known.
    void PlaceMark(unsigned long long offset, long line, long column);
    void ResolveMark(const XMLWindow& window)
    {
        if (m_bHasMark && !m_bMarkResolved)
            Resolve(window);
    }
    // Place of `offset`, which lies in the window at or after the cursor.
    XMLTextPosition Locate(const XMLWindow& window, unsigned long long offset)
    {
        if (offset > m_cursor.nOffset)
            Advance(m_cursor, window, offset);
        return m_cursor;
    }
    // The same, leaving the cursor where it is: for a place ahead of what is scanned.
    XMLTextPosition LocateAhead(const XMLWindow& window, unsigned long long offset) const
    {
        XMLTextPosition at = m_cursor;
        Advance(at, window, offset);
        return at;
    }
    // Counts over the bytes before `dropTo`, which are about to leave the window.
    void BeforeDrop(const XMLWindow& window, unsigned long long dropTo);
    // Line of `offset`: the mark's when it is the mark (the cursor may be past it).
    long LineOf(const XMLWindow& window, unsigned long long offset)
    {
        ResolveMark(window);
        return m_bHasMark && m_nMarkOffset == offset ? m_nMarkLine : Locate(window, offset).nLine;
    }
    // Line and column of the mark; 0 when there is none.
    long MarkLine(const XMLWindow& window);
    long MarkColumn(const XMLWindow& window);
    // The document offset of the mark; -1 when there is none.
    long long MarkOffset() const { return m_bHasMark ? (long long)m_nMarkOffset : -1; }

private:
    void Resolve(const XMLWindow& window);
    static void Advance(XMLTextPosition& at, const XMLWindow& window, unsigned long long offset);

    XMLTextPosition m_cursor;
    bool m_bHasMark = false;
    bool m_bMarkResolved = false;
    unsigned long long m_nMarkOffset = 0;
    long m_nMarkLine = 0;
    long m_nMarkColumn = 0;
};

// The failure state (XMLLocator.cpp): the problem found last, the one kept for the next
// Scan (pending), and the code every later Scan repeats (sticky).
class XMLFailure
{
public:
    int Record(int code, unsigned long long offset, const char* format, va_list args);
    int Code() const { return m_nCode; }
    void Forget() { m_nCode = 0; }
    unsigned long long Offset() const { return m_nOffset; }
    const char* Detail() const { return m_szDetail; }
    // The system's errno of a failed read (XML_ERR_READ), given after Record; 0 otherwise.
    int Errno() const { return m_nErrno; }
    void SetErrno(int error) { m_nErrno = error; }
    int Sticky() const { return m_nSticky; }
    // Makes `code` (by default the recorded problem's) the sticky one and returns it.
    int MakeSticky() { return m_nSticky = m_nCode; }
    void SetSticky(int code) { m_nSticky = code; }
    bool IsPending() const { return m_bPending; }
    void Defer(const XMLTextPosition& at)
    {
        m_pending = at;
        m_bPending = true;
    }
    // The pending problem's place; it is pending no more.
    XMLTextPosition TakePending()
    {
        m_bPending = false;
        return m_pending;
    }

private:
    int m_nCode = 0;
    unsigned long long m_nOffset = 0;
    int m_nErrno = 0;
    char m_szDetail[320] = {};
    int m_nSticky = 0;
    bool m_bPending = false;
    XMLTextPosition m_pending;
};

// The open elements, innermost last: names back to back, with their
// start offsets, and the line where each start tag begins.
class XMLElementStack
{
public:
    size_t Depth() const { return m_aStarts.size(); }
    void Push(const std::string& name, long line)
    {
        m_aLines.push_back(line);
        m_aStarts.push_back(m_sNames.size());
        m_sNames.append(name);
    }
    void Pop()
    {
        m_sNames.resize(m_aStarts.back());
        m_aStarts.pop_back();
        m_aLines.pop_back();
    }
    // The innermost element's name (Depth() > 0) and the line of its start tag.
    const char* InnermostName() const { return m_sNames.c_str() + m_aStarts.back(); }
    long InnermostLine() const { return m_aLines.back(); }

private:
    std::string m_sNames;
    std::vector<size_t> m_aStarts;
    std::vector<long> m_aLines;
};

// The places of the current start tag's text: where each run of it begins (the text
// starts one run, and so does what follows each CDATA section's start and end and each
// comment), the CDATA sections and comments in it, and the place GetContentPlace worked
// out last.
class XMLContentPlaces
{
public:
    void Clear()
    {
        m_aRuns.clear();
        m_aMarkup.clear();
        m_cursor.nLine = 0;
    }
    void AddRun(const XMLContentRun& run) { m_aRuns.push_back(run); }
    void AddMarkup(const XMLContentMarkup& markup) { m_aMarkup.push_back(markup); }
    size_t MarkupCount() const { return m_aMarkup.size(); }
    const XMLContentMarkup& Markup(size_t index) const { return m_aMarkup[index]; }
    // Where counting towards text byte `index` starts: the start of the run that holds it,
    // or the place worked out last when that lies in the same run, at or before `index`
    // (so that places asked for in order cost one pass over the text). False when the
    // text has no runs.
    bool CountFrom(unsigned int index, XMLContentRun* from) const;
    // The place just worked out.
    void KeepCursor(const XMLContentRun& at) { m_cursor = at; }

private:
    std::vector<XMLContentRun> m_aRuns;
    std::vector<XMLContentMarkup> m_aMarkup;
    XMLContentRun m_cursor;
};

// Text that GatherText passes over after a child element: while noting is on, the first
// run that is not white space, its place and its first 40 bytes.
class XMLNotedText
{
public:
    bool IsNoting() const { return m_bNoting; }
    void SetNoting(bool noting) { m_bNoting = noting; }
    // Noting is on and nothing is noted yet.
    bool Wants() const { return m_bNoting && !m_bNoted; }
    void Note(const XMLTextPosition& at, const char* text, size_t count)
    {
        m_bNoted = true;
        m_at = at;
        m_sText.assign(text, count < 40 ? count : 40);
    }
    // True when a text was noted, which is then forgotten (its place and text stay).
    bool Take()
    {
        bool noted = m_bNoted;
        m_bNoted = false;
        return noted;
    }
    const XMLTextPosition& Place() const { return m_at; }
    const std::string& Text() const { return m_sText; }

private:
    bool m_bNoting = false;
    bool m_bNoted = false;
    XMLTextPosition m_at;
    std::string m_sText;
};

// The place and sentence that the derived class gives the failure it reports next
// (XMLParser::SetFailurePlace).
class XMLFailurePlace
{
public:
    // Without memory for the sentence, the place is kept with an empty one.
    void Place(const XMLPlace& at, const char* sentence);
    void Clear() { m_bPlaced = false; }
    bool IsPlaced() const { return m_bPlaced; }
    const XMLPlace& At() const { return m_at; }
    const char* Sentence() const { return m_sSentence.c_str(); }

private:
    bool m_bPlaced = false;
    XMLPlace m_at = {0, 0, -1};
    std::string m_sSentence;
};

// What else the scan of one document keeps: how far it has come, the places of the
// current start tag's text and attributes, the text noted for a warning, and the
// failure place the derived class set.
class XMLScanProgress
{
public:
    bool PrologDone() const { return m_bPrologDone; }
    void EndProlog() { m_bPrologDone = true; }
    // The root element has ended.
    bool Finished() const { return m_bFinished; }
    void Finish() { m_bFinished = true; }

    XMLContentPlaces& Content() { return m_content; }
    const XMLContentPlaces& Content() const { return m_content; }

    // With warnings on, the place of each attribute value of the last start or empty tag.
    void ClearAttributePlaces() { m_aAttributePlaces.clear(); }
    void AddAttributePlace(const XMLTextPosition& at) { m_aAttributePlaces.push_back(at); }
    size_t AttributePlaceCount() const { return m_aAttributePlaces.size(); }
    const XMLTextPosition& AttributePlace(size_t index) const { return m_aAttributePlaces[index]; }

    XMLNotedText& Noted() { return m_noted; }
    // The place of the first NUL byte of the document, once the window has met one.
    bool NulPlaced() const { return m_bNulPlaced; }
    const XMLTextPosition& NulPlace() const { return m_nulPlace; }
    void PlaceNul(const XMLTextPosition& at)
    {
        m_nulPlace = at;
        m_bNulPlaced = true;
    }
    XMLFailurePlace& FailurePlace() { return m_failurePlace; }
    const XMLFailurePlace& FailurePlace() const { return m_failurePlace; }

private:
    bool m_bPrologDone = false;
    bool m_bFinished = false;
    bool m_bNulPlaced = false;
    XMLTextPosition m_nulPlace;
    XMLContentPlaces m_content;
    std::vector<XMLTextPosition> m_aAttributePlaces;
    XMLNotedText m_noted;
    XMLFailurePlace m_failurePlace;
};

// The parser's settings, kept across documents: the default folder and the document type
// file (owned texts, or null), whether refused elements are skipped, the size limits,
// where warnings go (null while they are off) and the document's name in them.
class XMLParserSettings
{
public:
    XMLParserSettings() = default;
    XMLParserSettings(const XMLParserSettings&) = delete;
    XMLParserSettings& operator=(const XMLParserSettings&) = delete;
    ~XMLParserSettings()
    {
        delete[] m_pszDefaultDir;
        delete[] m_pszDTD;
    }

    // Takes `other`'s settings: copies of its texts (std::bad_alloc when memory runs
    // out), warnings going to `warnings` when `other`'s are on, and `document` as the
    // name in warnings.
    void CopyFrom(const XMLParserSettings& other, ErrorHandler* warnings, const char* document);

    char* DefaultDir() const { return m_pszDefaultDir; }
    // Takes ownership of `dir` (or null).
    void AdoptDefaultDir(char* dir)
    {
        delete[] m_pszDefaultDir;
        m_pszDefaultDir = dir;
    }
    char* DTD() const { return m_pszDTD; }
    // Keeps a copy of `path`; std::bad_alloc when memory runs out.
    void SetDTD(const char* path);
    bool SkipsInvalidElement() const { return m_bSkipInvalidElement; }
    void EnableSkipInvalidElement() { m_bSkipInvalidElement = true; }
    // Longest element text taken, in bytes, and longest tag (or name) kept whole in the
    // window; 0 stands for the default, and a tag limit above it for the default too.
    unsigned int MaxText() const { return m_nMaxText; }
    unsigned int MaxTag() const { return m_nMaxTag; }
    void SetSizeLimits(unsigned int maxText, unsigned int maxTag)
    {
        m_nMaxText = maxText == 0 ? XML_MAX_TEXT : maxText;
        m_nMaxTag = maxTag == 0 || maxTag > XML_MAX_TAG ? XML_MAX_TAG : maxTag;
    }
    ErrorHandler* Warnings() const { return m_pWarnings; }
    void SetWarnings(ErrorHandler* warnings) { m_pWarnings = warnings; }
    const char* Document() const { return m_pszDocument; }
    void SetDocument(const char* document) { m_pszDocument = document; }

private:
    char* m_pszDefaultDir = nullptr;
    char* m_pszDTD = nullptr;
    bool m_bSkipInvalidElement = false;
    unsigned int m_nMaxText = XML_MAX_TEXT;
    unsigned int m_nMaxTag = XML_MAX_TAG;
    ErrorHandler* m_pWarnings = nullptr;
    const char* m_pszDocument = nullptr;   // the parser's member
};

// Which of a tag's attributes have been seen: a plain search while a tag has few
// attributes, a hash table of their indexes (kept in step as they are added) past that.
class XMLAttributeIndex
{
public:
    // A new tag begins.
    void Reset() { m_nHashed = 0; }
    // `node` has an attribute `name` of `length` bytes already.
    bool Contains(XMLNode* node, const char* name, size_t length);
    // Attribute `index` was just added to `node`.
    void Added(XMLNode* node, int index);

private:
    void Insert(XMLNode* node, int index);

    std::vector<int> m_aSlots;
    int m_nHashed = 0;   // attributes in the table; 0 while none is
};

// The attributes of a start tag, or the pseudo-attributes of the XML declaration, from
// `from` to `stop`: each is white space, a name, '=' (white space around it allowed) and a
// value in double or single quotes. The caller says what a fault means where it stands.
class XMLAttributeCursor
{
public:
    enum Fault
    {
        kNone,
        kNoEquals,   // no '=' after the name
        kNoQuote,    // no quote where the value is due
        kUnclosed    // the value's quote is not closed
    };

    XMLAttributeCursor(const char* from, const char* stop) : m_p(from), m_stop(stop) {}

    // Skips white space; false at the end. At() is then the next attribute's first byte.
    bool Next()
    {
        const char* space = m_p;
        SkipSpace();
        m_bSpaced = m_p > space;
        return m_p != m_stop;
    }
    // White space stood before At().
    bool Spaced() const { return m_bSpaced; }
    const char* At() const { return m_p; }
    // Passes over the name at At(); returns its length (0 when none stands there).
    size_t Name()
    {
        const char* name = m_p;
        while (m_p < m_stop && XMLIsNameChar(*m_p))
            ++m_p;
        return (size_t)(m_p - name);
    }
    // After the name: '=' and the quoted value. At() is the fault's place, or the opening
    // quote; afterwards Next() goes on behind the closing quote.
    Fault Value(const char** value, size_t* length)
    {
        SkipSpace();
        if (m_p == m_stop || *m_p != '=')
            return kNoEquals;
        ++m_p;
        SkipSpace();
        if (m_p == m_stop || (*m_p != '"' && *m_p != '\''))
            return kNoQuote;
        const char* close = (const char*)memchr(m_p + 1, *m_p, (size_t)(m_stop - (m_p + 1)));
        if (!close)
            return kUnclosed;
        *value = m_p + 1;
        *length = (size_t)(close - (m_p + 1));
        m_quote = m_p;
        m_p = close + 1;
        return kNone;
    }
    // The opening quote of the value Value() found last.
    const char* Quote() const { return m_quote; }

private:
    void SkipSpace()
    {
        while (m_p < m_stop && XMLIsSpace(*m_p))
            ++m_p;
    }

    const char* m_p;
    const char* const m_stop;
    const char* m_quote = nullptr;
    bool m_bSpaced = false;
};

struct XMLParserState
{
    XMLParserState() = default;
    XMLParserState(const XMLParserState&) = delete;
    XMLParserState& operator=(const XMLParserState&) = delete;
    ~XMLParserState() { CloseDocument(); }

    // --- settings, kept across documents (XMLParser.cpp) ---
    XMLParserSettings settings;

    // --- the open document: its parts (XMLScanner.cpp) ---
    XMLWindow window;
    size_t nPos = 0;   // the next window byte to scan
    XMLLocator locator;
    XMLFailure failure;
    XMLElementStack elements;
    XMLScanProgress scan;

    // Opens the file `path` and reads the first window. 0, or XML_ERR_OPEN / XML_ERR_READ
    // with a report on `errors`.
    int OpenDocument(const char* path, ErrorHandler* errors);
    // Reads `source`, the document named `name`, from now on; nothing is read yet, so a
    // source that fails at once fails the first scan, as any later failure does. 0, or
    // XML_ERR_NO_MEMORY with a report on `errors`.
    int OpenSource(UtByteSource* source, const char* name, ErrorHandler* errors);
    // Closes the file, frees the window and forgets the scan state.
    void CloseDocument();
    // Every part of the scan back to its default.
    void ResetScan();
    bool IsOpen() const { return window.IsOpen(); }

    size_t Fill(size_t keep);
    size_t Ensure(size_t count);
    // 1 when the bytes at nPos spell `literal`, 0 when they do not, -1 when the
    // document ends while they still might.
    int MatchLiteral(const char* literal, size_t length);
    size_t SkipWhiteSpace();
    size_t ScanName();

    // --- line tracking ---
    void SetMark(unsigned long long offset) { locator.SetMark(offset); }
    void ResolveMark() { locator.ResolveMark(window); }
    XMLTextPosition Locate(unsigned long long offset) { return locator.Locate(window, offset); }
    // Line and column of window index `index`, counted after the mark (which lies before).
    XMLTextPosition LocateIndex(size_t index);

    // --- problems ---
    // Scanning helpers record the problem found and return its code; the parser reports
    // it at once, or after the start tag it belongs behind (pending).
    int Problem(int code, size_t index, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 4, 5)))
#endif
        ;
    int EndProblem(const char* inside);
    // XML_ERR_NUL when a NUL byte stands before window index `index`, else 0: what the
    // scan hands on must hold none.
    int CheckNul(size_t index);
    // XML_ERR_ENCODING at nPos: the document is in the wide `encoding`.
    int EncodingProblem(const char* encoding);
    // Reports the recorded problem (now, or as the pending one) and makes it sticky.
    int RaiseProblem(ErrorHandler* errors, const char* document);
    // The recorded problem's line and column.
    XMLTextPosition FailurePosition();
    // Keeps the recorded problem for the next Scan, with its place worked out now.
    void DeferProblem();
    int RaisePending(ErrorHandler* errors, const char* document);
    // The failure a scan gives before it reads on: the sticky one, or the pending one,
    // raised now; 0 when there is none.
    int EarlierFailure(ErrorHandler* errors, const char* document)
    {
        if (failure.Sticky() != 0)
            return failure.Sticky();
        return failure.IsPending() ? RaisePending(errors, document) : 0;
    }
    // Records and raises a failure that no scanning helper found (a refusing hook).
    int RaiseAt(int code, unsigned long long offset, ErrorHandler* errors, const char* document, const char* detail);

    // --- warnings (XMLScanner.cpp) ---
    // Records a warning at window index `index` (when warnings are on).
    void Warn(int code, size_t index, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 4, 5)))
#endif
        ;
    void NoteDroppedText(const char* data, size_t count);
    // Warns at the text noted after a child element (XML_WARN_TEXT_AFTER_CHILD), if any.
    void WarnTextAfterChild();
    int ScanEpilogue();

    // The start tag just parsed (its name in m_sName) opens an element: one level deeper,
    // an empty-element tag too, and XML_ERR_TOO_DEEP past XML_MAX_DEPTH levels.
    int OpenElement(bool empty, size_t tagIndex);
    int PopElement(const char* name, size_t tagIndex);
    size_t Depth() const
    {
        return elements.Depth();
    }

    // Text, comments, processing instructions and CDATA up to the next tag; the text
    // and CDATA contents go to `sink` when it is not null. With `note` (and warnings on),
    // text that is not white space is noted (NoteDroppedText).
    int GatherText(UtByteBuffer* sink, bool note = false);
    // The text of the start tag just taken, into `content`, its runs placed. When the
    // document fails before the next tag, the start tag is still reported with the text
    // so far and the failure is kept for the next Scan (0); a text that does not fit (too
    // large, or no memory) or holds a NUL byte fails at once: it is never handed on cut
    // short (negative).
    int GatherContent(UtByteBuffer* content);
    int GatherRuns(UtByteBuffer* sink);
    int GatherMarkup(UtByteBuffer* sink);
    void BeginContentRun(UtByteBuffer* sink, size_t index);
    void AddContentMarkup(UtByteBuffer* sink, bool cdata);
    // Appends `count` window bytes at `data` to `sink` (when there is one), within nMaxText.
    int EmitText(UtByteBuffer* sink, const char* data, size_t count);
    int SkipComment();
    int SkipProcessingInstruction(bool inProlog);
    int ConsumeThrough(const char* terminator, size_t length, UtByteBuffer* sink, const char* inside);
    int FindMarkupEnd(bool keep, size_t* pEnd, const char* inside);

    // Tags: the markup from nPos to the terminator at `end` (XMLTags.cpp).
    // The tag from nPos to `end`, parsed into the node of its kind (StartNode(),
    // EmptyNode() or EndNode(), *node tells which), the open elements updated and nPos
    // moved past it. When no element is open afterwards, the root element has ended.
    int TakeTag(size_t end, XMLNode** node)
    {
        return TakeTag(end, &m_nodeStart, &m_nodeEmpty, &m_nodeEnd, node);
    }
    // The same, into a node no hook sees (Skip).
    int PassTag(size_t end)
    {
        XMLNode* taken = nullptr;
        return TakeTag(end, &m_nodeScratch, &m_nodeScratch, &m_nodeScratch, &taken);
    }
    XMLNode* StartNode()
    {
        return &m_nodeStart;
    }
    XMLNode* EmptyNode()
    {
        return &m_nodeEmpty;
    }
    XMLNode* EndNode()
    {
        return &m_nodeEnd;
    }
    // A start tag (not an end tag) from `tagIndex` to `end` is an empty-element tag.
    bool IsEmptyElementTag(size_t tagIndex, size_t end) const
    {
        const char* data = window.Data();
        return data[end] == '>' && end - tagIndex >= 2 && data[end - 1] == '/';
    }

    // Prolog (XMLProlog.cpp).
    int ScanProlog();
    int CheckEncoding();
    int PrologInstruction(size_t available, bool atStart);
    int PrologMarkupDeclaration(bool* seenDocumentType);
    int ParseDeclaration();
    int ParseDocumentType();
    int SkipInternalSubset();
    int QuotedLiteral();

private:
    int TakeTag(size_t end, XMLNode* startNode, XMLNode* emptyNode, XMLNode* endNode, XMLNode** node);
    int ParseStartTag(size_t end, bool empty, XMLNode* node);
    int AttributeStartProblem(char c, size_t at, bool spaced, const char* name, size_t nameLength);
    int AttributeValueProblem(int fault, size_t at, const char* attribute, size_t attributeLength);
    int ParseEndTag(size_t end, XMLNode* node);

    XMLNode m_nodeStart;
    XMLNode m_nodeEnd;
    XMLNode m_nodeEmpty;
    XMLNode m_nodeScratch;   // the tags Skip passes over
    std::string m_sName;     // the name of the tag parsed last
    XMLAttributeIndex m_attributes;
};

#endif
