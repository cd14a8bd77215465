// What counts as a character or entity reference in the texts the handler keeps as written
// (the version, the field names, the comment), one rule for the reader's warnings and the
// check before saving: XML's. Internal to the library.
#ifndef RIZEROZ_XMLREFERENCE_H
#define RIZEROZ_XMLREFERENCE_H

#include <stddef.h>

#include "UtUtility.h"
#include "XMLNameChars.h"

// A character XML allows in a document: tab, line feed, carriage return, U+0020 to U+D7FF,
// U+E000 to U+FFFD and U+10000 to U+10FFFF.
constexpr bool XMLIsCharacter(unsigned long c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// Length of the reference that begins at text[0] (of `length` bytes), or 0 when none
// begins there: "&name;" with an XML name (XMLNameChars.h), or "&#digits;" or
// "&#xhex;" (a lower-case 'x') naming a character XML allows.
inline size_t XMLReferenceLength(const char* text, size_t length)
{
    if (length < 3 || text[0] != '&')
        return 0;
    size_t i = 1;
    if (text[1] != '#')
    {
        if (!XMLIsNameStart(text[1]))
            return 0;
        while (++i < length && XMLIsNameChar(text[i]))
        {
        }
        return i < length && text[i] == ';' ? i + 1 : 0;
    }
    const bool hex = text[2] == 'x';
    const unsigned long base = hex ? 16 : 10;
    i = hex ? 3 : 2;
    const size_t first = i;
    unsigned long value = 0;
    for (; i < length; ++i)
    {
        int digit = hex ? util_HexValue(text[i]) : util_IsDigit(text[i]) ? text[i] - '0' : -1;
        if (digit < 0)
            break;
        if (value <= 0x10FFFF)   // once past the last character, the value stays past it
            value = value * base + (unsigned long)digit;
    }
    return i > first && i < length && text[i] == ';' && XMLIsCharacter(value) ? i + 1 : 0;
}

#endif
