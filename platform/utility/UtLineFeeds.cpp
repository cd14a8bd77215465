// Line feeds counted 16 bytes at a time with SSE2 where the processor has it, else with
// memchr (UtFastText.h). The vector path adds each block's matches up byte by byte, for
// at most 255 blocks before a byte could overflow, and then sums the bytes (psadbw). The
// last line feed is found by a scan back from the end, which stops at the first one.
// The window's pass over the bytes it takes in looks for a NUL byte in the same loads.
#include "UtFastText.h"

#include <string.h>

#include "UtSimd.h"
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

// Adds the line feeds of `quads` runs of four blocks from `text` (at most 127) to *count;
// returns whether one of those bytes is a NUL byte. Each of the two sums takes two
// matches a run; the smallest byte of each lane is kept, 0 when a NUL byte passed.
RIZEROZ_SSE2_CODE bool CountQuadsNul(const char* text, size_t quads, size_t* count)
{
    const __m128i feed = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    __m128i sums = zero, moreSums = zero, least = _mm_set1_epi8((char)0xFF);
    for (size_t quad = 0; quad < quads; ++quad, text += 64)
    {
        __m128i a = _mm_loadu_si128((const __m128i*)text);
        __m128i b = _mm_loadu_si128((const __m128i*)(text + 16));
        __m128i c = _mm_loadu_si128((const __m128i*)(text + 32));
        __m128i d = _mm_loadu_si128((const __m128i*)(text + 48));
        sums = _mm_sub_epi8(sums, _mm_add_epi8(_mm_cmpeq_epi8(a, feed), _mm_cmpeq_epi8(b, feed)));
        moreSums = _mm_sub_epi8(moreSums, _mm_add_epi8(_mm_cmpeq_epi8(c, feed), _mm_cmpeq_epi8(d, feed)));
        least = _mm_min_epu8(least, _mm_min_epu8(_mm_min_epu8(a, b), _mm_min_epu8(c, d)));
    }
    __m128i total = _mm_add_epi64(_mm_sad_epu8(sums, zero), _mm_sad_epu8(moreSums, zero));
    *count += (size_t)_mm_cvtsi128_si32(total) + (size_t)_mm_cvtsi128_si32(_mm_srli_si128(total, 8));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(least, zero)) != 0;
}

// CountVector that also sets *nul to the index of the first NUL byte (`length` when
// there is none): a stretch with one is searched again for where it lies.
size_t CountVectorNul(const char* text, size_t length, size_t* nul)
{
    size_t count = 0, i = 0;
    *nul = length;
    while (length - i >= 64)
    {
        size_t quads = (length - i) / 64;
        if (quads > 127)
            quads = 127;
        bool hasNul = CountQuadsNul(text + i, quads, &count);
        if (hasNul && *nul == length)
            *nul = (size_t)((const char*)memchr(text + i, 0, quads * 64) - text);
        i += quads * 64;
    }
    for (; i < length; ++i)
    {
        count += text[i] == '\n' ? 1 : 0;
        if (text[i] == 0 && *nul == length)
            *nul = i;
    }
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

size_t util_CountLineFeedsAndNulPlain(const char* text, size_t length, size_t* last, size_t* nul)
{
    const char* found = (const char*)memchr(text, 0, length);
    *nul = found ? (size_t)(found - text) : length;
    return util_CountLineFeedsPlain(text, length, last);
}

#if defined(RIZEROZ_SSE2)
size_t util_CountLineFeedsAndNulSse2(const char* text, size_t length, size_t* last, size_t* nul)
{
    if (length < 64)
        return util_CountLineFeedsAndNulPlain(text, length, last, nul);
    size_t count = CountVectorNul(text, length, nul);
    if (count > 0)
        *last = LastLineFeed(text, length);
    return count;
}
#endif

size_t util_CountLineFeedsAndNul(const char* text, size_t length, size_t* last, size_t* nul)
{
    return util_TextKernels().countLineFeedsAndNul(text, length, last, nul);
}
