// The check of FastTextCheck.h.
#include "FastTextCheck.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "FuzzSupport.h"
#include "UtByteArena.h"
#include "UtFastText.h"
#include "UtSimd.h"

namespace
{
// The kernels of every vector level this processor runs (UtSimd.h), the plain one left out.
const std::vector<const UtTextKernels*>& Kernels()
{
    static const std::vector<const UtTextKernels*> kernels = [] {
        UtSimdLevel levels[8];
        size_t count = util_SimdLevels(levels, 8);
        std::vector<const UtTextKernels*> found;
        for (size_t i = 0; i < count; ++i)
            if (levels[i] != UtSimdLevel::Plain)
                found.push_back(util_TextKernelsAt(levels[i]));
        return found;
    }();
    return kernels;
}

// Storage kept from check to check, of which exactly the first `size` bytes are open:
// under AddressSanitizer the rest is poisoned, so a read or write past them is reported
// (as use-after-poison) wherever it would be past a block of exactly that size; the
// allocator's red zone guards the front. A block of its own for every copy cost more
// than the checks themselves.
class ExactRoom
{
public:
    ExactRoom() = default;
    ExactRoom(const ExactRoom&) = delete;
    ExactRoom& operator=(const ExactRoom&) = delete;
    ~ExactRoom() { Free(); }

    unsigned char* Open(size_t size)
    {
        if (size > m_nCapacity || m_pData == nullptr)
        {
            Free();
            m_nCapacity = std::max(size, 2 * m_nCapacity) + 1;
            m_pData = (unsigned char*)malloc(m_nCapacity);
            FUZZ_CHECK(m_pData != nullptr);
            util_PoisonRoom(m_pData, m_nCapacity);
            m_nOpen = 0;
        }
        // Only what the last opening left open is poisoned again.
        if (size < m_nOpen)
            util_PoisonRoom(m_pData + size, m_nOpen - size);
        else
            util_UnpoisonRoom(m_pData + m_nOpen, size - m_nOpen);
        m_nOpen = size;
        return m_pData;
    }

private:
    void Free()
    {
        util_UnpoisonRoom(m_pData, m_nCapacity);
        free(m_pData);
        m_pData = nullptr;
    }

    unsigned char* m_pData = nullptr;
    size_t m_nCapacity = 0;
    size_t m_nOpen = 0;   // the bytes open now
};

// The vector paths of UtFastText.h against the plain ones (decoding and counting line feeds
// at every vector level the processor runs), each on a copy of exactly the
// characters it is given. Every start once took every count up to 40 and the whole rest
// through every check (about 1,300 copies and 40 encodings of each start's text per
// input, almost all of the target's time). The checks now go by what a vector path can
// tell apart. None looks at where its text lies (their loads and stores are unaligned,
// and every copy begins its own storage anyway), so a start is only the text from there.
//   Decoding is steered by where the digits and the white space stand, so every start up
//   to 31 keeps every count from 16 to 40 and the whole rest. Below 16 characters the
//   vector path runs the plain code itself: it takes 32 characters at once only where
//   that many are left and room for 16 bytes remains, white space 16 at once only where
//   16 are left.
//   Counting line feeds: every start with the whole rest; below 64 characters the vector
//   path is the plain one. Runs of a JSON text likewise, below 16 characters.
//   Encoding takes a course set by the count and the line length alone, never by a byte,
//   and makes each byte's digits the same way in every lane. So the courses are checked
//   from start 0 (every count up to 40, in one line and in lines of 30 and of 1 to 17
//   bytes), and every start up to 31 sends the rest through the lanes in one line. A line
//   with a full line before it and another after it takes the course of the line before,
//   so text in lines is checked from its last two full lines on: the rest from every
//   start in lines of 30 and of 1 + start % 17 bytes, and in lines under 16 bytes (made
//   by the plain loop) the counts up to three lines.
// The plain path writes byte by byte, a break after each full line, so its text for a
// count is the start of its text for any longer count from the same start: one plain
// text is the reference for every count from its start.
const size_t kStarts = 32, kShortest = 16, kLongest = 40;
const char kBreak[] = "\n\t\t\t  ";
const size_t kBreakLength = 6;

size_t LinesSize(size_t count, size_t perLine)
{
    return 2 * count + kBreakLength * (count / perLine);
}

class FastTextCheck
{
public:
    explicit FastTextCheck(const std::string& text) : m_pText((const unsigned char*)text.data()), m_nSize(text.size())
    {
    }

    void Run()
    {
        for (size_t offset = 0; offset < kStarts && offset <= m_nSize; ++offset)
        {
            size_t rest = m_nSize - offset;
            for (size_t count = kShortest; count <= rest && count <= kLongest; ++count)
                Decode(offset, count);
            if (rest <= kLongest)
                continue;
            Decode(offset, rest);
            LineFeeds(offset, rest);
            TextRun(offset, rest);
            for (size_t perLine : {(size_t)30, 1 + offset % 17})
                LastLines(offset, rest, perLine);
        }
        Courses();
        Lanes();
    }

private:
    const unsigned char* Copy(size_t offset, size_t count)
    {
        unsigned char* in = s_in.Open(count);
        memcpy(in, m_pText + offset, count);
        return in;
    }

