// Fuzz target: the expression library. The first byte picks the mode.
//
// Even: the first four bytes are a row width (a signed 32-bit number, little-endian),
// the rest an expression text. It is evaluated into an area of exactly the room that
// width gives (capped, so large widths are tried too), and the output is checked: "0x"
// and whole digit pairs for min(result, room's bytes) bytes, or "0x" alone on failure;
// the byte count alone (a room of 3) and a wider room agree with it.
// Odd: the rest is a row of bytes. When fnGetDataExpression finds an expression for it,
// that expression must be shorter than the hexadecimal form, hold no ',' or white
// space, and evaluate to exactly the row.
#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "SVPExpression.h"
#include "UtByteBuffer.h"

namespace
{
// Largest output area the target allocates.
const long long kLargestRoom = 1 << 16;

bool IsUpperHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// Output of GetBitStream into a malloc'ed area of exactly `room` characters, so that
// AddressSanitizer sees any write past it.
std::string Evaluate(const std::string& expression, int room, int& result, bool viaRowWidth, int width)
{
    char* area = (char*)malloc((size_t)room);
    memset(area, 'Z', (size_t)room);
    SVPExpression evaluator;
    evaluator.Initialize("fuzz");
    if (viaRowWidth)
    {
        evaluator.SetRowWidth(width);
        result = evaluator.GetBitStream(expression.c_str(), area);
    }
    else
    {
        result = evaluator.GetBitStream(expression.c_str(), area, room);
    }
    FUZZ_CHECK(memchr(area, '\0', (size_t)room) != nullptr);
    std::string output(area);
    free(area);
    return output;
}

void CheckOutput(const std::string& output, int result, int room)
{
    FUZZ_CHECK(output.size() >= 2 && output[0] == '0' && output[1] == 'x');
    if (result < 0)
    {
        FUZZ_CHECK(result == SVP_ERR_SYNTAX);
        FUZZ_CHECK(output == "0x");
        return;
    }
    FUZZ_CHECK(result > 0);   // an expression never stands for nothing
    long long fits = ((long long)room - 3) / 2;
    long long bytes = result < fits ? result : fits;
    FUZZ_CHECK((long long)output.size() == 2 + 2 * bytes);
    for (size_t i = 2; i < output.size(); ++i)
        FUZZ_CHECK(IsUpperHex(output[i]));
}

void EvaluateWithWidth(const uint8_t* data, size_t size)
{
    if (size < 4)
        return;
    int width = (int)(uint32_t)(data[0] | (data[1] << 8) | (data[2] << 16) | ((uint32_t)data[3] << 24));
    std::string expression((const char*)data + 4, size - 4);
    expression = expression.c_str();   // the evaluator sees the text up to its first 0

    long long room = (((long long)width + 7) / 8) * 2 + 3;
    if (room < 3)
        room = 3;
    bool viaRowWidth = room <= kLargestRoom;
    if (!viaRowWidth)
        room = kLargestRoom;
    int result = 0;
    std::string output = Evaluate(expression, (int)room, result, viaRowWidth, width);
    CheckOutput(output, result, (int)room);

    // The byte count alone, and a wider room: the same count, the shorter output a prefix.
    int counted = 0;
    FUZZ_CHECK(Evaluate(expression, 3, counted, false, 0) == "0x");
    FUZZ_CHECK(counted == result);
    if (result > 0 && room < kLargestRoom)
    {
        int wider = 0;
        std::string more = Evaluate(expression, (int)kLargestRoom, wider, false, 0);
        FUZZ_CHECK(wider == result);
        FUZZ_CHECK(more.compare(0, output.size(), output) == 0);
    }
}

void PlanRow(const uint8_t* data, size_t size)
{
    UtByteBuffer row;
    row.WriteData(data, (int)size);
    std::vector<char> text(2 * size + 5, 'Z');
    text[0] = '\0';
    fnGetDataExpression(&row, text.data());
    FUZZ_CHECK(memchr(text.data(), '\0', text.size()) != nullptr);
    size_t length = strlen(text.data());
    if (length == 0)
        return;
    FUZZ_CHECK(length < 2 + 2 * size);
    FUZZ_CHECK(text[0] == '(');
    for (size_t i = 0; i < length; ++i)
        FUZZ_CHECK(text[i] != ',' && text[i] != ' ' && text[i] != '\t' && text[i] != '\n' && text[i] != '\r');

    int room = (int)(2 * size + 3);
    int result = 0;
    std::string output = Evaluate(text.data(), room, result, false, 0);
    FUZZ_CHECK(result == (int)size);
    static const char kDigits[] = "0123456789ABCDEF";
    std::string expected = "0x";
    for (size_t i = 0; i < size; ++i)
    {
        expected += kDigits[data[i] >> 4];
        expected += kDigits[data[i] & 15];
    }
    FUZZ_CHECK(output == expected);
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    if (data[0] & 1)
        PlanRow(data + 1, size - 1);
    else
        EvaluateWithWidth(data, size);
    return 0;
}
