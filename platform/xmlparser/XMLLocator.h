// The parser's places and failures (XMLLocator.cpp): a place in the document, the locator
// that turns file offsets into lines and columns, and the failure state. Internal to the
// parser library.
//
// Line and column are worked out only when asked for. A cursor (file offset, line,
// column) moves forward through the window; before a refill drops bytes, the cursor is
// moved past them. The window counts the line feeds of the bytes it takes in, in the pass
// that looks for a NUL byte, so the cursor moves by counting from where it is or back from
// the window's end, whichever is nearer: a long text is not read again for its lines.
// The position of the last produced tag (the mark) is kept as a file offset and turned
// into line and column when a report or GetLine needs it, or just before its bytes
// are dropped.
#ifndef RIZEROZ_XMLLOCATOR_H
#define RIZEROZ_XMLLOCATOR_H

#include <stdarg.h>

#include "XMLWindow.h"

// A place in the document: file offset, line and column (both from 1).
struct XMLTextPosition
{
    unsigned long long nOffset = 0;
    long nLine = 1;
    long nColumn = 1;
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
    static void AdvanceFromEnd(XMLTextPosition& at, const XMLWindow& window, unsigned long long offset);

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

#endif
