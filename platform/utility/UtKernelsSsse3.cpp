// The SSSE3 level of the hexadecimal decoder (UtSimd.h): the decoder of UtHexSteps.h on
// 16-byte vectors. Characters are classed by two table look-ups, one for
// each half of the byte (pshufb), and pairs are joined by a multiply-add. Compiled with
// -mssse3 and taken only on a processor that has it.
#include <tmmintrin.h>

#include "UtHexSteps.h"
#include "UtSimd.h"

namespace
{
// Classes of a character, from its low and its high half: the bits of both must agree.
// 0x01 decimal digit, 0x02 letter digit.
inline __m128i LowHalves()
{
    return _mm_setr_epi8(1, 3, 3, 3, 3, 3, 3, 1, 1, 1, 0, 0, 0, 0, 0, 0);
}

inline __m128i HighHalves()
{
    return _mm_setr_epi8(0, 0, 0, 1, 2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0);
}

// The white space character of each low half (0 where none has it): a character is white
// space when the look-up by itself gives it back (bytes from 0x80 give 0).
inline __m128i SpaceOfHalf()
{
    return _mm_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, 0, '\r', 0, 0);
}

// The 16 characters at `text` as eight pairs joined in 16-bit lanes (the first digit times
// 16); *other gets one bit per character that is no digit.
inline __m128i Pairs16(const unsigned char* text, unsigned int* other)
{
    const __m128i halves = _mm_set1_epi8(0x0F);
    __m128i c = _mm_loadu_si128((const __m128i*)text);
    __m128i low = _mm_and_si128(c, halves);
    __m128i classes = _mm_and_si128(_mm_shuffle_epi8(LowHalves(), low),
                                    _mm_shuffle_epi8(HighHalves(), _mm_and_si128(_mm_srli_epi16(c, 4), halves)));
    *other = (unsigned int)_mm_movemask_epi8(_mm_cmpeq_epi8(classes, _mm_setzero_si128()));
    // A digit's value: the low half, and 9 more for a letter (bit 0x40).
    __m128i letter = _mm_and_si128(c, _mm_set1_epi8(0x40));
    __m128i nine = _mm_add_epi8(_mm_srli_epi16(letter, 3), _mm_srli_epi16(letter, 6));
    return _mm_maddubs_epi16(_mm_add_epi8(low, nine), _mm_set1_epi16(0x0110));
}

// One bit per character of the 16 at `text` that equals the one at `other`.
inline unsigned int Same16(const unsigned char* text, const unsigned char* other)
{
    return (unsigned int)_mm_movemask_epi8(
        _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i*)text), _mm_loadu_si128((const __m128i*)other)));
}

struct Ssse3
{
    static uint32_t Step32(const unsigned char* text, unsigned char* out)
    {
        unsigned int first = 0, second = 0;
        __m128i a = Pairs16(text, &first), b = Pairs16(text + 16, &second);
        _mm_storeu_si128((__m128i*)out, _mm_packus_epi16(a, b));
        return ~(first | second << 16);
    }

    static uint32_t Same32(const unsigned char* text, const unsigned char* other)
    {
        return Same16(text, other) | Same16(text + 16, other + 16) << 16;
    }

    static constexpr size_t kSpaces = 16;
    static uint32_t Spaces(const unsigned char* text)
    {
        __m128i c = _mm_loadu_si128((const __m128i*)text);
        return (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_shuffle_epi8(SpaceOfHalf(), c), c));
    }
};
}

size_t util_DecodeHexRunSsse3(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* used)
{
    return steps::DecodeRun<Ssse3>(text, length, out, room, used);
}
