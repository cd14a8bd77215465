// Grammar (white space ignored everywhere, see docs/expressions.md):
//   expression = "(" sum ")" ;
//   sum        = term { "+" term } ;
//   term       = factor { "*" count } ;
//   factor     = bytes | "(" sum ")" ;
//   bytes      = hexdigit hexdigit { hexdigit hexdigit } ;
//   count      = nonzerodigit { digit } ;
#include "ExpressionEvaluator.h"

#include <string.h>

#include "ExpressionText.h"

namespace expression_text
{
namespace
{
Length SaturatingAdd(Length a, Length b)
{
    // Both operands are at most kSaturatedLength, so the sum cannot wrap.
    Length sum = a + b;
    return sum > kSaturatedLength ? kSaturatedLength : sum;
}

Length SaturatingMultiply(Length a, Length b)
{
    if (a == 0 || b == 0)
        return 0;
    if (a > kSaturatedLength / b)
        return kSaturatedLength;
    return a * b;
}
}

ExpressionEvaluator::ExpressionEvaluator(const char* text, const char* end, char* out, Length limit, bool raw)
    : m_pText((const unsigned char*)text), m_pEnd((const unsigned char*)end), m_pOut(out),
      m_nLimit(out != nullptr ? limit : 0), m_nWidth(raw ? 1 : 2), m_nWritten(0), m_nDepth(0)
{
}

bool ExpressionEvaluator::Evaluate(Length& length)
{
    length = 0;
    if (Peek() != '(')
        return false;
    if (!ParseFactor(length))
        return false;
    return Peek() == '\0';
}

// The next character that is not white space, left unread; 0 at the end of the text.
unsigned char ExpressionEvaluator::Peek()
{
    while (m_pText < m_pEnd && kChars.whiteSpace[*m_pText])
        ++m_pText;
    return m_pText < m_pEnd ? *m_pText : 0;
}

bool ExpressionEvaluator::ParseSum(Length& length)
{
    if (!ParseTerm(length))
        return false;
    while (Peek() == '+')
    {
        ++m_pText;
        Length next = 0;
        if (!ParseTerm(next))
            return false;
        length = SaturatingAdd(length, next);
    }
    return true;
}

bool ExpressionEvaluator::ParseTerm(Length& length)
{
    Length start = m_nWritten;
    if (!ParseFactor(length))
        return false;
    while (Peek() == '*')
    {
        ++m_pText;
        Length count = 0;
        if (!ParseCount(count))
            return false;
        Length total = SaturatingMultiply(length, count);
        Repeat(start, length, total);
        length = total;
    }
    return true;
}

bool ExpressionEvaluator::ParseFactor(Length& length)
{
    length = 0;
    unsigned char c = Peek();
    if (c == '(')
    {
        if (m_nDepth >= kMaxDepth)
            return false;
        ++m_pText;
        ++m_nDepth;
        if (!ParseSum(length) || Peek() != ')')
            return false;
        ++m_pText;
        --m_nDepth;
        return true;
    }

    // A byte pattern: one or more pairs of hexadecimal digits.
    Length bytes = 0;
    for (;;)
    {
        int high = kChars.hexValue[Peek()];
        if (high < 0)
            break;
        ++m_pText;
        int low = kChars.hexValue[Peek()];
        if (low < 0)
            return false;   // an odd number of digits
        ++m_pText;
        PutByte((unsigned char)((high << 4) | low));
        ++bytes;
    }
    length = bytes;
    return bytes > 0;
}

bool ExpressionEvaluator::ParseCount(Length& count)
{
    unsigned char c = Peek();
    if (c < '1' || c > '9')
        return false;
    count = 0;
    do
    {
        ++m_pText;
        Length digit = (Length)(c - '0');
        count = count > (kSaturatedLength - digit) / 10 ? kSaturatedLength : count * 10 + digit;
        c = Peek();
    } while (util_IsDigit(c));
    return true;
}

void ExpressionEvaluator::PutByte(unsigned char b)
{
    if (m_nWritten < m_nLimit)
    {
        if (m_nWidth == 1)
            m_pOut[m_nWritten] = (char)b;
        else
            PutHexByte(m_pOut + 2 * m_nWritten, b);
        ++m_nWritten;
    }
}

// The factor whose output began at byte `start` and is `unit` bytes long now stands
// `total` bytes long (a whole multiple of `unit`). Its first copy is in the output
// when it fitted whole; the further copies are made by doubling, up to the limit.
// A factor that did not fit whole filled the area, so there is nothing to add.
void ExpressionEvaluator::Repeat(Length start, Length unit, Length total)
{
    if (m_pOut == nullptr || unit == 0 || m_nWritten - start != unit)
        return;
    Length room = m_nLimit - start;
    Length end = start + (total < room ? total : room);
    while (m_nWritten < end)
    {
        Length chunk = m_nWritten - start;
        if (chunk > end - m_nWritten)
            chunk = end - m_nWritten;
        memcpy(m_pOut + m_nWidth * m_nWritten, m_pOut + m_nWidth * start, (size_t)(m_nWidth * chunk));
        m_nWritten += chunk;
    }
}
}
