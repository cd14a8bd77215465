// Where the JSON reader's text comes from: a text in memory, or an open stream read in
// chunks of 256 KB (JsonModel.h), and the chunks as the scanner takes them (JsonScan.h).
#include "JsonModel.h"

#include <sys/stat.h>

#include <new>

#include "JsonScan.h"

namespace
{
const size_t kChunkSize = 262144;
}

bool JsonChunks::Refill()
{
    if (m_bFailed)
        return false;
    const char* data = nullptr;
    long length = m_input.Next(data);
    if (length < 0)
        m_bFailed = true;
    if (length <= 0)
        return false;
    m_pNext = data;
    m_pEnd = data + length;
    if (m_pObserver != nullptr)
        m_pObserver->OnProgress(m_input.GetDone(), m_input.GetTotal());
    return true;
}

long JsonTextInput::Next(const char*& data)
{
    if (m_bGiven)
        return 0;
    m_bGiven = true;
    data = m_text.data();
    return (long)m_text.size();
}

bool JsonTextInput::Rewind()
{
    m_bGiven = false;
    return true;
}

JsonFileInput::JsonFileInput(FILE* file)
    : m_pFile(file), m_pChunk(new (std::nothrow) char[kChunkSize]), m_nStart(-1), m_nDone(0), m_nTotal(0)
{
#if defined(_WIN32)
    struct _stati64 status;
    bool regular = _fstati64(_fileno(file), &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFREG;
    long long at = regular ? _ftelli64(file) : -1;
#else
    struct stat status;
    bool regular = fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode);
    long long at = regular ? (long long)ftello(file) : -1;
#endif
    if (at >= 0)
    {
        m_nStart = at;
        m_nTotal =
            (unsigned long long)status.st_size > (unsigned long long)at ? (unsigned long long)status.st_size - at : 0;
    }
}

JsonFileInput::~JsonFileInput()
{
    delete[] m_pChunk;
}

long JsonFileInput::Next(const char*& data)
{
    if (m_pChunk == nullptr)
        return -1;
    size_t got = fread(m_pChunk, 1, kChunkSize, m_pFile);
    if (got == 0)
        return ferror(m_pFile) ? -1 : 0;
    m_nDone += got;
    data = m_pChunk;
    return (long)got;
}

bool JsonFileInput::CanRewind() const
{
    return m_nStart >= 0;
}

bool JsonFileInput::Rewind()
{
    if (m_nStart < 0)
        return false;
#if defined(_WIN32)
    bool back = _fseeki64(m_pFile, m_nStart, SEEK_SET) == 0;
#else
    bool back = fseeko(m_pFile, (off_t)m_nStart, SEEK_SET) == 0;
#endif
    clearerr(m_pFile);
    m_nDone = 0;
    return back;
}
