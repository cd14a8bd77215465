// Free helpers of the utility library: text copies and hexadecimal digits (util_fopen and
// the library's other path rules are UtPath.cpp's).
#include "UtUtility.h"

#include <limits.h>
#include <new>
#include <stdlib.h>
#include <string.h>

namespace
{
// Length of `text`, counting at most `limit` characters; never reads past a terminator.
size_t BoundedLength(const char* text, size_t limit)
{
    size_t length = 0;
    while (length < limit && text[length] != 0)
        ++length;
    return length;
}
}

void util_strncpy(char* destination, const char* source, int count, int size)
{
    if (destination == 0)
        return;
    size_t limit = count > 0 ? (size_t)count : 0;
    if (size > 0 && limit > (size_t)size - 1)
        limit = (size_t)size - 1;
    size_t length = source != 0 ? BoundedLength(source, limit) : 0;
    if (length > 0)
        memmove(destination, source, length);
    destination[length] = 0;
}

void util_strncpy(char* destination, char* source, int count, int size)
{
    util_strncpy(destination, (const char*)source, count, size);
}

void util_strncat(char* destination, const char* text, int count, int size)
{
    if (destination == 0 || text == 0)
        return;
    size_t used = strlen(destination);
    size_t limit = count > 0 ? (size_t)count : (size_t)-1;
    if (size > 0)
    {
        // Room left after the text already there, keeping one place for the terminator.
        size_t room = used + 1 < (size_t)size ? (size_t)size - 1 - used : 0;
        if (limit > room)
            limit = room;
    }
    size_t length = BoundedLength(text, limit);
    if (length == 0)
        return;
    memmove(destination + used, text, length);
    destination[used + length] = 0;
}

char* util_CopyText(const char* text)
{
    if (text == 0)
        return 0;
    size_t length = strlen(text);
    char* copy = new (std::nothrow) char[length + 1];
    if (copy != 0)
        memcpy(copy, text, length + 1);
    return copy;
}

size_t util_XMLLineEnds(char* text, size_t length)
{
    char* from = static_cast<char*>(memchr(text, '\r', length));
    if (from == nullptr)
        return length;
    char* end = text + length;
    char* to = from;
    for (; from < end; ++from)
    {
        if (*from != '\r')
            *to++ = *from;
        else if (from + 1 == end || from[1] != '\n')
            *to++ = '\n';   // a CR before a LF goes, the LF stays
    }
    return (size_t)(to - text);
}

unsigned char util_HexAnsi2Hex(char c)
{
    int value = util_HexValue(c);
    return value < 0 ? 0 : (unsigned char)value;
}

char util_Hex2HexAnsi(unsigned char value)
{
    return util_HexDigit(value);
}

int util_atoi(const char* text)
{
    if (text == 0)
        return 0;
    while (util_IsSpaceC(*text))
        ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    // The magnitude stops growing once it is past the int range either way.
    long long magnitude = 0;
    for (; util_IsDigit(*text); ++text)
        if (magnitude <= (long long)INT_MAX + 1)
            magnitude = magnitude * 10 + (*text - '0');
    if (negative)
        return magnitude > (long long)INT_MAX ? INT_MIN : (int)-magnitude;
    return magnitude > (long long)INT_MAX ? INT_MAX : (int)magnitude;
}

char* util_QuoteText(char* out, int size, const char* text, size_t length)
{
    if (out == 0 || size <= 0)
        return out;
    const size_t kLongest = 24;
    size_t room = (size_t)size - 1, used = 0, shown = 0;
    bool space = false;
    if (used < room)
        out[used++] = '"';
    for (size_t i = 0; i < length && text != 0; ++i)
    {
        char c = text[i];
        if (util_IsWhiteSpace(c))
        {
            space = shown > 0;
            continue;
        }
        if (shown >= kLongest)
        {
            for (const char* more = "..."; *more != 0 && used < room; ++more)
                out[used++] = *more;
            break;
        }
        if (space && used < room)
        {
            out[used++] = ' ';
            ++shown;
        }
        space = false;
        if (used < room)
            out[used++] = (unsigned char)c < 0x20 || c == 0x7F ? '?' : c;
        ++shown;
    }
    if (used < room)
        out[used++] = '"';
    out[used] = 0;
    return out;
}
