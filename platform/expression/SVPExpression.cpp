// SVPExpression: evaluates a row expression into its bit stream text, "0x" and two
// upper-case digits per byte, within the room of the caller's output area.
//
// Evaluation makes two passes over the expression: the first checks the grammar and
// measures the result, so a faulty expression leaves nothing but "0x" in the output;
// the second writes the digits of as many bytes as the room holds.
#include "SVPExpression.h"
#include "UtUtility.h"

#include <limits.h>
#include <string.h>

#include <new>

#include "ExpressionEvaluator.h"

using expression_text::ExpressionEvaluator;
using expression_text::Length;

namespace
{
// Most bytes written when the caller vouches for the room (a room of 0 or less): the
// bound keeps a huge repeat count from running for ever.
const Length kUnboundedOutputBytes = (Length)1 << 28;

// Bytes that a room of `size` characters holds: "0x", two digits per byte and the
// terminator. A size of 0 or less stands for the unbounded room.
Length BytesForRoom(int size)
{
    if (size <= 0)
        return kUnboundedOutputBytes;
    if (size < 3)
        return 0;
    return (Length)(size - 3) / 2;
}

// The text an output area holds when there is no bit stream: "0x" alone, or the empty
// text when the room cannot even hold that.
void PutEmptyStream(char* output, int size)
{
    if (size > 0 && size < 3)
    {
        output[0] = '\0';
        return;
    }
    output[0] = '0';
    output[1] = 'x';
    output[2] = '\0';
}
}

SVPExpression::SVPExpression() : m_nOutputSize(0), m_pszDirectory(nullptr) {}

SVPExpression::~SVPExpression()
{
    delete[] m_pszDirectory;
}

int SVPExpression::Initialize(const char* directory)
{
    delete[] m_pszDirectory;
    m_pszDirectory = nullptr;
    if (directory != nullptr)
    {
        m_pszDirectory = util_CopyText(directory);
        if (m_pszDirectory == nullptr)
            return SVP_ERR_NO_MEMORY;
    }
    return 0;
}

void SVPExpression::SetRowWidth(int width)
{
    // 64-bit arithmetic: width + 7 must not overflow for the widest rows.
    long long size = (((long long)width + 7) / 8) * 2 + 3;
    if (size < 3)
        size = 3;
    if (size > INT_MAX)
        size = INT_MAX;
    m_nOutputSize = (int)size;
}

void SVPExpression::SetOutputSize(int size)
{
    m_nOutputSize = size;
}

int SVPExpression::GetBitStream(const char* expression, char* output)
{
    return GetBitStream(expression, output, m_nOutputSize);
}

int SVPExpression::GetBitStream(const char* expression, char* output, int outputSize)
{
    if (output == nullptr)
        return SVP_ERR_ARGUMENT;
    if (expression == nullptr)
    {
        PutEmptyStream(output, outputSize);
        return SVP_ERR_ARGUMENT;
    }

    const char* end = expression + strlen(expression);
    Length total = 0;
    ExpressionEvaluator measure(expression, end, nullptr, 0);
    if (!measure.Evaluate(total))
    {
        PutEmptyStream(output, outputSize);
        return SVP_ERR_SYNTAX;
    }
    int result = total > (Length)INT_MAX ? INT_MAX : (int)total;

    if (outputSize > 0 && outputSize < 3)
    {
        output[0] = '\0';
        return result;
    }
    output[0] = '0';
    output[1] = 'x';
    Length limit = BytesForRoom(outputSize);
    if (limit > total)
        limit = total;
    Length written = 0;
    if (limit > 0)
    {
        ExpressionEvaluator writer(expression, end, output + 2, limit);
        Length length = 0;
        writer.Evaluate(length);
        written = writer.GetWrittenBytes();
    }
    output[2 + 2 * written] = '\0';
    return result;
}

long long SVPExpression::GetBytes(const char* expression, size_t length, unsigned char* bytes, long long limit)
{
    if (expression == nullptr)
        return SVP_ERR_ARGUMENT;
    const char* end = expression + length;
    Length total = 0;
    ExpressionEvaluator measure(expression, end, nullptr, 0);
    if (!measure.Evaluate(total))
        return SVP_ERR_SYNTAX;
    if (bytes != nullptr && limit > 0 && total > 0)
    {
        ExpressionEvaluator writer(expression, end, (char*)bytes, (Length)limit < total ? (Length)limit : total, true);
        Length ignored = 0;
        writer.Evaluate(ignored);
    }
    return (long long)total;
}

long long SVPExpression::EvaluateBytes(const char* expression, size_t length, unsigned char* bytes, long long limit)
{
    if (expression == nullptr)
        return SVP_ERR_ARGUMENT;
    Length total = 0;
    ExpressionEvaluator writer(expression, expression + length, (char*)bytes,
                               bytes != nullptr && limit > 0 ? (Length)limit : 0, true);
    if (!writer.Evaluate(total))
        return SVP_ERR_SYNTAX;
    return (long long)total;
}
