// XMLParser: a streaming, non-validating pull parser for a derived class to build on.
//
// A derived class initialises the parser on a document, scans the prolog, and then asks
// for one item at a time with Scan(). Inside Scan the parser calls the derived class's
// OnSetStartTag or OnSetEndTag for the tag it has just made current; a negative result
// refuses the tag. When a start tag is reported, m_pContent already holds the element's
// text as written, up to its end tag or its first child element.
//
// The document is read through a window of fixed size, so memory does not grow with
// the document, only with its largest element text and largest tag. An element text or
// a tag larger than the limits fails with XML_ERR_TOO_LARGE; memory that runs out fails
// with XML_ERR_NO_MEMORY. Nothing is thrown out of the parser.
#ifndef RIZEROZ_XMLPARSER_H
#define RIZEROZ_XMLPARSER_H

#include "RizErozExport.h"
#include "UtObject.h"
#include "XMLNode.h"
#include "UtByteBuffer.h"
#include "ErrorHandler.h"
#include "ResultCodes.h"

// The parser's own result codes (ResultCodes.h). They never overlap the codes of classes
// built on it.
enum
{
    RIZEROZ_XML_PARSER_RESULTS(RIZEROZ_RESULT_ENUM)
};

// The most the parser's buffers hold, in bytes, and so its default limits: one
// element's text, and one tag with its attribute values (see SetSizeLimits).
const unsigned int XML_MAX_TEXT = 0xFFFFFFFFu;
const unsigned int XML_MAX_TAG = 0x7FFFFFF0u;

// Deepest element nesting the parser accepts.
enum
{
    XML_MAX_DEPTH = 1000
};

// Result of Scan() besides failures.
enum
{
    XML_SCAN_TAG = 0,       // one of m_pStartTag, m_pEndTag, m_pEmptyTag is set
    XML_SCAN_NOTHING = 1,   // nothing for the derived class (the document has ended)
    XML_SCAN_SKIP = 2       // an element its hook refused, to be skipped
};

struct XMLParserState;
class UtByteSource;

// A place in the document: line and column from 1 (0 when not known) and the byte offset
// from 0 (-1 when not known).
struct XMLPlace
{
    long nLine;
    long nColumn;
    long long nOffset;
};

class RIZEROZ_API XMLParser : public UtObject
{
public:
    XMLParser();
    XMLParser(const XMLParser& other);
    XMLParser& operator=(const XMLParser& other);
    virtual ~XMLParser();

    // Hooks for the derived class. Called inside Scan for the tag just made current;
    // a negative result refuses it.
    virtual int OnSetStartTag();
    virtual int OnSetEndTag();
    // Called by Initialize before the document is opened; a negative result fails it.
    virtual int OnInitialize();

    XMLNode* GetStartTag() { return m_pStartTag; }
    XMLNode* GetEmptyTag() { return m_pEmptyTag; }
    XMLNode* GetEndTag() { return m_pEndTag; }

    // Non-zero for space, tab, line feed and carriage return; 0 for every other
    // character, the character 0 and ',' included.
    static int IsWhiteSpace(char c);

    // The reports recorded so far. Never null.
    ErrorHandler* GetErrorHandler() { return m_pErrorHandler; }

    // Line and column (from 1) where the tag that the last Scan produced begins, or
    // where the last failure was found; 0 before anything was scanned.
    long GetLine() const;
    long GetColumn() const;

    // Warnings (ReadWarnings.h): off by default. Once enabled, for this and every later
    // document, what a read takes leniently is recorded on the error handler's list of
    // warnings (ErrorHandler::GetWarning), and nothing else changes: results and the
    // reports of every other list are the same either way.
    void EnableWarnings(bool enable = true);
    bool GetWarningsEnabled() const;

protected:
    // Afterwards Scan reports a refused element as XML_SCAN_SKIP instead of failing.
    void EnableSkipInvalidElement();

    // Keeps `file` and `dir` (an empty dir counts as none), drops the reports and any
    // document of an earlier initialisation, calls OnInitialize, and for a mode other
    // than "write" and "WRITE" opens the document. 0 or a negative code.
    int Initialize(const char* file, const char* dir, const char* mode);
    // The same for reading the document that `source` gives (UtByteSource.h; the caller
    // keeps it until the reading is over), named `name` in reports and warnings; there
    // is no default folder. A null source or an empty name gives XML_ERR_BAD_ARGUMENT.
    // A copy of a parser reading a source holds no document.
    int InitializeSource(UtByteSource* source, const char* name);

