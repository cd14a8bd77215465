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
//   static uint32_t Same32(const unsigned char* text, const unsigned char* other);
//       one bit per character of the 32 at `text` that equals the one at `other`
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

// A row the writer broke over lines: lines of the same number of digits, each followed by
// the same white space (a line break and the indent). Once the first line tells the
// shape, each next line is decoded at places known beforehand, its steps saying whether
// its characters were digits, and its white space compared with the first line's, so
// that no step waits for the one before it to find where it starts.
struct LineShape
{
    static constexpr size_t kMaxSteps = 4;   // lines of up to 128 digits
    size_t nDigits = 0;                      // digits of a line, even
    size_t nLength = 0;                      // characters of a line and the white space after it
    uint32_t last = 0;                       // the characters of the last step that must be digits
    uint32_t gap = 0;                        // those of the line's last 32 that are its white space
    unsigned char end[32];                   // the first line's last 32 characters

    // The shape of the line at the start of `text` (at least 32 x kMaxSteps characters):
    // false when it is no line of a broken row (odd, too short or too long, or not followed
    // by at most 32 characters of white space).
    template <class V>
    bool Take(const unsigned char* text)
    {
        uint32_t digitBits[kMaxSteps], spaceBits[kMaxSteps];
        unsigned char spare[16];
        for (size_t step = 0; step < kMaxSteps; ++step)
        {
            digitBits[step] = V::Step32(text + 32 * step, spare);
            spaceBits[step] = V::Spaces(text + 32 * step);
            if (V::kSpaces == 16)
                spaceBits[step] |= V::Spaces(text + 32 * step + 16) << 16;
        }
        nDigits = Run(digitBits, 0);
        nLength = nDigits + Run(spaceBits, nDigits);
        if (nDigits < 32 || nDigits % 2 != 0 || nLength == nDigits || nLength - nDigits > 32 ||
            nLength >= 32 * kMaxSteps)
            return false;
        size_t tail = nDigits - 32 * (Steps() - 1);
        last = tail == 32 ? 0xFFFFFFFFu : (1u << tail) - 1;
        gap = ~0u << (32 - (nLength - nDigits));
        memcpy(end, text + nLength - 32, sizeof end);
        return true;
    }
    // The 32-character steps a line's digits are decoded in.
    size_t Steps() const { return (nDigits + 31) / 32; }

private:
    // The length of the run of set bits from bit `from` on (below 32 x kMaxSteps).
    static size_t Run(const uint32_t* bits, size_t from)
    {
        size_t at = from;
        while (at < 32 * kMaxSteps)
        {
            uint32_t clear = ~bits[at / 32] >> (at % 32);
            if (clear != 0)
                return at + (size_t)__builtin_ctz(clear) - from;
            at = (at / 32 + 1) * 32;
        }
        return at - from;
    }
};

// DecodeLines for lines of `kSteps` steps. The bytes of a line's last step beyond its
// digits are written too, within the room, and the next line writes over them.
template <class V, size_t kSteps>
size_t DecodeShapedLines(const LineShape& shape, const unsigned char* text, size_t length, unsigned char* out,
                         size_t room, size_t* written)
{
    size_t at = 0, done = 0;
    const size_t bytes = shape.nDigits / 2;
    while (length - at >= shape.nLength + 64 && room - done >= 16 * kSteps)
    {
        uint32_t differ = 0;
        for (size_t step = 0; step + 1 < kSteps; ++step)
            differ |= ~V::Step32(text + at + 32 * step, out + done + 16 * step);
        differ |= shape.last & ~V::Step32(text + at + 32 * (kSteps - 1), out + done + 16 * (kSteps - 1));
        differ |= shape.gap & ~V::Same32(text + at + shape.nLength - 32, shape.end);
        if (differ != 0)
            break;   // what the line's steps wrote is past the bytes decoded
        at += shape.nLength;
        done += bytes;
    }
    *written = done;
    return at;
}

// Decodes the lines of the row at `text` that have the shape of its first line, from the
// start, leaving at least 64 characters at the end. Returns the characters passed (whole
// lines); *written the bytes decoded.
template <class V>
size_t DecodeLines(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* written)
{
    LineShape shape;
    *written = 0;
    if (!shape.Take<V>(text))
        return 0;
    switch (shape.Steps())
    {
    case 1:
        return DecodeShapedLines<V, 1>(shape, text, length, out, room, written);
    case 2:
        return DecodeShapedLines<V, 2>(shape, text, length, out, room, written);
    case 3:
        return DecodeShapedLines<V, 3>(shape, text, length, out, room, written);
    default:
        return DecodeShapedLines<V, 4>(shape, text, length, out, room, written);
    }
}

template <class V>
size_t DecodeRun(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* used)
{
    size_t written = 0;
    size_t at = length >= 256 ? DecodeLines<V>(text, length, out, room, &written) : 0;
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
