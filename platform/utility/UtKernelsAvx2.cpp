// The AVX2 level of the text kernels (UtSimd.h): the hexadecimal decoder of UtHexSteps.h on
// 32-byte vectors, classing characters by two table look-ups (one for each half of the
// byte) and joining pairs by a multiply-add, and the count of line feeds
// with the search for a NUL byte 64 bytes a step. Compiled with -mavx2 (and the bit
// instructions every such processor has) and taken only where the processor and the
// system run them.
#include <immintrin.h>

#include <string.h>

#include "UtHexSteps.h"
#include "UtSimd.h"

namespace
{
// Classes of a character, from its low and its high half (both 16-byte lanes alike): the
// bits of both must agree. 0x01 decimal digit, 0x02 letter digit.
inline __m256i LowHalves()
{
    return _mm256_setr_epi8(1, 3, 3, 3, 3, 3, 3, 1, 1, 1, 0, 0, 0, 0, 0, 0, 1, 3, 3, 3, 3, 3, 3, 1, 1, 1, 0, 0, 0, 0, 0,
                            0);
}

inline __m256i HighHalves()
{
    return _mm256_setr_epi8(0, 0, 0, 1, 2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0,
                            0);
}

// The white space character of each low half (0 where none has it): a character is white
// space when the look-up by itself gives it back (bytes from 0x80 give 0).
inline __m256i SpaceOfHalf()
{
    return _mm256_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, 0, '\r', 0, 0, ' ', 0, 0, 0, 0, 0, 0, 0, 0,
                            '\t', '\n', 0, 0, '\r', 0, 0);
}

struct Avx2
{
    // The values of the digits: the low half, and 9 more for a letter (bit 0x40); each pair
    // joined in its 16-bit lane (the first digit times 16), and the lanes packed.
    static uint32_t Step32(const unsigned char* text, unsigned char* out)
    {
        const __m256i halves = _mm256_set1_epi8(0x0F);
        __m256i c = _mm256_loadu_si256((const __m256i*)text);
        __m256i low = _mm256_and_si256(c, halves);
        __m256i classes =
            _mm256_and_si256(_mm256_shuffle_epi8(LowHalves(), low),
                             _mm256_shuffle_epi8(HighHalves(), _mm256_and_si256(_mm256_srli_epi16(c, 4), halves)));
        uint32_t other = (uint32_t)_mm256_movemask_epi8(_mm256_cmpeq_epi8(classes, _mm256_setzero_si256()));
        __m256i letter = _mm256_and_si256(c, _mm256_set1_epi8(0x40));
        __m256i nine = _mm256_add_epi8(_mm256_srli_epi16(letter, 3), _mm256_srli_epi16(letter, 6));
        __m256i pairs = _mm256_maddubs_epi16(_mm256_add_epi8(low, nine), _mm256_set1_epi16(0x0110));
        _mm_storeu_si128((__m128i*)out,
                         _mm_packus_epi16(_mm256_castsi256_si128(pairs), _mm256_extracti128_si256(pairs, 1)));
        return ~other;
    }

    static uint32_t Same32(const unsigned char* text, const unsigned char* other)
    {
        return (uint32_t)_mm256_movemask_epi8(
            _mm256_cmpeq_epi8(_mm256_loadu_si256((const __m256i*)text), _mm256_loadu_si256((const __m256i*)other)));
    }

    static constexpr size_t kSpaces = 32;
    static uint32_t Spaces(const unsigned char* text)
    {
        __m256i c = _mm256_loadu_si256((const __m256i*)text);
        return (uint32_t)_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_shuffle_epi8(SpaceOfHalf(), c), c));
    }
};
}

size_t util_DecodeHexRunAvx2(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* used)
{
    return steps::DecodeRun<Avx2>(text, length, out, room, used);
}

// Line feeds counted and the first NUL byte found in the same loads, 64 bytes a step: each
// step adds at most 2 to a byte of the sums, so they are added up every 127 steps.
size_t util_CountLineFeedsAndNulAvx2(const char* text, size_t length, size_t* last, size_t* nul)
{
    const __m256i feed = _mm256_set1_epi8('\n'), zero = _mm256_setzero_si256();
    size_t count = 0, i = 0;
    *nul = length;
    while (length - i >= 64)
    {
        size_t steps = (length - i) / 64 < 127 ? (length - i) / 64 : 127;
        size_t from = i;
        __m256i sums = zero, least = _mm256_set1_epi8((char)0xFF);
        for (size_t step = 0; step < steps; ++step, i += 64)
        {
            __m256i a = _mm256_loadu_si256((const __m256i*)(text + i));
            __m256i b = _mm256_loadu_si256((const __m256i*)(text + i + 32));
            sums = _mm256_sub_epi8(sums, _mm256_add_epi8(_mm256_cmpeq_epi8(a, feed), _mm256_cmpeq_epi8(b, feed)));
            least = _mm256_min_epu8(least, _mm256_min_epu8(a, b));
        }
        __m256i total = _mm256_sad_epu8(sums, zero);
        __m128i half = _mm_add_epi64(_mm256_castsi256_si128(total), _mm256_extracti128_si256(total, 1));
        count += (size_t)_mm_cvtsi128_si64(half) + (size_t)_mm_cvtsi128_si64(_mm_unpackhi_epi64(half, half));
        if (*nul == length && _mm256_movemask_epi8(_mm256_cmpeq_epi8(least, zero)) != 0)
            *nul = (size_t)((const char*)memchr(text + from, 0, i - from) - text);
    }
    for (; i < length; ++i)
    {
        count += text[i] == '\n' ? 1 : 0;
        if (text[i] == 0 && *nul == length)
            *nul = i;
    }
    if (count > 0)
    {
        size_t at = length;
        while (text[at - 1] != '\n')
            --at;
        *last = at - 1;
    }
    return count;
}
