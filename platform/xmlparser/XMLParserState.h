// XMLParserState: everything the parser keeps besides the members its derived classes
// see. Internal to the parser library.
//
// It is made of small parts, each keeping its fields private, each in a header of its
// own: the settings, kept across documents (XMLParserSettings.h); the file window
// (XMLWindow.h), with the scanner's place nPos in it; the locator and the failure state
// (XMLLocator.h); the stack of open elements (XMLElementStack.h); the rest of one
// document's scan (XMLScanProgress.h: the places of an element's text, the text noted for
// a warning, the failure place); and, private to the state, the tag nodes and the index
// of a tag's attributes (XMLAttributeIndex.h). Closing a document puts every part of the
// scan back to its default by assigning a fresh one. The loop over a tag's attributes,
// which the state does not keep, is XMLAttributeCursor.h.
#ifndef RIZEROZ_XMLPARSERSTATE_H
#define RIZEROZ_XMLPARSERSTATE_H

#include <stddef.h>

#include <initializer_list>
#include <string>

#include "XMLAttributeIndex.h"
#include "XMLElementStack.h"
#include "XMLLocator.h"
#include "XMLNode.h"
#include "XMLParser.h"
#include "XMLParserSettings.h"
#include "XMLScanProgress.h"
#include "XMLWindow.h"

class ErrorHandler;
class UtByteBuffer;

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
    // Records a warning of kind `code` at window index `index` (when warnings are on), its
    // sentence the kind's pattern with `texts` put in (UtWarningText.h).
    void Warn(int code, size_t index, std::initializer_list<std::string> texts);
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
    // With the settings' lending on and the document's bytes in memory (a window in place),
    // a text that is one run of characters up to the next start or end tag is not copied:
    // Lent() gives it where it lies in the window, until the next scan.
    int GatherContent(UtByteBuffer* content);
    int LendContent();
    const unsigned char* Lent(unsigned int* size) const
    {
        *size = m_nLentSize;
        return m_bLent ? (const unsigned char*)window.Data() + m_nLentStart : nullptr;
    }
    void ForgetLent()
    {
        m_bLent = false;
    }
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
    // The lent text: window bytes [m_nLentStart, m_nLentStart + m_nLentSize).
    bool m_bLent = false;
    size_t m_nLentStart = 0;
    unsigned int m_nLentSize = 0;
    std::string m_sName;   // the name of the tag parsed last
    XMLAttributeIndex m_attributes;
};

#endif
