// UtByteSink: where written bytes go, one small interface with an implementation per
// kind: an open stream (a file the caller or the safe save opened), a growable buffer in
// memory, and a caller's push callback. The writer writes only through a sink.
#ifndef RIZEROZ_UTBYTESINK_H
#define RIZEROZ_UTBYTESINK_H

#include <stddef.h>
#include <stdio.h>

#include "RizErozExport.h"

class RIZEROZ_API UtByteSink
{
public:
    virtual ~UtByteSink() {}
    // Takes all `count` bytes: 0, or the system's error number of a failure (a sink that
    // took fewer bytes than it was given has failed). Nothing is taken after a failure.
    virtual int Put(const void* bytes, size_t count) = 0;
};

// The bytes go to `stream` (not owned) with fwrite.
class RIZEROZ_API UtStreamSink : public UtByteSink
{
public:
    explicit UtStreamSink(FILE* stream) : m_pStream(stream) {}
    int Put(const void* bytes, size_t count) override;

private:
    FILE* m_pStream;
};

// The bytes gather in memory, taken from the heap with malloc as they come.
class RIZEROZ_API UtMemorySink : public UtByteSink
{
public:
    UtMemorySink() = default;
    ~UtMemorySink() override;
    UtMemorySink(const UtMemorySink&) = delete;
    UtMemorySink& operator=(const UtMemorySink&) = delete;
    int Put(const void* bytes, size_t count) override;
    const char* GetData() const { return m_pData; }
    size_t GetSize() const { return m_nSize; }
    // Gives the bytes (malloc'd; the caller frees them with free; null when there are
    // none) to the caller, and starts empty again.
    char* Release(size_t* size);

private:
    char* m_pData = nullptr;
    size_t m_nSize = 0;
    size_t m_nCapacity = 0;
};

// The bytes go to a caller's function: `write(context, bytes, count)` returns how many it
// took, or a negative system error number; fewer than `count` is a failure (EIO when it
// gives no reason).
typedef long long (*UtSinkWrite)(void* context, const void* bytes, size_t count);

class RIZEROZ_API UtCallbackSink : public UtByteSink
{
public:
    UtCallbackSink(UtSinkWrite write, void* context) : m_write(write), m_pContext(context) {}
    int Put(const void* bytes, size_t count) override;

private:
    UtSinkWrite m_write;
    void* m_pContext;
};

#endif
