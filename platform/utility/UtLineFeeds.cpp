// Line feeds counted 16 bytes at a time with SSE2 where the processor has it, else with
// memchr (UtFastText.h). The vector path adds each block's matches up byte by byte, for
// at most 255 blocks before a byte could overflow, and then sums the bytes (psadbw). The
// last line feed is found by a scan back from the end, which stops at the first one.
// The window's pass over the bytes it takes in looks for a NUL byte in the same loads.
#include "UtFastText.h"

#include <stdint.h>
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

// Adds the line feeds of `quads` runs of four blocks from `text`, which is 16-byte aligned
// (at most 63 runs), to *count; returns whether one of those bytes is a NUL byte. The
// aligned loads let each block be compared where it lies: a copy of the line feeds, a
// compare and a subtraction count it, a minimum keeps its least byte (0 once a NUL passed).
RIZEROZ_SSE2_CODE bool CountQuadsNul(const char* text, size_t quads, size_t* count)
{
    const __m128i feed = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    __m128i sums = zero, moreSums = zero, least = _mm_set1_epi8((char)0xFF), moreLeast = least;
    for (size_t quad = 0; quad < quads; ++quad, text += 64)
    {
        const __m128i* at = (const __m128i*)text;
        sums = _mm_sub_epi8(sums, _mm_cmpeq_epi8(feed, _mm_load_si128(at)));
        least = _mm_min_epu8(least, _mm_load_si128(at));
        moreSums = _mm_sub_epi8(moreSums, _mm_cmpeq_epi8(feed, _mm_load_si128(at + 1)));
        moreLeast = _mm_min_epu8(moreLeast, _mm_load_si128(at + 1));
        sums = _mm_sub_epi8(sums, _mm_cmpeq_epi8(feed, _mm_load_si128(at + 2)));
        least = _mm_min_epu8(least, _mm_load_si128(at + 2));
        moreSums = _mm_sub_epi8(moreSums, _mm_cmpeq_epi8(feed, _mm_load_si128(at + 3)));
        moreLeast = _mm_min_epu8(moreLeast, _mm_load_si128(at + 3));
    }
    sums = _mm_add_epi8(sums, moreSums);
    least = _mm_min_epu8(least, moreLeast);
    // A byte of `sums` gains at most 4 a run: 63 runs stay below 256.
    __m128i total = _mm_sad_epu8(sums, zero);
    *count += (size_t)_mm_cvtsi128_si32(total) + (size_t)_mm_cvtsi128_si32(_mm_srli_si128(total, 8));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(least, zero)) != 0;
}

// CountVector that also sets *nul to the index of the first NUL byte (`length` when
// there is none): the bytes up to a 16-byte boundary one at a time, then runs of 64 from
// there; a stretch with a NUL byte is searched again for where it lies.
size_t CountVectorNul(const char* text, size_t length, size_t* nul)
{
    size_t count = 0, i = 0;
    *nul = length;
    for (; i < length && (uintptr_t)(text + i) % 16 != 0; ++i)
    {
        count += text[i] == '\n' ? 1 : 0;
        if (text[i] == 0 && *nul == length)
            *nul = i;
    }
    while (length - i >= 64)
    {
        size_t quads = (length - i) / 64;
        if (quads > 63)
            quads = 63;
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
