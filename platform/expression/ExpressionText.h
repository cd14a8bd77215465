// Character classes and limits shared by the expression evaluator and the expression
// writer. Internal to the expression library.
#ifndef RIZEROZ_EXPRESSIONTEXT_H
#define RIZEROZ_EXPRESSIONTEXT_H

#include "UtUtility.h"

namespace expression_text
{
// Deepest nesting of parentheses, the outermost pair included.
inline constexpr int kMaxDepth = 64;

struct CharTable
{
    signed char hexValue[256];   // 0..15 for a hexadecimal digit of either case, else -1
    bool whiteSpace[256];        // characters an expression may hold anywhere, ignored
};

constexpr CharTable MakeCharTable()
{
    CharTable table{};
    for (int c = 0; c < 256; ++c)
    {
        table.hexValue[c] = (signed char)util_HexValue((char)c);
        table.whiteSpace[c] = util_IsSpaceC((char)c);
    }
    return table;
}

inline constexpr CharTable kChars = MakeCharTable();

// Writes the two upper-case digits of `b` at `out`.
inline void PutHexByte(char* out, unsigned char b)
{
    out[0] = util_HexDigit(b >> 4);
    out[1] = util_HexDigit(b);
}
}

#endif
