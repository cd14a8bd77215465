// Hexadecimal digit pairs, decoded and encoded 16 bytes at a time with SSE2 where the
// processor has it, else one byte at a time (UtFastText.h).
//
// Decoding works on 32 characters at once: each character's value and whether it is a
// digit at all come from comparisons ('0'-'9', and 'a'-'f' after folding to lower case),
// the two values of each pair are joined in their 16-bit lane, and the lanes are packed
// to 16 bytes. All 16 bytes are stored; the count of leading digits says how many of
// them count. White space between pairs is passed over 16 characters at a time too.
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
// The values of 16 characters (0 for those that are no digit); `digits` gets one bit
// per character that is a digit.
RIZEROZ_SSE2_CODE inline __m128i Values(__m128i c, unsigned int* digits)
{
    const __m128i decimal = _mm_sub_epi8(c, _mm_set1_epi8('0'));
    const __m128i isDecimal = _mm_cmpeq_epi8(_mm_min_epu8(decimal, _mm_set1_epi8(9)), decimal);
    const __m128i letter = _mm_sub_epi8(_mm_or_si128(c, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    const __m128i isLetter = _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter);
    *digits = (unsigned int)_mm_movemask_epi8(_mm_or_si128(isDecimal, isLetter));
    return _mm_or_si128(_mm_and_si128(isDecimal, decimal),
                        _mm_and_si128(isLetter, _mm_add_epi8(letter, _mm_set1_epi8(10))));
}

// Joins the values of each pair: in every 16-bit lane, the high digit's value stands in
// the low byte and the low digit's in the high byte; the byte they make goes to the low
// byte, ready for packing.
RIZEROZ_SSE2_CODE inline __m128i JoinPairs(__m128i values)
{
    return _mm_or_si128(_mm_and_si128(_mm_slli_epi16(values, 4), _mm_set1_epi16(0xF0)), _mm_srli_epi16(values, 8));
}

// One bit per character of the 16 that is white space.
RIZEROZ_SSE2_CODE inline unsigned int Spaces(__m128i c)
{
    const __m128i blank = _mm_or_si128(_mm_cmpeq_epi8(c, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(c, _mm_set1_epi8('\t')));
    const __m128i end = _mm_or_si128(_mm_cmpeq_epi8(c, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(c, _mm_set1_epi8('\r')));
    return (unsigned int)_mm_movemask_epi8(_mm_or_si128(blank, end));
}
}

RIZEROZ_SSE2_CODE size_t util_DecodeHexRunSse2(const unsigned char* text, size_t length, unsigned char* out,
                                               size_t room, size_t* used)
{
    size_t at = 0, written = 0;
    for (;;)
    {
        // Whole pairs, 16 at a time, then the few before the end of the text or room.
        bool stopped = false;
        while (length - at >= 32 && room - written >= 16)
        {
            unsigned int first = 0, second = 0;
            __m128i a = Values(_mm_loadu_si128((const __m128i*)(text + at)), &first);
            __m128i b = Values(_mm_loadu_si128((const __m128i*)(text + at + 16)), &second);
            _mm_storeu_si128((__m128i*)(out + written), _mm_packus_epi16(JoinPairs(a), JoinPairs(b)));
            unsigned int digits = first | (second << 16);
            if (digits != 0xFFFFFFFFu)
            {
                size_t pairs = util_LowOnes(digits) / 2;
                at += 2 * pairs;
                written += pairs;
                stopped = true;
                break;
            }
            at += 32;
            written += 16;
        }
        if (!stopped)
            DecodeRest(text, length, out, room, at, written);

        // White space between pairs, 16 characters at a time.
        size_t next = at;
        for (;;)
        {
            if (length - next < 16)
            {
                next = SkipSpace(text, length, next);
                break;
            }
            unsigned int spaces = Spaces(_mm_loadu_si128((const __m128i*)(text + next)));
            if (spaces != 0xFFFFu)
            {
                next += util_LowOnes(spaces);
                break;
            }
            next += 16;
        }
        if (next == at)
            break;
        at = next;
    }
    *used = at;
    return written;
}

namespace
{
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
