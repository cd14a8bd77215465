// The SSE2 level of the hexadecimal decoder (UtSimd.h): the decoder of UtHexSteps.h on
// 16-byte vectors. Each character's value and whether it is a digit at all come from
// comparisons ('0'-'9', and 'a'-'f' after folding to lower case); the two values of each
// pair are joined in their 16-bit lane and the lanes packed to bytes. Compiled with -msse2
// (and, in 32-bit builds, realigning the stack each function is given: a program built by
// Microsoft's compiler calls with 4-byte alignment) and taken only on a processor that has it.
#include <emmintrin.h>

#include "UtHexSteps.h"
#include "UtSimd.h"

namespace
{
// The values of 16 characters (those that are no digit get some value); `digits` gets one
// bit per character that is a digit. Folded to lower case, a digit less '0' is its value,
// and a letter's is 39 less. A character lies in a range when, less the range's start and
// 128, it is below -128 plus the range's size as a signed byte: one subtraction and one
// comparison. (Folding makes digits of the control characters 0x10 to 0x19 too, so the
// decimal digits are told by the character itself.)
inline __m128i Values(__m128i c, unsigned int* digits)
{
    const __m128i lower = _mm_or_si128(c, _mm_set1_epi8(0x20));
    const __m128i isDecimal =
        _mm_cmplt_epi8(_mm_sub_epi8(c, _mm_set1_epi8((char)('0' + 128))), _mm_set1_epi8((char)(-128 + 10)));
    const __m128i isLetter =
        _mm_cmplt_epi8(_mm_sub_epi8(lower, _mm_set1_epi8((char)('a' + 128))), _mm_set1_epi8((char)(-128 + 6)));
    *digits = (unsigned int)_mm_movemask_epi8(_mm_or_si128(isDecimal, isLetter));
    return _mm_sub_epi8(_mm_sub_epi8(lower, _mm_set1_epi8('0')), _mm_and_si128(isLetter, _mm_set1_epi8(39)));
}

// One bit per character of the 16 at `text` that equals the one at `other`.
inline unsigned int Same16(const unsigned char* text, const unsigned char* other)
{
    return (unsigned int)_mm_movemask_epi8(
        _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i*)text), _mm_loadu_si128((const __m128i*)other)));
}

// Joins the values of each pair: in every 16-bit lane, the first digit's value stands in
// the low byte and the second's in the high byte; the byte they make goes to the low
// byte, ready for packing.
inline __m128i JoinPairs(__m128i values)
{
    return _mm_or_si128(_mm_and_si128(_mm_slli_epi16(values, 4), _mm_set1_epi16(0xF0)), _mm_srli_epi16(values, 8));
}

// One bit per character of the 16 at `text` that is white space.
inline unsigned int Spaces16(const unsigned char* text)
{
    const __m128i c = _mm_loadu_si128((const __m128i*)text);
    const __m128i blank = _mm_or_si128(_mm_cmpeq_epi8(c, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(c, _mm_set1_epi8('\t')));
    const __m128i end = _mm_or_si128(_mm_cmpeq_epi8(c, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(c, _mm_set1_epi8('\r')));
    return (unsigned int)_mm_movemask_epi8(_mm_or_si128(blank, end));
}

struct Sse2
{
    static uint32_t Step32(const unsigned char* text, unsigned char* out)
    {
        unsigned int first = 0, second = 0;
        __m128i a = Values(_mm_loadu_si128((const __m128i*)text), &first);
        __m128i b = Values(_mm_loadu_si128((const __m128i*)(text + 16)), &second);
        _mm_storeu_si128((__m128i*)out, _mm_packus_epi16(JoinPairs(a), JoinPairs(b)));
        return first | second << 16;
    }

    static uint32_t Same32(const unsigned char* text, const unsigned char* other)
    {
        return Same16(text, other) | Same16(text + 16, other + 16) << 16;
    }

    // Gaps between the lines of a row are short: 16 characters a step.
    static constexpr size_t kSpaces = 16;
    static uint32_t Spaces(const unsigned char* text) { return Spaces16(text); }
};
}

size_t util_DecodeHexRunSse2(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* used)
{
    return steps::DecodeRun<Sse2>(text, length, out, room, used);
}
