// The vector decoder of hexadecimal runs (util_DecodeHexRun's contract, UtFastText.h)
// shared by the levels above SSE2. Only the file of each level includes it, compiled with
// that level's instructions; everything here has internal linkage, so that no function
// compiled for one level is ever linked in for another.
//
// Digits are decoded where they lie, 32 characters a step: the level's Step32 decodes the
// 32 characters into 16 bytes and tells which of them are digits, so that a step whose
// characters are all digits costs no test beyond one comparison; a step that meets
// anything else keeps the whole pairs before it. The white space after them is passed over
// 32 characters a step. Where 32 characters or 16 bytes of room no longer remain, the
// exact path (the level's `Rest`) takes over for the rest of the run.
//
// The level V provides:
//   static uint32_t Step32(const unsigned char* text, unsigned char* out);
//       decodes the 32 characters at `text` (pairs of digits) into 16 bytes at `out` and
//       returns one bit per character that is a hexadecimal digit
//   static uint32_t Spaces32(const unsigned char* text);
//       one bit per character of the 32 that is white space
//   static size_t Rest(text, length, out, room, used);   the exact path
#ifndef RIZEROZ_UTHEXSTEPS_H
#define RIZEROZ_UTHEXSTEPS_H

#include <stddef.h>
#include <stdint.h>

namespace
{
namespace steps
{
// Number of low bits of `bits` that are set, for a value that is not all ones.
inline unsigned LowOnes(uint32_t bits)
{
    return (unsigned)__builtin_ctz(~bits);
}

// The index of the first character from `at` on that is no white space, 32 a step while
// 32 remain; `length` when the text ends first.
template <class V>
size_t PassSpaces(const unsigned char* text, size_t length, size_t at)
{
    for (; length - at >= 32; at += 32)
    {
        uint32_t spaces = V::Spaces32(text + at);
        if (spaces != 0xFFFFFFFFu)
            return at + LowOnes(spaces);
    }
    return at;
}

template <class V>
size_t DecodeRun(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* used)
{
    size_t at = 0, written = 0;
    for (;;)
    {
        while (length - at >= 32 && room - written >= 16)
        {
            uint32_t digits = V::Step32(text + at, out + written);
            if (digits != 0xFFFFFFFFu)
            {
                size_t pairs = LowOnes(digits) / 2;
                at += 2 * pairs;
                written += pairs;
                break;
            }
            at += 32;
            written += 16;
        }
        if (length - at < 32 || room - written < 16)
            break;
        // The pairs stopped inside the text: at white space, or for good.
        size_t next = PassSpaces<V>(text, length, at);
        if (next == at)
        {
            *used = at;
            return written;
        }
        at = next;
    }
    size_t rest = 0;
    written += V::Rest(text + at, length - at, out + written, room - written, &rest);
    *used = at + rest;
    return written;
}
}
}

#endif
