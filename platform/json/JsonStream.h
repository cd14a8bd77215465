// The text of a JSON document for RapidJSON's SAX reader (JsonRead.cpp), read from a byte
// source through a buffer of fixed size, and how the reader copies runs of a text from it.
// Internal to the library: the only header besides the JSON sources that sees RapidJSON.
#ifndef RIZEROZ_JSONSTREAM_H
#define RIZEROZ_JSONSTREAM_H

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include <rapidjson/reader.h>

#include "SVFReadTypes.h"
#include "UtByteSource.h"
#include "UtFastText.h"

// The text for RapidJSON's reader, a buffer of 256 KB at a time: files, pipes and texts
// in memory alike. A NUL follows the bytes in the buffer, so that Peek needs no test; the
// lines of the buffers gone by are counted, so that a place in the text can be told.
class JsonStream
{
public:
    typedef char Ch;

    // `longestText`: the most bytes of text, escapes included, that one JSON text (a
    // string or a key) may take; at most kMostText.
    JsonStream(UtByteSource& input, SVFReadHook* observer, unsigned long long longestText)
        : m_pNext(nullptr), m_pEnd(nullptr), m_input(input), m_pObserver(observer),
          m_buffer(kBufferSize + 1 + kReadAlign), m_nStart(0), m_nLines(0), m_nLineStart(0), m_bFailed(false),
          m_nLongestText(std::min(longestText, kMostText)), m_rowBytes(kBufferSize / 2)
    {
        // Aligned with the document, which it takes in from its start in whole buffers.
        m_pBuffer = util_ReadAligned(m_buffer.data(), 0);
        m_pNext = m_pEnd = m_pBuffer;
        Refill();
        SkipByteOrderMark();
    }

    Ch Peek() const { return *m_pNext; }
    Ch Take()
    {
        Ch c = *m_pNext;
        if (m_pNext != m_pEnd && ++m_pNext == m_pEnd)
            Refill();
        return c;
    }
    size_t Tell() const { return (size_t)(m_nStart + (unsigned long long)(m_pNext - m_pBuffer)); }
    // RapidJSON's reader writes nothing into its input stream.
    Ch* PutBegin() { return nullptr; }
    void Put(Ch) {}
    void Flush() {}
    size_t PutEnd(Ch*) { return 0; }

    // The next buffer of text, once this one is used up; an empty one at the end.
    void Refill();
    // A UTF-8 byte order mark that opens the text is passed over, as JSON readers may;
    // places still count its bytes. (Bytes that begin as one and then differ are passed
    // over too: they are no JSON, and the reader refuses what follows them.)
    void SkipByteOrderMark()
    {
        static const char kMark[] = "\xEF\xBB\xBF";
        for (int i = 0; i < 3 && Peek() == kMark[i] && !AtEnd(); ++i)
            Take();
    }
    // True at the end of the text (a NUL before it is a byte of the text).
    bool AtEnd() const { return m_pNext == m_pEnd; }
    bool Failed() const { return m_bFailed; }
    // Whether the hook stopped the read (the text then ends where it did).
    bool Stopped() const { return m_bStopped; }
    // The system's error number of the failed read, and the offset of the byte it failed at.
    int ReadErrno() const { return m_nErrno; }
    unsigned long long FailedAt() const { return m_nStart + (unsigned long long)(m_pEnd - m_pBuffer); }

    // RapidJSON counts a text's length in 32 bits, and a length past them would wrap
    // round. A text is held to kMostText bytes as read: its decoded bytes are never more
    // (an escape shrinks), and one escape more (4 bytes at most) and the closing NUL
    // still fit.
    static constexpr unsigned long long kMostText = 0xFFFFFFFAull;
    // At the start of a text's characters (none copied yet): they start here.
    void BeginText() { m_nTextStart = Tell(); }
    // Where the last text's characters start.
    unsigned long long TextStart() const { return m_nTextStart; }
    // Whether `count` more bytes after the `decoded` ones keep the text within the longest
    // one, as decoded and as read; when not, the text ends here, as if the input did, and
    // TooLong tells why.
    bool TextFits(size_t decoded, size_t count)
    {
        if (decoded + count <= m_nLongestText && Tell() + count - m_nTextStart <= kMostText)
            return true;
        m_nTooLongAt =
            Tell() + std::min((unsigned long long)count, decoded < m_nLongestText ? m_nLongestText - decoded : 0);
        m_bTooLong = true;
        m_pNext = m_pEnd;
        return false;
    }
    bool TooLong() const { return m_bTooLong; }
    // Where the text passed its longest.
    unsigned long long TooLongAt() const { return m_nTooLongAt; }
    unsigned long long LongestText() const { return m_nLongestText; }

