// The byte sinks of UtByteSink.h.
#include "UtByteSink.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

int UtByteSink::Put(const void* bytes, size_t count)
{
    if (m_nErrno == 0 && m_bFinished)
        m_nErrno = EBADF;   // nothing is written after the end
    if (m_nErrno != 0)
        return m_nErrno;
    if (count == 0)
        return 0;
    m_nErrno = Take(bytes, count);
    m_nTaken += m_nErrno == 0 ? count : 0;
    return m_nErrno;
}

int UtByteSink::Finish()
{
    if (!m_bFinished)
    {
        m_bFinished = true;
        int ended = End();
        m_nErrno = m_nErrno != 0 ? m_nErrno : ended;
    }
    return m_nErrno;
}

namespace
{
// The errno of a stream call that failed, EIO when the system gave none.
int Failed()
{
    return errno != 0 ? errno : EIO;
}
}

UtStreamSink::~UtStreamSink()
{
    if (m_bOwned && m_pStream != nullptr)
        fclose(m_pStream);
}

int UtStreamSink::Take(const void* bytes, size_t count)
{
    errno = 0;
    return fwrite(bytes, 1, count, m_pStream) == count ? 0 : Failed();
}

int UtStreamSink::End()
{
    errno = 0;
    int failure = fflush(m_pStream) != 0 ? Failed() : 0;
    if (m_bOwned)
    {
        errno = 0;
        int closed = fclose(m_pStream) != 0 ? Failed() : 0;
        m_pStream = nullptr;
        failure = failure != 0 ? failure : closed;
    }
    return failure;
}

UtMemorySink::~UtMemorySink()
{
    free(m_pData);
}

int UtMemorySink::Take(const void* bytes, size_t count)
{
    if (count > m_nCapacity - m_nSize)
    {
        // Growing by half again keeps the copies few; a failure leaves what is held.
        if (count > (size_t)-1 / 2 - m_nSize)
            return ENOMEM;
        size_t capacity = m_nCapacity + m_nCapacity / 2;
        if (capacity < m_nSize + count)
            capacity = m_nSize + count < 65536 ? 65536 : m_nSize + count;
        char* data = (char*)realloc(m_pData, capacity);
        if (data == nullptr)
            return ENOMEM;
        m_pData = data;
        m_nCapacity = capacity;
    }
    if (count > 0)
        memcpy(m_pData + m_nSize, bytes, count);
    m_nSize += count;
    return 0;
}

char* UtMemorySink::Release(size_t* size)
{
    char* data = m_pData;
    if (size != nullptr)
        *size = m_nSize;
    m_pData = nullptr;
    m_nSize = m_nCapacity = 0;
    return data;
}

int UtCallbackSink::Take(const void* bytes, size_t count)
{
    long long taken = m_write(m_pContext, bytes, count);
    if (taken < 0)
        return taken >= -(long long)0x7FFFFFFF ? (int)-taken : EIO;
    return (size_t)taken == count ? 0 : EIO;
}
