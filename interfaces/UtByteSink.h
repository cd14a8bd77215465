// UtByteSink: where written bytes go, one small interface with an implementation per
// kind: an open stream (a file the caller, the handler or the safe save opened), a
// growable buffer in memory, and a caller's push callback. The writers write only through
// a sink. The base does what every kind shares, once: it counts the bytes taken, keeps
// the first failure (after which nothing more is handed over), and ends the writing with
// Finish, which does what the kind needs at the end (a stream it owns is flushed and
// closed) and reports how it went.
#ifndef RIZEROZ_UTBYTESINK_H
#define RIZEROZ_UTBYTESINK_H

#include <stddef.h>
#include <stdio.h>

#include "RizErozExport.h"

class RIZEROZ_API UtByteSink
{
public:
    UtByteSink() {}
    virtual ~UtByteSink() {}
    UtByteSink(const UtByteSink&) = delete;
    UtByteSink& operator=(const UtByteSink&) = delete;

    // Hands all `count` bytes to the sink: 0, or the system's error number of the failure
    // (a sink that took fewer bytes than it was given has failed). The first failure
    // sticks: nothing is handed over after it, and Put gives its errno again.
    int Put(const void* bytes, size_t count);
    // Ends the writing (once; later calls give the same answer): 0, or the errno of the
    // first failure, of Put's or of the end's own work.
    int Finish();
    // Bytes the sink took, in pieces taken whole: a failure stands at the offset Taken()
    // gives then. The errno of the first failure, 0 while there is none.
    unsigned long long Taken() const { return m_nTaken; }
    int Errno() const { return m_nErrno; }

protected:
    // The kind's own work: take all `count` bytes (0, or an errno), and end (0 or an errno).
    virtual int Take(const void* bytes, size_t count) = 0;
    virtual int End() { return 0; }

private:
    unsigned long long m_nTaken = 0;
    int m_nErrno = 0;
    bool m_bFinished = false;
};

// The bytes go to `stream` with fwrite. Finish flushes it, and closes it when the sink
// owns it (`owned`); a sink that owns its stream closes it when it goes, finished or not.
class RIZEROZ_API UtStreamSink : public UtByteSink
{
public:
    explicit UtStreamSink(FILE* stream, bool owned = false) : m_pStream(stream), m_bOwned(owned) {}
    ~UtStreamSink() override;

protected:
    int Take(const void* bytes, size_t count) override;
    int End() override;

private:
    FILE* m_pStream;   // null once closed
    bool m_bOwned;
};

// The bytes gather in memory, taken from the heap with malloc as they come.
class RIZEROZ_API UtMemorySink : public UtByteSink
{
public:
    UtMemorySink() = default;
    ~UtMemorySink() override;
    const char* GetData() const { return m_pData; }
    size_t GetSize() const { return m_nSize; }
    // Gives the bytes (malloc'd; the caller frees them with free; null when there are
    // none) to the caller, and starts empty again.
    char* Release(size_t* size);

protected:
    int Take(const void* bytes, size_t count) override;

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

protected:
    int Take(const void* bytes, size_t count) override;

private:
    UtSinkWrite m_write;
    void* m_pContext;
};

#endif