    // Rows are due (the reader stands in a "rows" array of the shape): a row that lies
    // whole in the buffer, with the byte after its closing quote, as digit pairs alone, is
    // decoded where it lies (TakeRowInPlace, at the start of its characters: true when
    // taken, the stream then at its closing quote) instead of being copied and then
    // decoded; TakeRow gives its digits and its bytes to the reader's String event in
    // place of the empty text it was told. Any other row is left to the reader.
    void SetRowsDue(bool due) { m_bRowsDue = due; }
    bool TakeRowInPlace()
    {
        if (!m_bRowsDue)
            return false;
        size_t room = (size_t)(m_pEnd - m_pNext), used = 0;
        size_t bytes =
            util_DecodeHexRun((const unsigned char*)m_pNext, room, m_rowBytes.data(), m_rowBytes.size(), &used);
        if (used + 1 >= room || m_pNext[used] != '"' || used != 2 * bytes || used > m_nLongestText)
            return false;
        m_pRow = m_pNext;
        m_nRow = used;
        m_pNext += used;
        return true;
    }
    // The row taken in place, if any: its digits and their bytes (else `bytes` is not set).
    void TakeRow(const char*& text, size_t& length, const unsigned char*& bytes)
    {
        if (m_pRow == nullptr)
            return;
        text = m_pRow;
        length = m_nRow;
        bytes = m_rowBytes.data();
        m_pRow = nullptr;
    }
    // The line and column (from 1, in bytes) of the byte at `offset`, which is in this
    // buffer or else in a token that began before it (a token holds no line end).
    void Place(unsigned long long offset, long& line, long& column) const;
    // The most characters of the text that a message quotes.
    static const size_t kQuoted = 40;
    // The text from `offset` as a message quotes it: " at \"...\"", at most kQuoted
    // characters of its line, or " at the end of the text".
    std::string Excerpt(unsigned long long offset) const;

    const char* m_pNext;   // the next byte
    const char* m_pEnd;    // the end of the bytes in the buffer

private:
    static const size_t kBufferSize = 262144;

    UtByteSource& m_input;
    SVFReadHook* m_pObserver;
    std::vector<char> m_buffer;
    char* m_pBuffer;                   // in m_buffer, aligned
    unsigned long long m_nStart;       // the offset of the buffer's first byte
    long m_nLines;                     // line ends before the buffer
    unsigned long long m_nLineStart;   // the offset where the last line before the buffer begins
    bool m_bFailed;
    int m_nErrno = 0;   // of the failed read
    unsigned long long m_nLongestText;
    unsigned long long m_nTextStart = 0;
    unsigned long long m_nTooLongAt = 0;
    bool m_bTooLong = false;
    bool m_bStopped = false;
    bool m_bRowsDue = false;
    const char* m_pRow = nullptr;   // a row's digits taken in place, until TakeRow
    size_t m_nRow = 0;
    std::vector<unsigned char> m_rowBytes;   // their bytes: room for a buffer's digits
};

// RapidJSON skips white space a byte at a time; this skips it a buffer at a time.
void SkipWhitespace(JsonStream& stream);

typedef rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, rapidjson::CrtAllocator> JsonSaxReader;

// RapidJSON's reader copies the characters of a text one by one, checking each, except
// where it is told how to copy a run that needs no escape: this does so for JsonStream, a
// buffer at a time (util_JsonTextRun finds a run's end 16 bytes at a time), so that the
// texts are copied at memcpy's pace. It stops before a quote, a backslash or a control
// character, which the reader handles. A row, nearly all of the text, is not copied at
// all where it lies whole in the buffer: it is decoded there (JsonStream::TakeRowInPlace).
template <>
template <>
inline void JsonSaxReader::ScanCopyUnescapedString<JsonStream, JsonSaxReader::StackStream<char>>(
    JsonStream& is, JsonSaxReader::StackStream<char>& os)
{
    if (os.Length() == 0)
    {
        is.BeginText();
        if (is.TakeRowInPlace())
            return;
    }
    for (;;)
    {
        const char* p = is.m_pNext + util_JsonTextRun(is.m_pNext, (size_t)(is.m_pEnd - is.m_pNext));
        size_t count = (size_t)(p - is.m_pNext);
        if (!is.TextFits(os.Length(), count))
            return;
        if (count > 0)
            memcpy(os.Push((rapidjson::SizeType)count), is.m_pNext, count);
        is.m_pNext = p;
        if (p < is.m_pEnd)
            return;
        is.Refill();
        if (is.AtEnd())
            return;
    }
}

#endif
