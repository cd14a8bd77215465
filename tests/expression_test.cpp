// Expression library: evaluation of expressions into bit streams, the output room, and
// fnGetDataExpression's expressions read back by the evaluator.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "SVPExpression.h"
#include "TestSupport.h"

namespace
{
using testsupport::Hex;
using testsupport::Repeat;

struct Evaluation
{
    int result;
    std::string text;
};

// Evaluates into an area of `areaSize` characters and canary bytes after it, with a room
// of `room` (0 or less: unbounded) given per call, or else set up by `setRoom`. Checks
// that the text ends within the room and that nothing past it changed.
Evaluation EvaluateInRoom(const std::string& expression, int room, int areaSize,
                          const std::function<void(SVPExpression&)>& setRoom = nullptr)
{
    std::vector<char> area((size_t)areaSize + 64, '#');
    SVPExpression evaluator;
    if (setRoom)
        setRoom(evaluator);
    int result = setRoom ? evaluator.GetBitStream(expression.c_str(), area.data())
                         : evaluator.GetBitStream(expression.c_str(), area.data(), room);
    size_t guarded = room > 0 ? (size_t)room : (size_t)areaSize;
    EXPECT_EQ(std::string(area.begin() + (long)guarded, area.end()), std::string(area.size() - guarded, '#'))
        << "written past the room for " << expression;
    EXPECT_LT(strlen(area.data()), guarded) << "not terminated within the room for " << expression;
    return {result, area.data()};
}

// A random well-formed parenthesised sum, and the bytes it stands for.
std::string GenerateSum(std::mt19937& rng, int depth, std::string& bytes)
{
    std::string text = "(";
    for (int t = 0, terms = 1 + (int)(rng() % 3); t < terms; ++t)
    {
        std::string termText, termBytes;
        if (depth < 3 && rng() % 3 == 0)
            termText = GenerateSum(rng, depth + 1, termBytes);
        else
        {
            for (int n = 1 + (int)(rng() % 4); n > 0; --n)
                termBytes += (char)rng();
            termText = Hex(termBytes).substr(2);
        }
        for (int stars = (int)(rng() % 3); stars > 0; --stars)
        {
            int count = 1 + (int)(rng() % 3);
            termText += "*" + std::to_string(count);
            termBytes = Repeat(termBytes, count);
        }
        text += (t > 0 ? "+" : "") + termText;
        bytes += termBytes;
    }
    return text + ")";
}

// Expressions in a room just large enough for the text expected: the grammar's, and
// repeat counts far beyond any room, which saturate, only what fits being made.
TEST(ExpressionEvaluation, EvaluatesTheGrammarAndHugeCountsWithinTheRoom)
{
    const std::string z(1, '\0');
    // clang-format off
    const struct { std::string expression; int result; std::string text; } cases[] = {
        {"(FF*64)", 64, Hex(Repeat("\xFF", 64))},
        {"(00*16+A5C3*8)", 32, Hex(Repeat(z, 16) + Repeat("\xA5\xC3", 8))},
        // Counts of several digits; white space anywhere, even inside a digit pair or such a
        // count. (Sums, groups, chained counts, digits of either case: ExpressionProperties.)
        {" ( F\tF * 6\r\n4 ) \n", 64, Hex(Repeat("\xFF", 64))},
        {"(\n0\v0\f*\n1\n0\n0\n)", 100, Hex(Repeat(z, 100))},
        {std::string(64, '(') + "FF" + std::string(64, ')'), 1, "0xFF"},
        {"(FF*2147483647)", INT_MAX, "0xFFFFFFFF"},
        {"((FF*65536)*65536)", INT_MAX, "0xFFFFFFFF"},
        {"(FF*99999999999999999999999999999999)", INT_MAX, "0xFFFFFFFF"},
        {"((((A5*1000000)*1000000)*1000000)*1000000)", INT_MAX, "0xA5A5A5A5"},
        {"(01*9999999999999999999*9999999999999999999+02)", INT_MAX, "0x01010101"},
        {"(0102*1073741823)", 2147483646, "0x01020102"},
        {"(00+FF*2147483646)", INT_MAX, "0x00FFFFFF"},
        {"(FF*1073741824+00*1073741824)", INT_MAX, "0xFFFFFFFF"},
        {"((AB*3+CD)*4294967296)", INT_MAX, "0x" + Repeat("ABABABCD", (1 << 20) / 8)},   // a large room, filled
    };
    // clang-format on
    for (const auto& c : cases)
    {
        int room = (int)c.text.size() + 1;
        Evaluation evaluation = EvaluateInRoom(c.expression, room, room);
        EXPECT_EQ(evaluation.result, c.result) << c.expression;
        EXPECT_EQ(evaluation.text, c.text) << c.expression;
    }
}

TEST(ExpressionEvaluation, RejectsTextOutsideTheGrammar)
{
    // clang-format off
    const std::string cases[] = {
        "", "   ", "FF", "FF*2)", "0xFF", "(", "()", "(F)", "(FFF)", "(FF", "((FF)", "(FF))",
        "(FF)*2", "(FF)(00)", "(FF)+(00)", "(FF,00)", "(GG)", "(0xFF)", "(FF*)", "(FF*0)",
        "(FF*01)", "(FF*-1)", "(FF**2)", "(FF*2A)", "(FF*2.5)", "(FF+)", "(+FF)", "(FF++00)",
        "(FF 0)", "(*2)", "((*2))", "(FF\x01)", "(FF\xA0)", "(FF*2(00))", "(00)FF",
        std::string(65, '(') + "FF" + std::string(65, ')'),   // nested too deep
        std::string(200000, '('),
    };
    // clang-format on
    int room = 0;
    for (const std::string& c : cases)
    {
        room = room % 40 + 1;   // rooms too small for "0x" too
        Evaluation evaluation = EvaluateInRoom(c, room, room);
        EXPECT_EQ(evaluation.result, SVP_ERR_SYNTAX) << c;
        EXPECT_EQ(evaluation.text, room < 3 ? "" : "0x") << c;
    }

    SVPExpression evaluator;
    char area[8] = "#######";
    EXPECT_EQ(evaluator.GetBitStream(nullptr, area), SVP_ERR_ARGUMENT);
    EXPECT_STREQ(area, "0x");
    EXPECT_EQ(evaluator.GetBitStream("(FF)", nullptr), SVP_ERR_ARGUMENT);
    EXPECT_EQ(evaluator.GetBitStream("(FF)", nullptr, 8), SVP_ERR_ARGUMENT);
    EXPECT_EQ(evaluator.Initialize(nullptr), 0);
    EXPECT_EQ(evaluator.Initialize("C:\\data"), 0);
    EXPECT_EQ(evaluator.Initialize("other"), 0);
}

// Every room from none to more than enough, given per call, by SetOutputSize and from
// a row width: the digits of the whole bytes that fit, and not a character more.
TEST(ExpressionRoom, WritesWholeBytesWithinTheRoom)
{
    const std::string expression = "((0123456789ABCDEF*2)*2)";
    const std::string full = Hex(Repeat("\x01\x23\x45\x67\x89\xAB\xCD\xEF", 4));
    for (int room = -2; room <= 80; ++room)
    {
        size_t fit = room <= 0 ? 32 : room < 3 ? 0 : std::min<size_t>(32, (size_t)(room - 3) / 2);
        std::string expected = room > 0 && room < 3 ? "" : full.substr(0, 2 + 2 * fit);
        for (auto setRoom :
             {std::function<void(SVPExpression&)>(),
              std::function<void(SVPExpression&)>([room](SVPExpression& evaluator) { evaluator.SetOutputSize(room); })})
        {
            Evaluation evaluation = EvaluateInRoom(expression, room, std::max(room, 67), setRoom);
            EXPECT_EQ(evaluation.result, 32) << room;
            EXPECT_EQ(evaluation.text, expected) << room;
        }
    }
    // A row width gives room for its bytes, rounded up, and never less than none.
    for (int width : {INT_MIN, -1000000, -24, -23, -16, -15, -9,  -1,  0,   1,   8,      9,
                      16,      17,       100, 127, 128, 129, 255, 256, 257, 300, INT_MAX})
    {
        int room = (int)std::min(67LL, std::max(3LL, ((width + 7LL) / 8) * 2 + 3));
        Evaluation evaluation =
            EvaluateInRoom(expression, room, room, [width](SVPExpression& evaluator) { evaluator.SetRowWidth(width); });
        EXPECT_EQ(evaluation.result, 32) << width;
        EXPECT_EQ(evaluation.text, full.substr(0, (size_t)room - 1)) << width;
    }
}

// Random expressions, with their digits in either case and white space scattered
// through them, give their bytes, and in a smaller room the first of them.
TEST(ExpressionProperties, GeneratedExpressions)
{
    std::mt19937 rng(20240611);
    for (int round = 0; round < 10000; ++round)
    {
        std::string bytes, disguised;
        for (char c : GenerateSum(rng, 1, bytes))
        {
            if (rng() % 4 == 0)
                disguised += " \t\r\n\v\f"[rng() % 6];
            disguised += (c >= 'A' && c <= 'F' && rng() % 2) ? (char)(c - 'A' + 'a') : c;
        }
        if (bytes.size() > 20000)
            continue;
        int whole = (int)(2 * bytes.size() + 3);
        Evaluation evaluation = EvaluateInRoom(disguised, whole, whole);
        ASSERT_EQ(evaluation.result, (int)bytes.size()) << disguised;
        ASSERT_EQ(evaluation.text, Hex(bytes)) << disguised;
        int room = 3 + (int)(rng() % (2 * bytes.size() + 1));
        evaluation = EvaluateInRoom(disguised, room, room);
        ASSERT_EQ(evaluation.text, Hex(bytes.substr(0, (size_t)(room - 3) / 2))) << disguised;
    }
}

// fnGetDataExpression's text for a row, checked against the contract (in the room of 2n + 5
// characters, and in a room just large enough or one character short) and read back as
// the reader does, with room from the row's width (broken over lines as the writer lays it
// out: GeneratedExpressions' white space, and the round trips). The row is given as one
// growable buffer and as a chain of 7-byte segments; both give the same text.
std::string ExpressionFor(const std::string& bytes)
{
    size_t n = bytes.size();
    UtByteBuffer growable(16, true), chain(7);
    UtByteBuffer* segment = &chain;
    for (unsigned char b : bytes)
    {
        growable.WriteData(b);
        if (segment->WriteData(b) == 0)
            (segment = segment->GetNextBuffer())->WriteData(b);
    }
    std::string texts[2];
    UtByteBuffer* rows[2] = {&growable, &chain};
    for (int r = 0; r < 2; ++r)
    {
        std::vector<char> text(2 * n + 5 + 32, '#');
        text[0] = '\0';
        fnGetDataExpression(rows[r], text.data());
        EXPECT_EQ(std::string(text.begin() + (long)(2 * n + 5), text.end()), std::string(32, '#'));
        texts[r] = text.data();
    }
    EXPECT_EQ(texts[0], texts[1]);
    const std::string& expression = texts[0];
    if (expression.empty())
        return expression;
    EXPECT_LT(expression.size(), 2 + 2 * n) << expression;
    EXPECT_EQ(expression[0], '(') << expression;
    EXPECT_EQ(expression.find(','), std::string::npos) << expression;
    // Given a room, the text is written only where it fits with its terminator.
    for (size_t room : {expression.size() + 1, expression.size()})
    {
        std::vector<char> text(room + 32, '#');
        text[0] = '\0';
        fnGetDataExpression(&chain, text.data(), room);
        EXPECT_EQ(std::string(text.data()), room > expression.size() ? expression : "") << room;
        EXPECT_EQ(std::string(text.begin() + (long)room, text.end()), std::string(32, '#')) << room;
    }

    Evaluation evaluation = EvaluateInRoom(expression, (int)(2 * n + 3), (int)(2 * n + 3),
                                           [n](SVPExpression& evaluator) { evaluator.SetRowWidth((int)(8 * n)); });
    EXPECT_EQ(evaluation.result, (int)n) << expression;
    EXPECT_EQ(evaluation.text, Hex(bytes)) << expression;
    return expression;
}

TEST(DataExpression, CompressesMaskRows)
{
    // A row, and the longest expression acceptable for it (0: must stay hexadecimal).
    const std::string z(1, '\0');
    const std::string block = Repeat(z, 20) + Repeat("\xFF", 12);
    // clang-format off
    const struct { std::string bytes; size_t longest; } cases[] = {
        {"", 0},
        {"\xFF", 0},                                 // "(FF)" is no shorter than "0xFF"
        {Repeat("\xFF", 2), 0},                      // "(FF*2)" ties "0xFFFF"
        {Repeat("\xFF", 3), 6},
        {Repeat(z, 600), 8},
        {Repeat("\xFF", 300) + Repeat(z, 300), 16},
        {Repeat("\xA5\xC3", 150), 11},
        {"\x01\x02\x03\x04\x05" + Repeat("\x55", 64), 20},
        // A run that gives up its last bytes to the pattern after it.
        {Repeat(z, 10) + Repeat(z + z + "\xFF", 5), 16},   // (00*10+0000FF*5)
        {Repeat(z, 10) + Repeat(Repeat(z, 6) + "\xFF", 8), 24},
        // Whole rows of a repeated block, with or without a partial block at the end.
        {Repeat(block, 20), 18},                     // ((00*20+FF*12)*20)
        {Repeat(block, 20) + block.substr(0, 25), 30},
        {Repeat("0123456789abcdefghijklmnopqrstuvwxyz0123", 12), 2 * 40 + 6},
    };
    // clang-format on
    for (const auto& c : cases)
    {
        std::string expression = ExpressionFor(c.bytes);
        EXPECT_EQ(expression.empty(), c.longest == 0) << Hex(c.bytes) << " as " << expression;
        EXPECT_LE(expression.size(), c.longest) << Hex(c.bytes) << " as " << expression;
    }
}

// Random and patterned rows of 0 to 600 bytes, many of them multiples of 30.
TEST(DataExpression, RowsReadBackExactly)
{
    std::mt19937 rng(12345);
    auto below = [&rng](size_t n) { return (size_t)(rng() % n); };
    for (int round = 0; round < 1500; ++round)
    {
        size_t length = round % 5 == 0 ? 30 * below(21) : below(601);
        std::string bytes = testsupport::MaskRow(rng, length, round % 4);
        ExpressionFor(bytes);
        if (HasFailure())
            FAIL() << "row " << Hex(bytes);
    }
}
}
