// The expression library: rows of bytes written as short parenthesised expressions.
//
// SVPExpression evaluates an expression into a bit stream, written as text: "0x" and
// two upper-case hexadecimal digits per byte. fnGetDataExpression goes the other way
// and gives an expression for a row when one is shorter than its hexadecimal form.
// The expression language is described in docs/expressions.md.
#ifndef RIZEROZ_SVPEXPRESSION_H
#define RIZEROZ_SVPEXPRESSION_H

#include <stddef.h>
#include "RizErozExport.h"
#include "ResultCodes.h"
#include "UtByteBuffer.h"

// The expression library's result codes (ResultCodes.h).
enum
{
    RIZEROZ_EXPRESSION_RESULTS(RIZEROZ_RESULT_ENUM)
};

class RIZEROZ_API SVPExpression
{
public:
    SVPExpression();
    virtual ~SVPExpression();

    // Prepares the evaluator; `directory` may be null. 0 on success, else a negative code.
    int Initialize(const char* directory);

    // Sets the room of the output area from a row width in bits, as the reader sizes
    // it: ((width + 7) / 8) * 2 + 3 characters, and never fewer than 3.
    void SetRowWidth(int width);
    // Sets the room of the output area in characters, terminator included (at least 3
    // is useful); 0 or less means the caller has made room for the whole result.
    void SetOutputSize(int size);

    // Evaluates `expression` into `output`: "0x", then two digits per byte, first byte
    // first, terminated, and never more than the output room holds. Returns the number
    // of bytes the expression stands for (which may exceed what was written), or a
    // negative code with "0x" alone in `output` when the expression cannot be evaluated.
    int GetBitStream(const char* expression, char* output);
    int GetBitStream(const char* expression, char* output, int outputSize);

    // Evaluates the `length` characters at `expression` (no terminator needed) and
    // writes the first `limit` bytes it stands for to `bytes` as bytes (null `bytes`
    // only measures). Returns how many bytes the expression stands for, which may exceed
    // `limit` (saturated far below overflow), or a negative code with nothing written.
    long long GetBytes(const char* expression, size_t length, unsigned char* bytes, long long limit);
    // The same in one pass, writing as it reads: on a syntax error it returns the
    // negative code as GetBytes does, but bytes written before the error was found stay
    // in `bytes`, for the caller to drop.
    long long EvaluateBytes(const char* expression, size_t length, unsigned char* bytes, long long limit);

private:
    // Not copyable: the directory text is owned.
    SVPExpression(const SVPExpression&) = delete;
    SVPExpression& operator=(const SVPExpression&) = delete;

    int m_nOutputSize;      // room in characters; 0 or less (the default): unbounded
    char* m_pszDirectory;   // owned, or null
};

// Writes into `text` an expression for the bytes of `row` when it is strictly shorter
// than the row's hexadecimal form ("0x" and two digits per byte) and fits, terminator
// included, in the `room` characters at `text`; otherwise leaves `text` as it was
// (empty). Nothing is written at or past text + room.
RIZEROZ_API void fnGetDataExpression(UtByteBuffer* row, char* text, size_t room);
// The same with the room taken to be 2 x (byte count) + 5 characters, which every
// expression of the row fits: `text` must have that room.
RIZEROZ_API void fnGetDataExpression(UtByteBuffer* row, char* text);

#endif
