// XMLWindow: the file window the parser reads a document through. Internal to the
// parser library.
//
// Data()[0, End()) holds bytes of the file, and Start() is the file offset of Data()[0].
// Fill() drops the bytes in front of a given index, moves the rest to the front and reads
// behind them; it grows the window only when the bytes it must keep already fill it (a
// tag larger than the window), and returns to the normal size at a later refill. Offsets
// into the file are 64-bit, so documents beyond 4 GiB are read.
#ifndef RIZEROZ_XMLWINDOW_H
#define RIZEROZ_XMLWINDOW_H

#include <stddef.h>
#include <stdio.h>

class ErrorHandler;

// The file window (XMLWindow.cpp): the open file and the bytes of it in memory,
// Data()[0, End()) at file offset Start(). Whoever scans keeps its own place in it; Fill
// moves that place with the bytes.
class XMLWindow
{
public:
    // Normal size of the window; a larger tag grows it for as long as it is needed.
    static constexpr size_t kSize = 256 * 1024;
    // A smaller file's window is its size rounded up to whole pages of this size.
    static constexpr size_t kPage = 4096;

    XMLWindow() = default;
    XMLWindow(const XMLWindow&) = delete;
    XMLWindow& operator=(const XMLWindow&) = delete;
    ~XMLWindow() { Close(); }

    // Opens `path` with an empty window: 0, or XML_ERR_OPEN / XML_ERR_NO_MEMORY with a
    // report on `errors`.
    int Open(const char* path, ErrorHandler* errors);
    // Closes the file and frees the window; every field back to its default.
    void Close();

    // Drops the bytes before `keep` (which the caller has counted lines over), moves the
    // rest to the front and reads behind them; *pos moves with the byte it points at.
    // Returns the number of bytes read: 0 at the end of the file or after a failed read
    // (ReadErrno tells them apart). When the bytes it must keep fill the window, it grows,
    // unless more than `maxTag` bytes from *pos on would stay (TooLarge).
    size_t Fill(size_t keep, size_t* pos, unsigned int maxTag);

    bool IsOpen() const { return m.pFile != nullptr; }
    // More may be read: a file is open and has not ended.
    bool CanRead() const { return m.pFile != nullptr && !m.bEndOfFile; }
    char* Data() const { return m.pData; }
    size_t End() const { return m.nEnd; }
    unsigned long long Start() const { return m.nStart; }
    int ReadErrno() const { return m.nReadErrno; }
    // One item outgrew the tag limit: the window stopped filling.
    bool TooLarge() const { return m.bTooLarge; }
    // Size of a regular file, else 0.
    unsigned long long FileSize() const { return m.nFileSize; }
    // The file offset of the first NUL byte read so far; kNoNul while none was.
    static constexpr unsigned long long kNoNul = ~0ull;
    unsigned long long NulOffset() const { return m.nNulOffset; }

private:
    struct Fields
    {
        FILE* pFile = nullptr;
        char* pData = nullptr;   // owned (malloc)
        size_t nCapacity = 0;
        size_t nEnd = 0;
        unsigned long long nStart = 0;
        unsigned long long nFileSize = 0;
        unsigned long long nNulOffset = kNoNul;
        int nReadErrno = 0;   // errno of a failed read, 0 when none failed
        bool bEndOfFile = false;
        bool bTooLarge = false;
    };
    Fields m;
};

#endif
