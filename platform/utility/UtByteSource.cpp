// The byte sources a document is read from: a file by its name, a buffer read in place,
// and a function of the caller's.
#include "UtByteSource.h"

#include <errno.h>
#include <limits.h>
#include <string.h>
#include <sys/stat.h>

#include "UtUtility.h"

UtByteSource::~UtByteSource() {}

const char* UtByteSource::Bytes(size_t* size) const
{
    *size = 0;
    return nullptr;
}

unsigned long long UtByteSource::Size() const
{
    return 0;
}

// ---------------------------------------------------------------------------------
// A file by its name
// ---------------------------------------------------------------------------------

namespace
{
// The size of the regular file open as `file`; 0 for anything else.
unsigned long long RegularFileSize(FILE* file)
{
#if defined(_WIN32)
    struct _stati64 info;
    if (_fstati64(_fileno(file), &info) == 0 && (info.st_mode & _S_IFREG) != 0)
        return (unsigned long long)info.st_size;
#else
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode))
        return (unsigned long long)info.st_size;
#endif
    return 0;
}
}

UtFileSource::UtFileSource() : m_pFile(nullptr), m_nSize(0), m_bEnded(false) {}

UtFileSource::~UtFileSource()
{
    Close();
}

int UtFileSource::Open(const char* path)
{
    Close();
    errno = 0;
    m_pFile = util_fopen(path, "rb");
    if (m_pFile == nullptr)
        return errno != 0 ? errno : -1;
    // Readers take large pieces into buffers of their own: the stream's buffer would only
    // copy them once more, and move where the system writes them off the boundary the
    // reader chose.
    setvbuf(m_pFile, nullptr, _IONBF, 0);
    m_nSize = RegularFileSize(m_pFile);
    return 0;
}

void UtFileSource::Close()
{
    if (m_pFile != nullptr)
        fclose(m_pFile);
    m_pFile = nullptr;
    m_nSize = 0;
    m_bEnded = false;
}

int UtFileSource::Read(char* buffer, size_t capacity, size_t* count)
{
    *count = 0;
    if (m_pFile == nullptr || m_bEnded)
        return 0;
    errno = 0;
    *count = fread(buffer, 1, capacity, m_pFile);
    if (*count == capacity)
        return 0;
    // fread stops short only at the end of the file or on a failure.
    m_bEnded = true;
    if (ferror(m_pFile))
        return errno != 0 ? errno : EIO;
    return 0;
}

// ---------------------------------------------------------------------------------
// A buffer of the caller's
// ---------------------------------------------------------------------------------

UtMemorySource::UtMemorySource(const void* data, size_t size)
    : m_pData(data != nullptr ? (const char*)data : ""), m_nSize(data != nullptr ? size : 0), m_nRead(0)
{
}

int UtMemorySource::Read(char* buffer, size_t capacity, size_t* count)
{
    size_t left = m_nSize - m_nRead;
    *count = left < capacity ? left : capacity;
    memcpy(buffer, m_pData + m_nRead, *count);
    m_nRead += *count;
    return 0;
}

const char* UtMemorySource::Bytes(size_t* size) const
{
    *size = m_nSize;
    return m_pData;
}

// ---------------------------------------------------------------------------------
// A function of the caller's
// ---------------------------------------------------------------------------------

UtCallbackSource::UtCallbackSource(UtReadFunction read, void* context)
    : m_pRead(read), m_pContext(context), m_nFailure(read != nullptr ? 0 : EINVAL), m_bEnded(false)
{
}

int UtCallbackSource::Read(char* buffer, size_t capacity, size_t* count)
{
    *count = 0;
    if (m_nFailure != 0 || m_bEnded)
        return m_nFailure;
    long long given = m_pRead(m_pContext, buffer, capacity);
    if (given < 0)
    {
        // The errno, negated; a value beyond any errno is a failure all the same.
        m_nFailure = given >= -(long long)INT_MAX ? (int)-given : EIO;
        return m_nFailure;
    }
    if ((unsigned long long)given > (unsigned long long)capacity)
    {
        // More than there was room for: the bytes beyond the buffer cannot be trusted.
        m_nFailure = EINVAL;
        return m_nFailure;
    }
    m_bEnded = given == 0;
    *count = (size_t)given;
    return 0;
}
