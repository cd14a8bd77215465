// Line feeds counted 16 bytes at a time with SSE2 where the processor has it, else with
// memchr (UtFastText.h). The vector path adds each block's matches up byte by byte, for
// at most 255 blocks before a byte could overflow, and then sums the bytes (psadbw). The
// last line feed is found by a scan back from the end, which stops at the first one.
#include "UtFastText.h"

#include <string.h>

#include "UtVectors.h"

namespace
{
#if defined(RIZEROZ_SSE2)
// Index of the last line feed of the `length` characters at `text`, which hold one.
size_t LastLineFeed(const char* text, size_t length)
{
    size_t i = length;
    while (text[i - 1] != '\n')
        --i;
    return i - 1;
}

RIZEROZ_SSE2_CODE size_t CountVector(const char* text, size_t length)
{
    const __m128i feed = _mm_set1_epi8('\n');
    size_t count = 0, i = 0;
    while (length - i >= 16)
    {
        size_t blocks = (length - i) / 16;
        if (blocks > 255)
            blocks = 255;
        __m128i sums = _mm_setzero_si128();
        for (size_t block = 0; block < blocks; ++block, i += 16)
            sums = _mm_sub_epi8(sums, _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i*)(text + i)), feed));
        __m128i total = _mm_sad_epu8(sums, _mm_setzero_si128());
        count += (size_t)_mm_cvtsi128_si32(total) + (size_t)_mm_cvtsi128_si32(_mm_srli_si128(total, 8));
    }
    for (; i < length; ++i)
        count += text[i] == '\n' ? 1 : 0;
    return count;
}
#endif
}

size_t util_CountLineFeedsPlain(const char* text, size_t length, size_t* last)
{
    size_t count = 0;
    const char* end = text + length;
    for (const char* p = text; p < end;)
    {
        const char* feed = (const char*)memchr(p, '\n', (size_t)(end - p));
        if (feed == nullptr)
            break;
        ++count;
        *last = (size_t)(feed - text);
        p = feed + 1;
    }
    return count;
}

size_t util_CountLineFeeds(const char* text, size_t length, size_t* last)
{
#if defined(RIZEROZ_SSE2)
    if (length >= 64 && util_HaveSSE2())
    {
        size_t count = CountVector(text, length);
        if (count > 0)
            *last = LastLineFeed(text, length);
        return count;
    }
#endif
    return util_CountLineFeedsPlain(text, length, last);
}
