// XMLWindow: the window the parser reads a document through. Internal to the parser
// library.
//
// Data()[0, End()) holds bytes of the document, and Start() is the document offset of
// Data()[0]. The bytes come from a byte source (UtByteSource.h): a file by its name, which
// the window opens and owns, or a source of the caller's. A source whose bytes lie in
// memory already is not read at all: the window is those bytes, nothing is ever written
// to them, and Fill() takes in the next 256 KiB of them at a time, dropping and moving
// none. Any other source is read into the window's own memory: Fill() drops the bytes in front of a given index, moves
// the rest to the front and reads behind them; it grows the window only when the bytes it must keep already fill it (a
// tag larger than the window), and returns to the normal size at a later refill. Offsets into the document are 64-bit,
// so documents beyond 4 GiB are read.
#ifndef RIZEROZ_XMLWINDOW_H
#define RIZEROZ_XMLWINDOW_H

#include <stddef.h>

#include "UtByteSource.h"

class ErrorHandler;

// The window (XMLWindow.cpp): the source and the bytes of it in memory, Data()[0, End())
// at document offset Start(). Whoever scans keeps its own place in it; Fill moves that
// place with the bytes.
class XMLWindow
{
public:
    // Normal size of the window; a larger tag grows it for as long as it is needed.
    static constexpr size_t kSize = 256 * 1024;
    // A smaller document's window is its size rounded up to whole pages of this size.
    static constexpr size_t kPage = 4096;
    static constexpr size_t kAlign = 64;   // where the window's reads begin: kReadAlign (UtFastText.h)

    XMLWindow() = default;
    XMLWindow(const XMLWindow&) = delete;
    XMLWindow& operator=(const XMLWindow&) = delete;
    ~XMLWindow() { Close(); }

    // Opens the file `path` with an empty window: 0, or XML_ERR_OPEN / XML_ERR_NO_MEMORY
    // with a report on `errors`.
    int OpenFile(const char* path, ErrorHandler* errors);
    // Reads `source` (the caller keeps it) from now on, the document named `name` in
    // reports: 0, or XML_ERR_NO_MEMORY with a report. The window is empty afterwards.
    int Open(UtByteSource* source, const char* name, ErrorHandler* errors);
    // Closes the file and frees the window; every field back to its default.
    void Close();

    // Drops the bytes before `keep` (which the caller has counted lines over), moves the
    // rest to the front and reads behind them; *pos moves with the byte it points at. A
    // window of a source's own bytes drops nothing (InPlace).
    // Returns the number of bytes read: 0 at the end of the document or after a failed
    // read (ReadErrno tells them apart). When the bytes it must keep fill the window, it
    // grows, unless more than `maxTag` bytes from *pos on would stay (TooLarge).
    size_t Fill(size_t keep, size_t* pos, unsigned int maxTag);

    bool IsOpen() const { return m.pSource != nullptr; }
    // The document is the file the window opened by its name.
    bool ReadsNamedFile() const { return m.pSource != nullptr && m.pSource == &m_file; }
    // The window is the source's own bytes: nothing leaves it, Start() stays 0.
    bool InPlace() const { return m.bInPlace; }
    // More may be read: a source is open and has not ended.
    bool CanRead() const { return m.pSource != nullptr && !m.bEnded; }
    const char* Data() const { return m.pData; }
    size_t End() const { return m.nEnd; }
    unsigned long long Start() const { return m.nStart; }
    int ReadErrno() const { return m.nReadErrno; }
    // One item outgrew the tag limit: the window stopped filling.
    bool TooLarge() const { return m.bTooLarge; }
    // The document's size when the source knew it beforehand (a regular file, a
    // buffer), else 0.
    unsigned long long SourceSize() const { return m.nSourceSize; }
    // The document offset of the first NUL byte read so far; kNoNul while none was.
    static constexpr unsigned long long kNoNul = ~0ull;
    unsigned long long NulOffset() const { return m.nNulOffset; }
    // The line feeds of the document before Start() + End(), counted as the bytes came
    // in, and the document offset of the last of them (kNoLineFeed while there is none).
    static constexpr unsigned long long kNoLineFeed = ~0ull;
    unsigned long long LineFeeds() const { return m.nLineFeeds; }
    unsigned long long LastLineFeed() const { return m.nLastLineFeed; }

private:
    bool Place(size_t size, unsigned long long start, const char* from, size_t kept);
    size_t Reveal();
    size_t ReadSource(char* to, size_t wanted);
    void NoteBytes(const char* from, size_t count);

    struct Fields
    {
        UtByteSource* pSource = nullptr;   // the source read: &m_file, or the caller's
        char* pData = nullptr;             // in pBlock, or the source's own bytes (bInPlace)
        char* pBlock = nullptr;            // the memory the window owns (malloc), pData's first bytes before it
        size_t nCapacity = 0;              // bytes from pData to the end of pBlock
        size_t nEnd = 0;
        unsigned long long nStart = 0;
        unsigned long long nSourceSize = 0;
        unsigned long long nNulOffset = kNoNul;
        unsigned long long nLineFeeds = 0;
        unsigned long long nLastLineFeed = kNoLineFeed;
        int nReadErrno = 0;   // errno of a failed read, 0 when none failed
        bool bEnded = false;
        bool bTooLarge = false;
        bool bInPlace = false;
    };
    Fields m;
    UtFileSource m_file;   // the file OpenFile opened
};

#endif
