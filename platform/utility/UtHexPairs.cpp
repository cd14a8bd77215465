// Hexadecimal digit pairs: the plain decoder, the decoder through the table of kernels
// (UtSimd.h; the vector levels' decoders are in UtKernels*.cpp), and the encoder, 16 bytes
// at a time with SSE2 where the processor has it, else one byte at a time (UtFastText.h).
// Encoding splits each byte into its two halves, interleaves them and turns every half
// into its digit character.
#include "UtFastText.h"

#include <string.h>

#include "UtSimd.h"
#include "UtUtility.h"
#include "UtVectors.h"

namespace
{
// Value of each hexadecimal digit character; kNoDigit for every other character.
const unsigned char kNoDigit = 0x10;

struct DigitValues
{
    unsigned char value[256];
    constexpr DigitValues() : value()
    {
        for (int c = 0; c < 256; ++c)
            value[c] = util_IsHexDigit((char)c) ? (unsigned char)util_HexValue((char)c) : kNoDigit;
    }
};

constexpr DigitValues kDigitValues;

// Whole pairs from `text`, at most `pairs` of them, up to the first that is not two
// digits; returns how many were decoded.
size_t DecodePairs(const unsigned char* text, size_t pairs, unsigned char* out)
{
    size_t done = 0;
    for (; done < pairs; ++done)
    {
        unsigned char high = kDigitValues.value[text[2 * done]];
        unsigned char low = kDigitValues.value[text[2 * done + 1]];
        if ((high | low) & kNoDigit)
            break;
        out[done] = (unsigned char)((high << 4) | low);
    }
    return done;
}

// Decodes the pairs from text[at] on as far as they go, within `length` and `room`,
// moving `at` and `written` past them.
void DecodeRest(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t& at, size_t& written)
{
    size_t pairs = (length - at) / 2;
    if (pairs > room - written)
        pairs = room - written;
    size_t decoded = DecodePairs(text + at, pairs, out + written);
    at += 2 * decoded;
    written += decoded;
}

// The index of the first character from text[at] on that is no white space.
size_t SkipSpace(const unsigned char* text, size_t length, size_t at)
{
    while (at < length && util_IsWhiteSpace((char)text[at]))
        ++at;
    return at;
}

void EncodePairs(const unsigned char* bytes, size_t count, char* out)
{
    for (size_t i = 0; i < count; ++i)
    {
        out[2 * i] = util_HexDigit(bytes[i] >> 4);
        out[2 * i + 1] = util_HexDigit(bytes[i]);
    }
}

#if defined(RIZEROZ_SSE2)
// The digit characters of 16 values from 0 to 15.
RIZEROZ_SSE2_CODE inline __m128i DigitCharacters(__m128i values)
{
    const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(values, _mm_set1_epi8(9)), _mm_set1_epi8('A' - '0' - 10));
    return _mm_add_epi8(_mm_add_epi8(values, _mm_set1_epi8('0')), letters);
}

RIZEROZ_SSE2_CODE inline void Encode16(const unsigned char* bytes, char* out)
{
    const __m128i b = _mm_loadu_si128((const __m128i*)bytes);
    const __m128i low = _mm_and_si128(b, _mm_set1_epi8(0x0F));
    const __m128i high = _mm_and_si128(_mm_srli_epi16(b, 4), _mm_set1_epi8(0x0F));
    _mm_storeu_si128((__m128i*)out, DigitCharacters(_mm_unpacklo_epi8(high, low)));
    _mm_storeu_si128((__m128i*)(out + 16), DigitCharacters(_mm_unpackhi_epi8(high, low)));
}

RIZEROZ_SSE2_CODE size_t EncodeLinesVector(const unsigned char* bytes, size_t count, size_t perLine,
                                           const char* lineBreak, size_t breakLength, char* out)
{
    char* start = out;
    // A break of up to 8 characters is stored as 8 at once where a line follows it,
    // whose digits then overwrite what lies beyond the break.
    char padded[8] = {0};
    memcpy(padded, lineBreak, breakLength < 8 ? breakLength : 8);
    for (size_t at = 0; at < count; at += perLine)
    {
        size_t line = count - at < perLine ? count - at : perLine;
        if (line >= 16)
        {
            size_t done = 0;
            for (; line - done >= 16; done += 16)
                Encode16(bytes + at + done, out + 2 * done);
            // The last few bytes: the final 16 once more, overlapping what is written.
            if (done < line)
                Encode16(bytes + at + line - 16, out + 2 * (line - 16));
        }
        else
        {
            EncodePairs(bytes + at, line, out);
        }
        out += 2 * line;
        if (line < perLine)
            break;
        if (breakLength <= 8 && at + line < count)
            memcpy(out, padded, 8);
        else
            memcpy(out, lineBreak, breakLength);
        out += breakLength;
    }
    return (size_t)(out - start);
}
#endif
}

size_t util_DecodeHexRunPlain(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* used)
{
    size_t at = 0, written = 0;
    for (;;)
    {
        DecodeRest(text, length, out, room, at, written);
        size_t next = SkipSpace(text, length, at);
        if (next == at)
            break;
        at = next;
    }
    *used = at;
    return written;
}

size_t util_DecodeHexRun(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* used)
{
    return util_TextKernels().decodeHexRun(text, length, out, room, used);
}

size_t util_EncodeHexLinesPlain(const unsigned char* bytes, size_t count, size_t perLine, const char* lineBreak,
                                size_t breakLength, char* out)
{
    char* start = out;
    for (size_t at = 0; at < count; at += perLine)
    {
        size_t line = count - at < perLine ? count - at : perLine;
        EncodePairs(bytes + at, line, out);
        out += 2 * line;
        if (line == perLine)
        {
            memcpy(out, lineBreak, breakLength);
            out += breakLength;
        }
    }
    return (size_t)(out - start);
}

size_t util_EncodeHexLines(const unsigned char* bytes, size_t count, size_t perLine, const char* lineBreak,
                           size_t breakLength, char* out)
{
#if defined(RIZEROZ_SSE2)
    if (util_HaveSSE2())
        return EncodeLinesVector(bytes, count, perLine, lineBreak, breakLength, out);
#endif
    return util_EncodeHexLinesPlain(bytes, count, perLine, lineBreak, breakLength, out);
}
