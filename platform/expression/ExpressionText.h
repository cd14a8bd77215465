// Character classes and limits shared by the expression evaluator and the expression
// writer. Internal to the expression library.
#ifndef RIZEROZ_EXPRESSIONTEXT_H
#define RIZEROZ_EXPRESSIONTEXT_H

namespace expression_text
{
// Upper-case digits, as every expression and bit stream is written.
inline constexpr char kHexDigits[] = "0123456789ABCDEF";

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
        table.hexValue[c] = -1;
        table.whiteSpace[c] = false;
    }
    for (int c = '0'; c <= '9'; ++c)
        table.hexValue[c] = (signed char)(c - '0');
    for (int c = 'A'; c <= 'F'; ++c)
    {
        table.hexValue[c] = (signed char)(c - 'A' + 10);
        table.hexValue[c - 'A' + 'a'] = (signed char)(c - 'A' + 10);
    }
    table.whiteSpace[(unsigned char)' '] = true;
    table.whiteSpace[(unsigned char)'\t'] = true;
    table.whiteSpace[(unsigned char)'\n'] = true;
    table.whiteSpace[(unsigned char)'\r'] = true;
    table.whiteSpace[(unsigned char)'\v'] = true;
    table.whiteSpace[(unsigned char)'\f'] = true;
    return table;
}

inline constexpr CharTable kChars = MakeCharTable();

// Writes the two upper-case digits of `b` at `out`.
inline void PutHexByte(char* out, unsigned char b)
{
    out[0] = kHexDigits[b >> 4];
    out[1] = kHexDigits[b & 15];
}
}

#endif
