// UtByteSource: where the bytes of a document come from while it is read. The parser
// asks its source for the next bytes until the source has none left; there is one kind
// of source per place the bytes come from:
//   UtFileSource      a file opened by its name, read with fread
//   UtMemorySource    a buffer of the caller's, which the parser scans where it lies:
//                     no copy of the document is made
//   UtCallbackSource  a function of the caller's, asked for the next bytes each time
// A source is read once, from its start, on the caller's thread. Whoever hands a source
// to the parser (RODAzivUzirAdovIzozari::InitSvfPlusDataSource) keeps it, and the buffer
// of a memory source, alive and unchanged until the read is over.
#ifndef RIZEROZ_UTBYTESOURCE_H
#define RIZEROZ_UTBYTESOURCE_H

#include <stddef.h>
#include <stdio.h>

#include "RizErozExport.h"

class RIZEROZ_API UtByteSource
{
public:
    UtByteSource() {}
    virtual ~UtByteSource();

    // Stores the next bytes of the document at `buffer`, at most `capacity` (more than
    // 0), and their number in *count: 0 once the document has ended. Returns 0, or the
    // system's error number (errno) of a failure, after which nothing more is read.
    virtual int Read(char* buffer, size_t capacity, size_t* count) = 0;
    // The whole document when its bytes lie in memory already (their number in *size),
    // for a reader that takes them where they are instead of reading them; null for a
    // source that must be read.
    virtual const char* Bytes(size_t* size) const;
    // The document's size in bytes when it is known before it is read (a regular file,
    // a buffer); 0 otherwise.
    virtual unsigned long long Size() const;

    UtByteSource(const UtByteSource&) = delete;
    UtByteSource& operator=(const UtByteSource&) = delete;
};

// A file by its name (UTF-8, '\\' also separates folders: util_fopen).
class RIZEROZ_API UtFileSource : public UtByteSource
{
public:
    UtFileSource();
    ~UtFileSource() override;

    // Opens `path` for reading, closing any file opened before. 0, or the errno of the
    // failure (-1 when the system gives none).
    int Open(const char* path);
    void Close();
    bool IsOpen() const { return m_pFile != nullptr; }

    int Read(char* buffer, size_t capacity, size_t* count) override;
    // The size of a regular file; 0 for anything else (a pipe, a device).
    unsigned long long Size() const override { return m_nSize; }

private:
    FILE* m_pFile;   // owned, or null
    unsigned long long m_nSize;
    bool m_bEnded;   // fread stopped short: nothing more is asked of the file
};

// `size` bytes at `data`, the caller's: they stay where they are, unchanged, for as long
// as the source is read. They need not end in a NUL byte. Null `data` stands for no bytes.
class RIZEROZ_API UtMemorySource : public UtByteSource
{
public:
    UtMemorySource(const void* data, size_t size);

    // Copies the next bytes, for a reader that does not take them in place.
    int Read(char* buffer, size_t capacity, size_t* count) override;
    const char* Bytes(size_t* size) const override;
    unsigned long long Size() const override { return m_nSize; }

private:
    const char* m_pData;
    size_t m_nSize;
    size_t m_nRead;   // bytes Read has copied out
};

// The caller's function that gives the next bytes: stores at most `capacity` bytes
// (more than 0) at `buffer` and returns their number, 0 at the end of the document, or a
// failure as its errno negated (-EIO, say), which ends the read.
typedef long long(RIZEROZ_CDECL* UtReadFunction)(void* context, void* buffer, size_t capacity);

// The bytes `read(context, ...)` gives, called until it gives 0 or fails. A count beyond
// `capacity` is a failure (EINVAL); after the end or a failure it is not called again.
class RIZEROZ_API UtCallbackSource : public UtByteSource
{
public:
    UtCallbackSource(UtReadFunction read, void* context);

    int Read(char* buffer, size_t capacity, size_t* count) override;

private:
    UtReadFunction m_pRead;
    void* m_pContext;
    int m_nFailure;   // errno of the failure, once there was one
    bool m_bEnded;
};

#endif