    char* GetXMLFilename();
    char* GetDefaultDir();

    // Records a report of `code` under `list` with `name` as its text, placed at the
    // current line and column (and byte offset) when a document is being read: the
    // failure's origin (ErrorHandler::GetFailure). Returns `code`.
    int ProcessException(int code, unsigned long list, const char* name);
    // The same for a failure reported already where it arose (by the parser, or by
    // ProcessException at a level below), as a level above passes it on: the report is
    // made as ProcessException makes it, and the origin stays the one reported first.
    int ProcessRepeatedException(int code, unsigned long list, const char* name);

    // Records the document type file's path. Negative only for a null or empty path:
    // the parser does not validate, so the file need not exist.
    int SetDTD(const char* path);
    char* GetDTD();

    // Reads what precedes the root element: byte order mark, XML declaration,
    // comments, processing instructions and a document type declaration.
    int ScanProlog();

    // One item: a negative code, XML_SCAN_NOTHING, XML_SCAN_SKIP, or XML_SCAN_TAG with
    // exactly one of the three tag members set.
    int Scan();

    // Consumes the element whose start tag `node` is current, through its end tag.
    int Skip(XMLNode* node);

    // After the root element has ended: with warnings enabled, reads what follows it and
    // warns at the first thing other than white space, a comment or a processing
    // instruction (XML_WARN_AFTER_ROOT). Reads nothing otherwise; never fails.
    void ScanEpilogue();

    // The place of the tag that the last Scan produced, or of the last failure (GetLine,
    // GetColumn, and its byte offset); line 0 and offset -1 before anything was scanned.
    XMLPlace GetTagPlace() const;
    // The current start tag's text, and its size: m_pContent's bytes, or, when the class
    // asked for texts to be lent (LendContent), where the text lies in the document's
    // bytes in memory. A lent text stays there until the next Scan; m_pContent is then empty.
    const unsigned char* GetContentText(unsigned int* size) const;
    // Lends texts that are one run of characters (no markup inside) instead of copying
    // them into m_pContent, from the next Scan on.
    void LendContent(bool lend);
    // The place in the document of byte `index` of the current start tag's text
    // (GetContentText); false when the index is outside the text.
    bool GetContentPlace(unsigned int index, XMLPlace* place);
    // CDATA sections and comments that stood inside that text: how many, and where each
    // begins (its '<'); `cdata` tells which of the two it is.
    int GetContentMarkupCount() const;
    bool GetContentMarkup(int index, XMLPlace* place, bool* cdata) const;
    // The place of the value of attribute `name` of the tag that the last Scan produced
    // (`node`); the tag's own place when warnings are off or there is no such attribute.
    XMLPlace GetAttributePlace(XMLNode* node, const char* name);
    // Records a warning at a place of the document, named after the document.
    void Warn(int code, const XMLPlace& place, const char* sentence);

    // The failure being reported: ProcessException places its reports at `place` and
    // gives `sentence` in place of the code's meaning, until the next Initialize or
    // ClearFailurePlace.
    void SetFailurePlace(const XMLPlace& place, const char* sentence);
    void ClearFailurePlace();

    int IsDigit(char c);

    // Largest element text and largest tag (attribute values included), in bytes, that
    // later scans take; 0, or more than the buffers hold, means XML_MAX_TEXT / XML_MAX_TAG.
    void SetSizeLimits(unsigned int maxText, unsigned int maxTag);
    // Size of the open document in bytes: the file's size when it is a regular file, and
    // never less than what has been read of it.
    unsigned long long GetDocumentSize() const;
    // Bytes of the open document read from it so far.
    unsigned long long GetBytesRead() const;

    // The first members, in this order, are part of the interface for derived classes.
    ErrorHandler* m_pErrorHandler;   // owned
    char* m_pszXMLFilename;          // owned; the document's name as given to Initialize
    XMLNode* m_pStartTag;            // the tag the last Scan produced (one of three), or null
    XMLNode* m_pEndTag;
    XMLNode* m_pEmptyTag;
    UtByteBuffer* m_pContent;   // owned; text of the current start tag's element

private:
    // What Initialize and InitializeSource share, up to the opening: `missing` names an
    // argument missing besides the name (null when none is).
    int BeginDocument(const char* file, const char* dir, const char* missing);
    int ScanItem();
    int SkipElement(XMLNode* node);
    // ProcessException's report: the failure's origin, or a level above's repeat of it.
    int ReportException(int code, unsigned long list, const char* name, bool origin);

    XMLParserState* m_pState;   // owned; everything else the parser keeps
};

#endif
