// XMLParserState: everything the parser keeps besides the members its derived classes
// see. Internal to the parser library.
//
// The document is read through a window: pWindow[0, nEnd) holds bytes of the file,
// pWindow[nPos] is the next one to scan, and nWindowStart is the file offset of
// pWindow[0]. Fill() drops the bytes in front of a given index, moves the rest to the
// front and reads behind them; it grows the window only when the bytes it must keep
// already fill it (a tag larger than the window), and returns to the normal size at a
// later refill. Offsets into the file are 64-bit, so documents beyond 4 GiB are read.
//
// Line and column are worked out only when asked for. A cursor (file offset, line,
// column) moves forward through the window counting line feeds; before a refill drops
// bytes, the cursor is moved past them, so the newlines of each byte are counted once.
// The position of the last produced tag (the mark) is kept as a file offset and turned
// into line and column when a report or GetLine needs it, or just before its bytes
// are dropped.
#ifndef RIZEROZ_XMLPARSERSTATE_H
#define RIZEROZ_XMLPARSERSTATE_H

#include <stdio.h>
#include <stddef.h>
#include <array>
#include <string>
#include <vector>

#include "UtUtility.h"
#include "XMLNode.h"

class ErrorHandler;
class UtByteBuffer;

// Character classes of the scanner, one table lookup per byte.
enum
{
    XML_CLASS_SPACE = 1,        // space, tab, line feed, carriage return
    XML_CLASS_NAME_START = 2,   // may start a name: letters, '_', ':', bytes from 0x80
    XML_CLASS_NAME = 4,         // may continue a name: the above, digits, '-', '.'
    XML_CLASS_MARKUP_STOP = 8   // ends a run of tag text: '<', '>', '"', '\''
};

constexpr std::array<unsigned char, 256> MakeXMLCharClasses()
{
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c)
    {
        unsigned char bits = 0;
        if (util_IsWhiteSpace((char)c))
            bits |= XML_CLASS_SPACE;
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (letter || c == '_' || c == ':' || c >= 0x80)
            bits |= XML_CLASS_NAME_START | XML_CLASS_NAME;
        if ((c >= '0' && c <= '9') || c == '-' || c == '.')
            bits |= XML_CLASS_NAME;
        if (c == '<' || c == '>' || c == '"' || c == '\'')
            bits |= XML_CLASS_MARKUP_STOP;
        table[c] = bits;
    }
    return table;
}

inline constexpr std::array<unsigned char, 256> g_aXMLCharClass = MakeXMLCharClasses();

inline bool XMLIsSpace(char c)
{
    return (g_aXMLCharClass[(unsigned char)c] & XML_CLASS_SPACE) != 0;
}
inline bool XMLIsNameStart(char c)
{
    return (g_aXMLCharClass[(unsigned char)c] & XML_CLASS_NAME_START) != 0;
}
inline bool XMLIsNameChar(char c)
{
    return (g_aXMLCharClass[(unsigned char)c] & XML_CLASS_NAME) != 0;
}

// A place in the document: file offset, line and column (both from 1).
struct XMLTextPosition
{
    unsigned long long nOffset;
    long nLine;
    long nColumn;
};

// Where a run of an element's text (m_pContent) begins in the document: the text starts
// one run, and so does what follows each CDATA section's start and end and each comment.
struct XMLContentRun
{
    unsigned int nIndex;   // first byte of the run in the text
    long nLine;
    long nColumn;
};

// A CDATA section or comment inside an element's text, at its '<'.
struct XMLContentMarkup
{
    long nLine;
    long nColumn;
    bool bCdata;
};

struct XMLParserState
{
    // Normal size of the window; a larger tag grows it for as long as it is needed.
    static constexpr size_t kWindowSize = 256 * 1024;

    XMLParserState();
    ~XMLParserState();

    // --- settings, kept across documents (XMLParser.cpp) ---
    char* pszDefaultDir;   // owned, or null
    char* pszDTD;          // owned, or null
    bool bSkipInvalidElement;
    unsigned int nMaxText;     // longest element text taken, in bytes
    unsigned int nMaxTag;      // longest tag (or name) kept whole in the window, in bytes
    ErrorHandler* pWarnings;   // where warnings go, or null while they are off
    const char* pszDocument;   // the document's name in warnings (the parser's member)

    // --- the open document (XMLScanner.cpp) ---
    FILE* pFile;
    bool bOpen;                     // a document is open for scanning
    bool bEndOfFile;                // the file has given its last byte
    int nReadErrno;                 // errno of a failed read, 0 when none failed
    bool bTooLarge;                 // one item outgrew nMaxTag: the window stops filling
    unsigned long long nFileSize;   // size of a regular file, else 0
    char* pWindow;                  // owned (malloc)
    size_t nCapacity;
    size_t nPos;
    size_t nEnd;
    unsigned long long nWindowStart;

    // Opens `path` and reads the first window. 0, or XML_ERR_OPEN / XML_ERR_READ with a
    // report on `errors`.
    int OpenDocument(const char* path, ErrorHandler* errors);
    // Closes the file, frees the window and forgets the scan state.
    void CloseDocument();
    void ResetScan();

    size_t Fill(size_t keep);
    size_t Ensure(size_t count);
    // 1 when the bytes at nPos spell `literal`, 0 when they do not, -1 when the
    // document ends while they still might.
    int MatchLiteral(const char* literal, size_t length);
    size_t SkipWhiteSpace();
    size_t ScanName();

