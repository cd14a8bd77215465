// The parser's small parts besides the window: the locator (file offsets to line and
// column) and the failure state.
#include "XMLLocator.h"

#include <limits.h>
#include <stdio.h>

#include "UtFastText.h"
#include "UtUtility.h"

namespace
{
// `base` plus `count`, held at LONG_MAX instead of overflowing (line and column counts
// of documents beyond what a long counts).
long SaturatedAdd(long base, unsigned long long count)
{
    return count > (unsigned long long)(LONG_MAX - base) ? LONG_MAX : base + (long)count;
}
}

// Moves `at` forward to `offset`, which lies in the window: counting line feeds from `at`
// on, or, when the window's end is nearer, back from the end, whose line the window knows
// (it counts the line feeds of the bytes it takes in). Either way, a byte of a long text is
// counted again only when a place inside it is asked for.
void XMLLocator::Advance(XMLTextPosition& at, const XMLWindow& window, unsigned long long offset)
{
    if (offset <= at.nOffset)
        return;
    unsigned long long end = window.Start() + window.End();
    if (offset > end)
        offset = end;
    if (at.nOffset < window.Start())
        return;   // cannot happen: the cursor is moved before bytes are dropped
    if (end - offset < offset - at.nOffset)
    {
        AdvanceFromEnd(at, window, offset);
        return;
    }
    const char* from = window.Data() + (size_t)(at.nOffset - window.Start());
    const char* to = window.Data() + (size_t)(offset - window.Start());
    size_t lastNewline = 0;
    size_t newlines = util_CountLineFeeds(from, (size_t)(to - from), &lastNewline);
    if (newlines > 0)
    {
        at.nLine = SaturatedAdd(at.nLine, (unsigned long long)newlines);
        at.nColumn = SaturatedAdd(0, (unsigned long long)(to - (from + lastNewline)));
    }
    else
    {
        at.nColumn = SaturatedAdd(at.nColumn, (unsigned long long)(to - from));
    }
    at.nOffset = offset;
}

// Advance for an `offset` nearer the window's end than `at`: the line feeds before it
// are the window's count less those from it to the end; the column runs from the last
// line feed before it, or from `at` when none lies between.
void XMLLocator::AdvanceFromEnd(XMLTextPosition& at, const XMLWindow& window, unsigned long long offset)
{
    const char* data = window.Data();
    size_t index = (size_t)(offset - window.Start());   // `at` lies in the window too
    size_t from = (size_t)(at.nOffset - window.Start());
    size_t unused = 0;
    size_t after = util_CountLineFeeds(data + index, window.End() - index, &unused);
    unsigned long long feed = window.LastLineFeed();
    if (after > 0)
    {
        size_t i = index;
        while (i > from && data[i - 1] != '\n')
            --i;
        feed = i > from ? window.Start() + (i - 1) : XMLWindow::kNoLineFeed;
    }
    if (feed != XMLWindow::kNoLineFeed && feed >= at.nOffset)
    {
        at.nLine = SaturatedAdd(1, window.LineFeeds() - after);
        at.nColumn = SaturatedAdd(0, offset - feed);
    }
    else
    {
        at.nColumn = SaturatedAdd(at.nColumn, offset - at.nOffset);
    }
    at.nOffset = offset;
}

void XMLLocator::BeforeDrop(const XMLWindow& window, unsigned long long dropTo)
{
    if (m_bHasMark && !m_bMarkResolved && m_nMarkOffset < dropTo)
        ResolveMark(window);
    if (m_cursor.nOffset < dropTo)
        Advance(m_cursor, window, dropTo);
}

void XMLLocator::PlaceMark(unsigned long long offset, long line, long column)
{
    m_bHasMark = m_bMarkResolved = true;
    m_nMarkOffset = offset;
    m_nMarkLine = line;
    m_nMarkColumn = column;
}

void XMLLocator::Resolve(const XMLWindow& window)
{
    XMLTextPosition at = Locate(window, m_nMarkOffset);
    m_nMarkLine = at.nLine;
    m_nMarkColumn = at.nColumn;
    m_bMarkResolved = true;
}

long XMLLocator::MarkLine(const XMLWindow& window)
{
    ResolveMark(window);
    return m_bHasMark ? m_nMarkLine : 0;
}

long XMLLocator::MarkColumn(const XMLWindow& window)
{
    ResolveMark(window);
    return m_bHasMark ? m_nMarkColumn : 0;
}

int XMLFailure::Record(int code, unsigned long long offset, const char* format, va_list args)
{
    m_nCode = code;
    m_nOffset = offset;
    m_nErrno = 0;
    vsnprintf(m_szDetail, sizeof(m_szDetail), format, args);
    return code;
}