    void Decode(size_t offset, size_t count)
    {
        const unsigned char* in = Copy(offset, count);
        for (size_t room : {count / 2, count / 3})
        {
            unsigned char* plain = s_plain.Open(room);
            size_t plainUsed = 0;
            size_t expected = util_DecodeHexRunPlain(in, count, plain, room, &plainUsed);
            FUZZ_CHECK(plainUsed <= count && expected <= room);
            // Every vector level this processor runs.
            for (const UtTextKernels* kernels : Kernels())
            {
                unsigned char* fast = s_fast.Open(room);
                size_t used = 0;
                FUZZ_CHECK(kernels->decodeHexRun(in, count, fast, room, &used) == expected);
                FUZZ_CHECK(used == plainUsed && memcmp(fast, plain, expected) == 0);
            }
        }
    }

    void LineFeeds(size_t offset, size_t count)
    {
        const char* in = (const char*)Copy(offset, count);
        size_t last = 0, plainLast = 0;
        size_t feeds = util_CountLineFeeds(in, count, &last);
        FUZZ_CHECK(feeds == util_CountLineFeedsPlain(in, count, &plainLast));
        FUZZ_CHECK(feeds == 0 || last == plainLast);
        size_t plainNul = 0;
        FUZZ_CHECK(util_CountLineFeedsAndNulPlain(in, count, &plainLast, &plainNul) == feeds);
        for (const UtTextKernels* kernels : Kernels())
        {
            size_t nul = 0;
            FUZZ_CHECK(kernels->countLineFeedsAndNul(in, count, &last, &nul) == feeds);
            FUZZ_CHECK(nul == plainNul && (feeds == 0 || last == plainLast));
        }
    }

    void TextRun(size_t offset, size_t count)
    {
        const char* in = (const char*)Copy(offset, count);
        FUZZ_CHECK(util_JsonTextRun(in, count) == util_JsonTextRunPlain(in, count));
    }

    // The plain path's lines of `count` bytes from `offset` (kept until the next call).
    const char* PlainLines(size_t offset, size_t count, size_t perLine)
    {
        const unsigned char* in = Copy(offset, count);
        size_t size = LinesSize(count, perLine);
        char* lines = (char*)s_plain.Open(size);
        FUZZ_CHECK(util_EncodeHexLinesPlain(in, count, perLine, kBreak, kBreakLength, lines) == size);
        return lines;
    }

    // The vector path's lines of `count` bytes from `offset` against `expected`.
    void Lines(size_t offset, size_t count, size_t perLine, const char* expected)
    {
        const unsigned char* in = Copy(offset, count);
        size_t size = LinesSize(count, perLine);
        char* lines = (char*)s_fast.Open(size);
        FUZZ_CHECK(util_EncodeHexLines(in, count, perLine, kBreak, kBreakLength, lines) == size);
        FUZZ_CHECK(memcmp(lines, expected, size) == 0);
    }

    // The rest from `offset` in lines of `perLine`, from its last two full lines on.
    void LastLines(size_t offset, size_t rest, size_t perLine)
    {
        size_t skip = rest / perLine > 2 ? (rest / perLine - 2) * perLine : 0;
        Lines(offset + skip, rest - skip, perLine, PlainLines(offset + skip, rest - skip, perLine));
    }

    // Every count up to 40 from start 0 (up to three lines where they are under 16
    // bytes), in lines of 30 and of 1 to 17 bytes.
    void Courses()
    {
        size_t longest = std::min(m_nSize, kLongest);
        for (size_t perLine = 1; perLine <= 30; perLine = perLine == 17 ? 30 : perLine + 1)
        {
            size_t last = perLine < 16 ? std::min(longest, 3 * perLine) : longest;
            const char* plain = PlainLines(0, last, perLine);
            for (size_t count = 0; count <= last; ++count)
                Lines(0, count, perLine, plain);
        }
    }

    // The text in one line: every count up to 40 from start 0, and the rest from every
    // start up to 31.
    void Lanes()
    {
        const char* digits = PlainLines(0, m_nSize, m_nSize + 1);
        for (size_t count = 0; count <= m_nSize && count <= kLongest; ++count)
            Lines(0, count, count + 1, digits);
        for (size_t offset = 0; offset < kStarts && offset <= m_nSize; ++offset)
            Lines(offset, m_nSize - offset, m_nSize - offset + 1, digits + 2 * offset);
    }

    static ExactRoom s_in, s_fast, s_plain;
    const unsigned char* m_pText;
    size_t m_nSize;
};

ExactRoom FastTextCheck::s_in, FastTextCheck::s_fast, FastTextCheck::s_plain;
}

namespace fuzzcheck
{
void CheckFastText(const std::string& text)
{
    FastTextCheck(text).Run();
}
}