    // --- line tracking (XMLScanner.cpp) ---
    XMLTextPosition cursor;
    bool bHasMark;   // a tag was produced or a failure found
    bool bMarkResolved;
    unsigned long long nMarkOffset;
    long nMarkLine;
    long nMarkColumn;

    void SetMark(unsigned long long offset);
    void ResolveMark();
    XMLTextPosition Locate(unsigned long long offset);
    // Line and column of window index `index`, counted after the mark (which lies before).
    XMLTextPosition LocateIndex(size_t index);

    // --- scan state (XMLScanner.cpp, XMLProlog.cpp, XMLParser.cpp) ---
    bool bPrologDone;
    bool bFinished;    // the root element has ended
    int nStickyCode;   // failure every later Scan repeats, 0 when none
    // The problem found last: scanning helpers record it and return its code; the
    // parser reports it at once, or after the start tag it belongs behind (pending).
    int nProblemCode;
    unsigned long long nProblemOffset;
    char szProblemDetail[320];
    bool bProblemPending;
    long nPendingLine;
    long nPendingColumn;

    int Problem(int code, size_t index, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 4, 5)))
#endif
        ;
    int EndProblem(const char* inside);
    // Reports the recorded problem (now, or as the pending one) and makes it sticky.
    int RaiseProblem(ErrorHandler* errors, const char* document);
    // Keeps the recorded problem for the next Scan, with its place worked out now.
    void DeferProblem();
    int RaisePending(ErrorHandler* errors, const char* document);
    // Records and raises a failure that no scanning helper found (a refusing hook).
    int RaiseAt(int code, unsigned long long offset, ErrorHandler* errors, const char* document, const char* detail);
    // The place and sentence ProcessException gives the failure being reported.
    bool bFailurePlaced;
    long nFailureLine;
    long nFailureColumn;
    std::string sFailureSentence;

    // --- warnings (XMLScanner.cpp) ---
    // Records a warning at window index `index` (when warnings are on).
    void Warn(int code, size_t index, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 4, 5)))
#endif
        ;
    // Text that GatherText passes over after a child element: the first run that is not
    // white space, noted while bNoting is set.
    bool bNoting;
    bool bTextNoted;
    long nNotedLine;
    long nNotedColumn;
    std::string sNotedText;
    void NoteDroppedText(const char* data, size_t count);
    int ScanEpilogue();

    // Open elements, innermost last: names back to back, with their start offsets, and
    // the line where each start tag begins.
    std::string sOpenNames;
    std::vector<size_t> aOpenStarts;
    std::vector<long> aOpenLines;
    // The start tag just parsed (its name in sName) opens an element: one level deeper,
    // an empty-element tag too, and XML_ERR_TOO_DEEP past XML_MAX_DEPTH levels.
    int OpenElement(bool empty, size_t tagIndex);
    int PopElement(const char* name, size_t tagIndex);
    size_t Depth() const
    {
        return aOpenStarts.size();
    }

    // Text, comments, processing instructions and CDATA up to the next tag; the text
    // and CDATA contents go to `sink` when it is not null. With `note` (and warnings on),
    // text that is not white space is noted (NoteDroppedText).
    int GatherText(UtByteBuffer* sink, bool note = false);
    int GatherRuns(UtByteBuffer* sink);
    // The runs and markup of the current start tag's text.
    std::vector<XMLContentRun> aContentRuns;
    std::vector<XMLContentMarkup> aContentMarkup;
    XMLContentRun contentCursor;   // the last place GetContentPlace worked out
    void BeginContentRun(UtByteBuffer* sink, size_t index);
    // Appends `count` window bytes at `data` to `sink` (when there is one), within nMaxText.
    int EmitText(UtByteBuffer* sink, const char* data, size_t count);
    int SkipComment();
    int SkipProcessingInstruction(bool inProlog);
    int ConsumeThrough(const char* terminator, size_t length, UtByteBuffer* sink, const char* inside);
    int FindMarkupEnd(bool keep, size_t* pEnd, const char* inside);

    // Tags: the markup from nPos to the terminator at `end` (XMLTags.cpp).
    XMLNode nodeStart;
    XMLNode nodeEnd;
    XMLNode nodeEmpty;
    XMLNode nodeScratch;
    std::string sName;
    // With warnings on, the place of each attribute value of the last start or empty tag.
    std::vector<XMLTextPosition> aAttributePlaces;
    std::vector<int> aAttributeHash;
    int nHashedAttributes;
    int ParseStartTag(size_t end, bool empty, XMLNode* node);
    int ParseEndTag(size_t end, XMLNode* node);
    bool IsDuplicateAttribute(XMLNode* node, const char* name, size_t length);
    void RegisterAttribute(XMLNode* node, int index);
    void InsertAttributeHash(XMLNode* node, int index);

    // Prolog (XMLProlog.cpp).
    int ScanProlog();
    int ParseDeclaration();
    int ParseDocumentType();
    int SkipInternalSubset();
    int QuotedLiteral();

private:
    XMLParserState(const XMLParserState&) = delete;
    XMLParserState& operator=(const XMLParserState&) = delete;
    void AdvanceCursor(unsigned long long offset);
};

#endif
