// The buffer of JsonStream.h over a byte source.
#include "JsonStream.h"

#include <errno.h>

#include <algorithm>

#include "UtUtility.h"

void JsonStream::Refill()
{
    if (m_bStopped)
        return;   // the text ends where the hook stopped the read
    const char* begin = m_pBuffer;
    for (const char* p = begin; (p = (const char*)memchr(p, '\n', (size_t)(m_pEnd - p))) != nullptr; ++p)
    {
        ++m_nLines;
        m_nLineStart = m_nStart + (unsigned long long)(p - begin) + 1;
    }
    m_nStart += (unsigned long long)(m_pEnd - begin);
    // The buffer is filled whole (unless the text ends), however the input comes in, so
    // that a place and an excerpt read the same for a file and a pipe.
    size_t got = 0, part = 1;
    while (!m_bFailed && got < kBufferSize && part > 0)
    {
        part = 0;
        m_nErrno = m_input.Read(m_pBuffer + got, kBufferSize - got, &part);
        m_bFailed = m_nErrno != 0;
        got += part;
    }
    m_pNext = begin;
    m_pEnd = begin + got;
    m_pBuffer[got] = '\0';
    if (got > 0 && m_pObserver != nullptr)
    {
        m_pObserver->OnProgress(m_nStart + got, std::max(m_input.Size(), m_nStart + got));
        // A stopped read ends here, as if the text did; Stopped tells the parser why.
        m_bStopped = m_pObserver->Stopped();
        if (m_bStopped)
        {
            m_pEnd = begin;
            m_pBuffer[0] = '\0';
        }
    }
}

void JsonStream::Place(unsigned long long offset, long& line, long& column) const
{
    long lines = m_nLines;
    unsigned long long lineStart = m_nLineStart;
    const char* begin = m_pBuffer;
    const char* end =
        offset > m_nStart ? begin + std::min(offset - m_nStart, (unsigned long long)(m_pEnd - begin)) : begin;
    for (const char* p = begin; (p = (const char*)memchr(p, '\n', (size_t)(end - p))) != nullptr; ++p)
    {
        ++lines;
        lineStart = m_nStart + (unsigned long long)(p - begin) + 1;
    }
    line = lines + 1;
    column = offset >= lineStart ? (long)(offset - lineStart) + 1 : 1;
}

std::string JsonStream::Excerpt(unsigned long long offset) const
{
    const char* begin = m_pBuffer;
    const char* from =
        offset > m_nStart ? begin + std::min(offset - m_nStart, (unsigned long long)(m_pEnd - begin)) : begin;
    if (from == m_pEnd)
        return " at the end of the text";
    std::string quoted = offset < m_nStart ? "..." : "";
    const char* p = from;
    for (; p < m_pEnd && p - from < (long)kQuoted && *p != '\n' && *p != '\r'; ++p)
        quoted += ((unsigned char)*p < 0x20 || *p == 0x7F) ? '?' : *p;
    if (p < m_pEnd && p - from == (long)kQuoted)
        quoted += "...";
    return " at \"" + quoted + "\"";
}

void SkipWhitespace(JsonStream& stream)
{
    for (;;)
    {
        const char* p = stream.m_pNext;
        while (p < stream.m_pEnd && util_IsWhiteSpace(*p))
            ++p;
        stream.m_pNext = p;
        if (p < stream.m_pEnd)
            return;
        stream.Refill();
        if (stream.AtEnd())
            return;
    }
}
