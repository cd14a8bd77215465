// Runs of text (UtFastText.h): well-formed UTF-8, runs of ASCII 8 bytes at a time and
// every other sequence checked byte by byte; and the characters of a JSON text that need
// no escape, 16 at a time with SSE2 (three comparisons and a mask) where the processor
// has it.
#include "UtFastText.h"

#include <stdint.h>
#include <string.h>

#include "UtVectors.h"

namespace
{
// The number of bytes after `first` that its sequence has (1 to 3), or 0 when `first`
// begins none: a continuation byte, C0 and C1 (overlong forms of ASCII), F5 and above.
size_t Following(unsigned char first)
{
    if (first >= 0xC2 && first <= 0xDF)
        return 1;
    if (first >= 0xE0 && first <= 0xEF)
        return 2;
    return first >= 0xF0 && first <= 0xF4 ? 3 : 0;
}

// Whether the `following` bytes after `first` at `text` complete its sequence. The second
// byte's range is narrower after E0 and F0 (no overlong form), ED (no surrogate) and F4
// (nothing past U+10FFFF).
bool Completes(unsigned char first, const unsigned char* text, size_t following)
{
    unsigned char low = first == 0xE0 ? 0xA0 : first == 0xF0 ? 0x90 : 0x80;
    unsigned char high = first == 0xED ? 0x9F : first == 0xF4 ? 0x8F : 0xBF;
    if (text[0] < low || text[0] > high)
        return false;
    for (size_t k = 1; k < following; ++k)
        if ((text[k] & 0xC0) != 0x80)
            return false;
    return true;
}

#if defined(RIZEROZ_SSE2)
RIZEROZ_SSE2_CODE size_t JsonTextRunVector(const char* text, size_t length)
{
    const __m128i quote = _mm_set1_epi8('"'), backslash = _mm_set1_epi8('\\'), control = _mm_set1_epi8(0x1F);
    size_t at = 0;
    for (; length - at >= 16; at += 16)
    {
        __m128i bytes = _mm_loadu_si128((const __m128i*)(text + at));
        // A byte at most 0x1F is its own minimum with 0x1F.
        __m128i stops = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)),
                                     _mm_cmpeq_epi8(_mm_min_epu8(bytes, control), bytes));
        unsigned int mask = (unsigned int)_mm_movemask_epi8(stops);
        if (mask != 0)
            return at + (size_t)util_LowOnes(~mask);
    }
    return at + util_JsonTextRunPlain(text + at, length - at);
}
#endif
}

size_t util_Utf8Prefix(const char* text, size_t length)
{
    const unsigned char* bytes = (const unsigned char*)text;
    size_t at = 0;
    while (at < length)
    {
        uint64_t word;
        while (length - at >= 8 && (memcpy(&word, bytes + at, 8), (word & 0x8080808080808080ull) == 0))
            at += 8;
        if (at == length)
            break;
        unsigned char first = bytes[at];
        if (first < 0x80)
        {
            ++at;
            continue;
        }
        size_t following = Following(first);
        if (following == 0 || length - at <= following || !Completes(first, bytes + at + 1, following))
            return at;
        at += following + 1;
    }
    return length;
}

size_t util_JsonTextRunPlain(const char* text, size_t length)
{
    size_t at = 0;
    while (at < length && (unsigned char)text[at] >= 0x20 && text[at] != '"' && text[at] != '\\')
        ++at;
    return at;
}

size_t util_JsonTextRun(const char* text, size_t length)
{
#if defined(RIZEROZ_SSE2)
    if (length >= 16 && util_HaveSSE2())
        return JsonTextRunVector(text, length);
#endif
    return util_JsonTextRunPlain(text, length);
}
