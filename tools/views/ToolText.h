// Small text helpers of the rizeroz tool: names, counts, line ends.
#ifndef RIZEROZ_TOOLS_TOOLTEXT_H
#define RIZEROZ_TOOLS_TOOLTEXT_H

#include <stdio.h>

#include <string>

// `text` with the letters A to Z made lower case.
inline std::string LowerAscii(std::string text)
{
    for (char& c : text)
        c = c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
    return text;
}

// True when `text` ends in `suffix`, letters compared in any case ("x.JSON", ".json").
inline bool EndsWithIgnoringCase(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && LowerAscii(text.substr(text.size() - suffix.size())) == LowerAscii(suffix);
}

// `text` for a line of the terminal: control characters as '?', so that a name stays on
// its line and cannot steer the terminal.
inline std::string Printable(std::string text)
{
    for (char& c : text)
        c = ((unsigned char)c < 0x20 || c == 0x7F) ? '?' : c;
    return text;
}

// "0x1A2B" for Hex(0x1A2B, 4): upper-case digits, at least `digits` of them.
inline std::string Hex(long long number, int digits)
{
    char text[32];
    snprintf(text, sizeof(text), "0x%0*llX", digits, number);
    return text;
}

// "1 byte", "2 bytes".
inline std::string Counted(long long count, const char* singular, const char* plural)
{
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

#endif
