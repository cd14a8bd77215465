// The sentence of one warning of a read: its kind's pattern (ReadWarnings.h) with the
// texts the reader puts in. The library's own header (neither exported nor installed): the
// parser's warnings and the handler's make their sentences here.
#ifndef RIZEROZ_UTWARNINGTEXT_H
#define RIZEROZ_UTWARNINGTEXT_H

#include <stddef.h>
#include <stdio.h>

#include <initializer_list>
#include <string>

#include "ReadWarnings.h"

// The pattern of the sentences of warning kind `code`; empty for a code that is none.
inline const char* util_WarningPattern(int code)
{
    switch (code)
    {
#define RIZEROZ_WARNING_PATTERN(kind, name, sentence, pattern)                                                         \
    case kind:                                                                                                         \
        return pattern;
        RIZEROZ_READ_WARNINGS(RIZEROZ_WARNING_PATTERN)
#undef RIZEROZ_WARNING_PATTERN
    default:
        return "";
    }
}

// The sentence of a warning of kind `code`: its pattern with each "{N}" (N from 1 to 9)
// replaced by texts[N - 1]. The texts are put in as they are, never read as a pattern.
inline std::string util_WarningSentence(int code, std::initializer_list<std::string> texts)
{
    std::string sentence;
    for (const char* p = util_WarningPattern(code); *p != '\0'; ++p)
    {
        size_t n = p[0] == '{' && p[1] >= '1' && p[1] <= '9' && p[2] == '}' ? (size_t)(p[1] - '1') : texts.size();
        if (n < texts.size())
        {
            sentence += texts.begin()[n];
            p += 2;
        }
        else
        {
            sentence += *p;
        }
    }
    return sentence;
}

// A character found where another was due, as a sentence names it: "G" for a printable
// ASCII character, else its byte ("the byte 0x01").
inline std::string util_FoundCharacter(unsigned char c)
{
    if (c >= 0x20 && c < 0x7F)
        return std::string("\"") + (char)c + "\"";
    char text[24];
    snprintf(text, sizeof(text), "the byte 0x%02X", c);
    return text;
}

#endif
