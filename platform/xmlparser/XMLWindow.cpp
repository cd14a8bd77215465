// The window: the document's source and the bytes of it in memory.
#include "XMLWindow.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "ErrorHandler.h"
#include "UtFastText.h"
#include "XMLParser.h"

int XMLWindow::OpenFile(const char* path, ErrorHandler* errors)
{
    Close();
    int reason = m_file.Open(path);
    if (reason != 0)
    {
        errors->AddSystemFailure(XML_ERR_OPEN, ERROR_LIST_XML_PARSER, path, reason, -1);
        return XML_ERR_OPEN;
    }
    return Open(&m_file, path, errors);
}

int XMLWindow::Open(UtByteSource* source, const char* name, ErrorHandler* errors)
{
    if (source != &m_file)
        Close();
    m.pSource = source;
    m.nSourceSize = source->Size();
    size_t size = 0;
    if (const char* bytes = source->Bytes(&size))
    {
        // The source's bytes are the window: nothing is copied, nothing is written. Fill
        // takes them in (Reveal).
        m.pData = const_cast<char*>(bytes);
        m.nCapacity = m.nSourceSize = size;
        m.bInPlace = true;
        m.bEnded = size == 0;
        return 0;
    }
    // A small document gets a window of its size and a byte more (so that the first read
    // meets its end), in whole pages; anything else, a pipe too, the normal size. Should
    // the document grow before that read, the window grows as for a large tag.
    size = m.nSourceSize > 0 && m.nSourceSize < kSize ? (size_t)(m.nSourceSize + kPage) / kPage * kPage : kSize;
    if (!Place(size, 0, nullptr, 0))
    {
        Close();
        errors->AddReport(XML_ERR_NO_MEMORY, ERROR_LIST_XML_PARSER, name, name, 0, 0,
                          "no memory for the window the document is read through");
        return XML_ERR_NO_MEMORY;
    }
    return 0;
}

void XMLWindow::Close()
{
    m_file.Close();
    free(m.pBlock);
    m = Fields();
}

static_assert(XMLWindow::kAlign == kReadAlign, "the window is aligned as util_ReadAligned places it");

// Gives the window a block of its own of `size` bytes and kAlign more, and moves the
// `kept` bytes at `from` (the document's from `start` on) to its front, aligned with the
// document (util_ReadAligned). The block before, if any, is freed. False, with the window
// as it was, when there is no memory for it.
bool XMLWindow::Place(size_t size, unsigned long long start, const char* from, size_t kept)
{
    char* block = (char*)malloc(size + kAlign);
    if (!block)
        return false;
    char* data = util_ReadAligned(block, start);
    if (kept > 0)
        memcpy(data, from, kept);
    free(m.pBlock);
    m.pBlock = block;
    m.pData = data;
    m.nCapacity = size + kAlign - (size_t)(data - block);
    return true;
}

size_t XMLWindow::Fill(size_t keep, size_t* pos, unsigned int maxTag)
{
    if (!CanRead())
        return 0;
    if (m.bInPlace)
        return Reveal();
    if (keep > m.nEnd)
        keep = m.nEnd;

    if (keep > 0)
    {
        size_t kept = m.nEnd - keep;
        unsigned long long start = m.nStart + keep;
        // The large tag that grew the window is gone: back to the normal size.
        if (!(m.nCapacity > kSize + kAlign && kept <= kSize / 2 && Place(kSize, start, m.pData + keep, kept)))
        {
            // The kept bytes move to the front, aligned if that leaves room after them.
            size_t room = m.nCapacity + (size_t)(m.pData - m.pBlock);
            char* data = util_ReadAligned(m.pBlock, start);
            if ((size_t)(data - m.pBlock) + kept > room - kAlign)
                data = m.pBlock;
            memmove(data, m.pData + keep, kept);
            m.pData = data;
            m.nCapacity = room - (size_t)(data - m.pBlock);
        }
        m.nEnd = kept;
        *pos = *pos >= keep ? *pos - keep : 0;
        m.nStart += keep;
    }

    if (m.nEnd == m.nCapacity)
    {
        // Everything in the window must stay: one tag fills it. A tag beyond the limit
        // ends the filling; whoever waits for its end reports it (EndProblem).
        if (m.nEnd - *pos > (size_t)maxTag)
        {
            m.bTooLarge = true;
            m.bEnded = true;
            return 0;
        }
        size_t offset = (size_t)(m.pData - m.pBlock);
        size_t capacity = m.nCapacity * 2;
        char* block = (char*)realloc(m.pBlock, capacity + kAlign);
        if (!block)
        {
            m.nReadErrno = ENOMEM;
            m.bEnded = true;
            return 0;
        }
        // The bytes are aligned again in the larger block, wherever it lies.
        char* data = util_ReadAligned(block, m.nStart);
        memmove(data, block + offset, m.nEnd);
        m.pBlock = block;
        m.pData = data;
        m.nCapacity = capacity + kAlign - (size_t)(data - block);
    }

    size_t got = ReadSource(m.pData + m.nEnd, m.nCapacity - m.nEnd);
    NoteBytes(m.pData + m.nEnd, got);
    m.nEnd += got;
    return got;
}

// A window of the source's own bytes takes in the next of them, up to its normal size,
// moving none: what lies before stays, and so does every place in it. The pass over the
// new bytes (NUL, line feeds) goes ahead of the scan a window at a time, as for bytes that
// are read, so that the bytes it passes over are in the processor's cache when the scan
// comes to them.
size_t XMLWindow::Reveal()
{
    size_t got = m.nCapacity - m.nEnd < kSize ? m.nCapacity - m.nEnd : kSize;
    NoteBytes(m.pData + m.nEnd, got);
    m.nEnd += got;
    m.bEnded = m.nEnd == m.nCapacity;
    return got;
}

// Reads until `wanted` bytes are at `to`, the document ends or a read fails, as fread
// does: a source that gives a few bytes at a time costs no more moves of the window.
size_t XMLWindow::ReadSource(char* to, size_t wanted)
{
    size_t got = 0;
    while (got < wanted)
    {
        size_t count = 0;
        int failed = m.pSource->Read(to + got, wanted - got, &count);
        got += count;
        if (failed != 0 || count == 0)
        {
            m.bEnded = true;
            m.nReadErrno = failed;
            break;
        }
    }
    return got;
}

// XML allows no NUL byte anywhere; the scanner fails at the first one it reaches. The
// line feeds are counted in the same pass, so that the locator need not read the bytes
// again before they leave the window. The `count` bytes at `from` have just come into the
// window, behind its End().
void XMLWindow::NoteBytes(const char* from, size_t count)
{
    if (count == 0)
        return;
    size_t last = 0, nul = count;
    size_t feeds = util_CountLineFeedsAndNul(from, count, &last, &nul);
    unsigned long long at = m.nStart + (unsigned long long)(from - m.pData);
    if (m.nNulOffset == kNoNul && nul < count)
        m.nNulOffset = at + nul;
    if (feeds > 0)
    {
        m.nLineFeeds += feeds;
        m.nLastLineFeed = at + last;
    }
}
