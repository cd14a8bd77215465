// The byte sinks of UtByteSink.h.
#include "UtByteSink.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

int UtStreamSink::Put(const void* bytes, size_t count)
{
    errno = 0;
    if (count == 0 || fwrite(bytes, 1, count, m_pStream) == count)
        return 0;
    return errno != 0 ? errno : EIO;
}

UtMemorySink::~UtMemorySink()
{
    free(m_pData);
}

int UtMemorySink::Put(const void* bytes, size_t count)
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

int UtCallbackSink::Put(const void* bytes, size_t count)
{
    if (count == 0)
        return 0;
    long long taken = m_write(m_pContext, bytes, count);
    if (taken < 0)
        return taken >= -(long long)0x7FFFFFFF ? (int)-taken : EIO;
    return (size_t)taken == count ? 0 : EIO;
}
