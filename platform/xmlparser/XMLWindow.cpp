// The file window: the open document and the bytes of it in memory.
#include "XMLWindow.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "ErrorHandler.h"
#include "UtUtility.h"
#include "XMLParser.h"

int XMLWindow::Open(const char* path, ErrorHandler* errors)
{
    Close();
    errno = 0;
    m.pFile = util_fopen(path, "rb");
    if (!m.pFile)
    {
        int reason = errno;
        errors->AddReport(XML_ERR_OPEN, ERROR_LIST_XML_PARSER, path, path, 0, 0,
                          reason ? strerror(reason) : "the file cannot be opened");
        return XML_ERR_OPEN;
    }
#if defined(_WIN32)
    struct _stati64 info;
    if (_fstati64(_fileno(m.pFile), &info) == 0 && (info.st_mode & _S_IFREG) != 0)
        m.nFileSize = (unsigned long long)info.st_size;
#else
    struct stat info;
    if (fstat(fileno(m.pFile), &info) == 0 && S_ISREG(info.st_mode))
        m.nFileSize = (unsigned long long)info.st_size;
#endif
    // A small file gets a window of its size and a byte more (so that the first read
    // meets its end), in whole pages; anything else, a pipe too, the normal size. Should
    // the file grow before that read, the window grows as for a large tag.
    m.nCapacity = m.nFileSize > 0 && m.nFileSize < kSize ? (size_t)(m.nFileSize + kPage) / kPage * kPage : kSize;
    m.pData = (char*)malloc(m.nCapacity);
    if (!m.pData)
    {
        Close();
        errors->AddReport(XML_ERR_NO_MEMORY, ERROR_LIST_XML_PARSER, path, path, 0, 0,
                          "no memory for the window the document is read through");
        return XML_ERR_NO_MEMORY;
    }
    return 0;
}

void XMLWindow::Close()
{
    if (m.pFile)
        fclose(m.pFile);
    free(m.pData);
    m = Fields();
}

size_t XMLWindow::Fill(size_t keep, size_t* pos, unsigned int maxTag)
{
    if (!CanRead())
        return 0;
    if (keep > m.nEnd)
        keep = m.nEnd;

    if (keep > 0)
    {
        size_t kept = m.nEnd - keep;
        char* data = m.nCapacity > kSize && kept <= kSize / 2 ? (char*)malloc(kSize) : nullptr;
        if (data)
        {
            // The large tag that grew the window is gone: back to the normal size.
            memcpy(data, m.pData + keep, kept);
            free(m.pData);
            m.pData = data;
            m.nCapacity = kSize;
        }
        else
        {
            memmove(m.pData, m.pData + keep, kept);
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
            m.bEndOfFile = true;
            return 0;
        }
        size_t capacity = m.nCapacity * 2;
        char* data = (char*)realloc(m.pData, capacity);
        if (!data)
        {
            m.nReadErrno = ENOMEM;
            m.bEndOfFile = true;
            return 0;
        }
        m.pData = data;
        m.nCapacity = capacity;
    }

    size_t wanted = m.nCapacity - m.nEnd;
    errno = 0;
    size_t got = fread(m.pData + m.nEnd, 1, wanted, m.pFile);
    if (got < wanted)
    {
        // fread stops short only at the end of the file or on a failure.
        m.bEndOfFile = true;
        if (ferror(m.pFile))
            m.nReadErrno = errno ? errno : EIO;
    }
    // XML allows no NUL byte anywhere; the scanner fails at the first one it reaches.
    const char* nul = m.nNulOffset == kNoNul && got > 0 ? (const char*)memchr(m.pData + m.nEnd, 0, got) : nullptr;
    if (nul)
        m.nNulOffset = m.nStart + (unsigned long long)(nul - m.pData);
    m.nEnd += got;
    return got;
}
