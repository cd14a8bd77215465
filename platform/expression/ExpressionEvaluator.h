// ExpressionEvaluator: one recursive-descent pass over an expression's text.
//
// Without an output area the pass only checks the grammar and measures the number of
// bytes the expression stands for. With one, it also writes the digits of the first
// `limit` bytes, two per byte; a repeated group is written once and then copied from
// the output itself, so the work is bounded by the text's length plus the limit, never
// by the repeat counts. Lengths saturate instead of overflowing.
// Internal to the expression library.
#ifndef RIZEROZ_EXPRESSIONEVALUATOR_H
#define RIZEROZ_EXPRESSIONEVALUATOR_H

namespace expression_text
{
typedef unsigned long long Length;

// Byte counts saturate here: far above anything a row holds, far below overflow.
inline constexpr Length kSaturatedLength = 1ULL << 62;

class ExpressionEvaluator
{
public:
    // The text is [text, end). `out` receives at most `limit` bytes: as two digit
    // characters each (no prefix, no terminator), or with `raw` as the bytes themselves;
    // a null `out` only measures.
    ExpressionEvaluator(const char* text, const char* end, char* out, Length limit, bool raw = false);

    // Runs the pass over the whole text. True when the text is one expression, with
    // `length` set to its saturated byte count; false on a syntax error.
    bool Evaluate(Length& length);

    // Bytes written to the output so far.
    Length GetWrittenBytes() const { return m_nWritten; }

private:
    unsigned char Peek();
    bool ParseSum(Length& length);
    bool ParseTerm(Length& length);
    bool ParseFactor(Length& length);
    bool ParseCount(Length& count);
    void PutByte(unsigned char b);
    void Repeat(Length start, Length unit, Length total);

    const unsigned char* m_pText;   // next character to read
    const unsigned char* m_pEnd;    // end of the text
    char* m_pOut;                   // output, not owned; null when measuring
    Length m_nLimit;                // bytes the output holds
    Length m_nWidth;                // characters per byte in the output: 2 (digits) or 1 (raw)
    Length m_nWritten;              // bytes written so far
    int m_nDepth;                   // parentheses open at the cursor
};
}

#endif
