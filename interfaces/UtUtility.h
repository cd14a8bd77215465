// Free helpers of the utility library: string copies, hexadecimal digits, files.
#ifndef RIZEROZ_UTUTILITY_H
#define RIZEROZ_UTUTILITY_H

#include <stdio.h>
#include <new>
#include "RizErozExport.h"

// Copies `count` characters of `source` into `destination` and terminates the copy;
// the copy stops early at a terminator in `source`. A count of 0 (or less) writes the
// terminator alone. `size`, when above 0, is the room of `destination` in characters,
// terminator included, and bounds the copy; 0 means the caller guarantees the room.
// A null source counts as the empty text; a null destination is left alone.
RIZEROZ_API void util_strncpy(char* destination, const char* source, int count, int size);
RIZEROZ_API void util_strncpy(char* destination, char* source, int count, int size);

// Appends `text` to the zero-terminated `destination`: `count` characters of it, or
// the whole text when `count` is 0 (or less). `size` bounds the result as in
// util_strncpy, counting the text already in `destination`.
RIZEROZ_API void util_strncat(char* destination, const char* text, int count, int size);

// Character classes, defined here once for the parser, the handler, the expression
// library and the tool; constexpr, so that each can build its own look-up table from them
// at compile time.

// White space of XML and JSON: space, tab, line feed and carriage return.
constexpr bool util_IsWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// White space as isspace has it in the C locale: the above, vertical tab and form feed.
constexpr bool util_IsSpaceC(char c)
{
    return util_IsWhiteSpace(c) || c == '\v' || c == '\f';
}

constexpr bool util_IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Value 0 to 15 of a hexadecimal digit of either case; -1 for any other character.
constexpr int util_HexValue(char c)
{
    return util_IsDigit(c) ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

constexpr bool util_IsHexDigit(char c)
{
    return util_HexValue(c) >= 0;
}

// May start an XML name: letters, '_', ':', and every byte from 0x80 (a part of a
// multi-byte character).
constexpr bool util_IsXMLNameStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || (unsigned char)c >= 0x80;
}

// May continue an XML name: what may start one, digits, '-' and '.'.
constexpr bool util_IsXMLNameChar(char c)
{
    return util_IsXMLNameStart(c) || util_IsDigit(c) || c == '-' || c == '.';
}

// Upper-case digit character for the low four bits of `value`, as every row is written.
constexpr char util_HexDigit(unsigned value)
{
    return "0123456789ABCDEF"[value & 15];
}

// A copy of `text` made with new[] (released with delete[]): null for a null text, and
// null when memory runs out; it never throws. Callers that keep "" for no text pass "".
RIZEROZ_API char* util_CopyText(const char* text);

// util_CopyText for code that reports exhausted memory by throwing std::bad_alloc: copy
// constructors, and calls inside a try that turns it into a result code.
inline char* util_CopyTextOrThrow(const char* text)
{
    char* copy = util_CopyText(text);
    if (copy == 0 && text != 0)
        throw std::bad_alloc();
    return copy;
}

// Value 0 to 15 of one hexadecimal digit character ('0'-'9', 'A'-'F', 'a'-'f');
// 0 for any other character.
RIZEROZ_API unsigned char util_HexAnsi2Hex(char c);

// Upper-case digit character for the low four bits of `value`.
RIZEROZ_API char util_Hex2HexAnsi(unsigned char value);

// The decimal number at the start of `text` as atoi reads it (white space, an optional
// sign, digits), but saturated to INT_MIN or INT_MAX instead of wrapping, as strtol
// clamps; 0 for a text that is no number, or null.
RIZEROZ_API int util_atoi(const char* text);

// A short quotation of the `length` bytes at `text` for a message: in double quotes, each
// run of white space as one blank (none at either end), control characters as '?', and
// cut after 24 characters with "...". Writes it, terminated, to `out` (room for `size`
// bytes; 32 always suffice) and returns `out`.
RIZEROZ_API char* util_QuoteText(char* out, int size, const char* text, size_t length);

// The `length` bytes at `text` as XML reads their line ends, in place: each CR LF pair,
// and each CR alone, becomes one line feed. Returns the new length (never more); the
// bytes past it are left as they were. The reader keeps every text so (the comment, the
// version, a field's name).
RIZEROZ_API size_t util_XMLLineEnds(char* text, size_t length);

// fopen for the library's paths. Paths are UTF-8 on every system (on Windows they reach
// the file system as UTF-16, so names of any script open) and use the backslash as
// separator; on systems whose separator is '/', every backslash is read as '/'.
RIZEROZ_API FILE* util_fopen(const char* path, const char* mode);

#endif
