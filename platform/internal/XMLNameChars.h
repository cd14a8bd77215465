// XMLNameChars: the XML character classes the parser scans by, one table lookup per
// byte, built from the character classes of UtUtility.h (util_IsXMLNameStart and
// util_IsXMLNameChar, which the tool uses too). The library's own header (neither
// exported nor installed): the parser and the handler's warnings use it.
#ifndef RIZEROZ_XMLNAMECHARS_H
#define RIZEROZ_XMLNAMECHARS_H

#include <array>

#include "UtUtility.h"

enum
{
    XML_CLASS_SPACE = 1,        // space, tab, line feed, carriage return
    XML_CLASS_NAME_START = 2,   // may start a name: letters, '_', ':', bytes from 0x80
    XML_CLASS_NAME = 4,         // may continue a name: the above, digits, '-', '.'
    XML_CLASS_MARKUP_STOP = 8   // ends a run of tag text: '<', '>', '"', '\''
};

constexpr std::array<unsigned char, 256> MakeXMLCharClasses()
{
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c)
    {
        unsigned char bits = 0;
        if (util_IsWhiteSpace((char)c))
            bits |= XML_CLASS_SPACE;
        if (util_IsXMLNameStart((char)c))
            bits |= XML_CLASS_NAME_START;
        if (util_IsXMLNameChar((char)c))
            bits |= XML_CLASS_NAME;
        if (c == '<' || c == '>' || c == '"' || c == '\'')
            bits |= XML_CLASS_MARKUP_STOP;
        table[c] = bits;
    }
    return table;
}

inline constexpr std::array<unsigned char, 256> g_aXMLCharClass = MakeXMLCharClasses();

inline bool XMLIsSpace(char c)
{
    return (g_aXMLCharClass[(unsigned char)c] & XML_CLASS_SPACE) != 0;
}
inline bool XMLIsNameStart(char c)
{
    return (g_aXMLCharClass[(unsigned char)c] & XML_CLASS_NAME_START) != 0;
}
inline bool XMLIsNameChar(char c)
{
    return (g_aXMLCharClass[(unsigned char)c] & XML_CLASS_NAME) != 0;
}

#endif
