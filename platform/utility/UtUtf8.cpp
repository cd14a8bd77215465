// Well-formed UTF-8 (UtFastText.h): runs of ASCII 8 bytes at a time, every other
// sequence checked byte by byte.
#include "UtFastText.h"

#include <stdint.h>
#include <string.h>

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
