// The vector decoder of hexadecimal runs (util_DecodeHexRun's contract, UtFastText.h)
// shared by the levels above SSE2. Only the file of each level includes it, compiled with
// that level's instructions; everything here has internal linkage, so that no function
// compiled for one level is ever linked in for another.
//
// Digits are decoded where they lie, 32 characters a step: the level's Step32 decodes the
// 32 characters into 16 bytes and tells which of them are digits, so that a step whose
// characters are all digits costs no test beyond one comparison; a step that meets
// anything else keeps the whole pairs before it. The white space after them is passed over
// 32 characters a step. Where less than 16 bytes of room remain (a row's end), a step
// decodes into a spare place and keeps what fits; where less than 32 characters remain,
// the plain path takes over for the rest of the run.
//
// The level V provides:
//   static uint32_t Step32(const unsigned char* text, unsigned char* out);
//       decodes the 32 characters at `text` (pairs of digits) into 16 bytes at `out` and
//       returns one bit per character that is a hexadecimal digit
//   static uint32_t Spaces(const unsigned char* text);   static constexpr size_t kSpaces;
//       one bit per character of the kSpaces (16 or 32) at `text` that is white space
#ifndef RIZEROZ_UTHEXSTEPS_H
#define RIZEROZ_UTHEXSTEPS_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "UtSimd.h"

namespace
{
namespace steps
{
// Number of low bits of `bits` that are set, for a value that is not all ones.
inline unsigned LowOnes(uint32_t bits)
{
    return (unsigned)__builtin_ctz(~bits);
}

// The index of the first character from `at` on that is no white space, V::kSpaces (16
// or 32) a step while that many remain; where the text ends first, the index there.
template <class V>
size_t PassSpaces(const unsigned char* text, size_t length, size_t at)
{
    const uint32_t all = V::kSpaces == 32 ? 0xFFFFFFFFu : (1u << V::kSpaces) - 1;
    for (; length - at >= V::kSpaces; at += V::kSpaces)
    {
        uint32_t spaces = V::Spaces(text + at);
        if (spaces != all)
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
        while (length - at >= 32)
        {
            if (room - written >= 16)
            {
                uint32_t digits = V::Step32(text + at, out + written);
                if (digits == 0xFFFFFFFFu)
                {
                    at += 32;
                    written += 16;
                    continue;
                }
                size_t pairs = LowOnes(digits) / 2;
                at += 2 * pairs;
                written += pairs;
                break;
            }
            // Less than 16 bytes of room (the end of a row): the step's bytes go to a spare
            // place, and as many as fit are kept.
            unsigned char spare[16];
            uint32_t digits = V::Step32(text + at, spare);
            size_t pairs = (digits == 0xFFFFFFFFu ? 32 : LowOnes(digits)) / 2;
            pairs = pairs < room - written ? pairs : room - written;
            if (pairs > 0)   // `out` may be null where there is no room at all
                memcpy(out + written, spare, pairs);
            at += 2 * pairs;
            written += pairs;
            break;
        }
        if (length - at < 32)
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
    written += util_DecodeHexRunPlain(text + at, length - at, out + written, room - written, &rest);
    *used = at + rest;
    return written;
}
}
}

#endif
