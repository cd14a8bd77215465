// The text kernels of every vector level this processor runs (UtSimd.h) against the plain
// ones, on texts shaped like rows (runs of digits of both cases between white space) with
// every kind of character that ends a run, pairs split by white space, lone digits, rows
// broken over lines of one shape with lines that break it, and rooms that end anywhere; and the level the process uses,
// as RIZEROZ_SIMD asks.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "UtSimd.h"

namespace
{
std::vector<UtSimdLevel> Levels()
{
    UtSimdLevel levels[8];
    return std::vector<UtSimdLevel>(levels, levels + util_SimdLevels(levels, 8));
}

// Runs of digits and of white space; now and then a character that ends the run.
std::string RowLikeText(std::mt19937& random, size_t size)
{
    static const char kDigits[] = "0123456789ABCDEFabcdef";
    static const char kSpaces[] = " \t\n\r";
    static const char kEnds[] = {',', '<',  'G',  'g',  '/',  ':',        '@',        '`',       'x',
                                 0,   0x0B, 0x10, 0x19, 0x1A, (char)0x80, (char)0xC6, (char)0xFF};
    std::string text;
    while (text.size() < size)
    {
        size_t digits = random() % 4 == 0 ? random() % 7 : 56 + random() % 80;
        for (size_t i = 0; i < digits; ++i)
            text += kDigits[random() % 22];
        size_t spaces = random() % 7;
        for (size_t i = 0; i < spaces; ++i)
            text += kSpaces[random() % 4];
        if (random() % 9 == 0)
            text += kEnds[random() % sizeof kEnds];
    }
    text.resize(size);
    return text;
}

// A row broken over lines as a writer does it: lines of one even number of digits, each
// followed by the same white space; now and then a line that breaks the shape (a digit
// less or more, other white space, a character that ends the run, a lone digit).
std::string BrokenRowText(std::mt19937& random, size_t size)
{
    static const char kDigits[] = "0123456789ABCDEFabcdef";
    static const char kSpaces[] = " \t\n\r";
    static const char kOther[] = {',', '<', 'G', '/', 0, (char)0xC6};
    size_t perLine = 2 * (8 + random() % 60);
    std::string gap;
    for (size_t i = 1 + random() % 9; i > 0; --i)
        gap += kSpaces[random() % 4];
    std::string text;
    while (text.size() < size)
    {
        for (size_t i = 0; i < perLine; ++i)
            text += kDigits[random() % 22];
        text += gap;
        if (random() % 6 != 0)
            continue;
        size_t at = random() % text.size();
        switch (random() % 4)
        {
        case 0:
            text.erase(at, 1);
            break;
        case 1:
            text.insert(at, 1, kDigits[random() % 22]);
            break;
        case 2:
            text[at] = kSpaces[random() % 4];
            break;
        default:
            text[at] = kOther[random() % sizeof kOther];
            break;
        }
    }
    text.resize(size);
    return text;
}

// Every level against the plain one for a text, at rooms that end anywhere; false once a
// difference is found (which the assertions report).
bool DecodesAsThePlainPath(const std::string& text, const std::vector<UtSimdLevel>& levels)
{
    const unsigned char* in = (const unsigned char*)text.data();
    size_t size = text.size();
    for (size_t room :
         {size / 2, size / 3, size * 2 / 5, (size_t)0, (size_t)1, (size_t)15, (size_t)16, (size_t)17, (size_t)40})
    {
        std::vector<unsigned char> expected(room + 1), got(room + 1);
        size_t expectedUsed = 0;
        size_t expectedCount =
            util_TextKernelsAt(UtSimdLevel::Plain)->decodeHexRun(in, size, expected.data(), room, &expectedUsed);
        for (UtSimdLevel level : levels)
        {
            SCOPED_TRACE(std::string(util_SimdLevelName(level)) + ", size " + std::to_string(size) + ", room " +
                         std::to_string(room) + ", text " + text);
            got.assign(room + 1, 0xA5);
            size_t used = 0;
            // No room at all comes with no place to write, as the reader gives it.
            unsigned char* target = room == 0 ? nullptr : got.data();
            size_t count = util_TextKernelsAt(level)->decodeHexRun(in, size, target, room, &used);
            EXPECT_EQ(count, expectedCount);
            EXPECT_EQ(used, expectedUsed);
            EXPECT_TRUE(count == expectedCount && memcmp(got.data(), expected.data(), count) == 0);
            EXPECT_EQ(got[room], 0xA5) << "a byte written past the room";
            if (::testing::Test::HasFailure())
                return false;
        }
    }
    return true;
}
}

TEST(TextKernels, EveryLevelDecodesAsThePlainPath)
{
    std::mt19937 random(42);
    std::vector<UtSimdLevel> levels = Levels();
    ASSERT_FALSE(levels.empty());
    for (size_t size : {0, 1, 31, 32, 33, 64, 127, 128, 129, 200, 255, 256, 257, 700, 3000})
    {
        for (int round = 0; round < 80; ++round)
        {
            std::string text = round % 2 == 0 ? RowLikeText(random, size) : BrokenRowText(random, size);
            ASSERT_TRUE(DecodesAsThePlainPath(text, levels));
        }
    }
    // Each character of a row broken over lines of one shape made wrong in turn: a digit
    // that is none, white space that differs, a line a digit short.
    std::string row;
    for (int line = 0; line < 9; ++line)
        row += "0123456789abcdefABCDEF0123456789abcdefABCDEF0123456789abcdef\n\t\t\t  ";
    for (size_t at = 0; at < 3 * 66; ++at)
        for (char wrong : {'G', ' ', '\0', '\x10'})
        {
            std::string text = row;
            text[at] = text[at] == wrong ? '\t' : wrong;
            ASSERT_TRUE(DecodesAsThePlainPath(text, levels)) << "wrong at " << at;
            ASSERT_TRUE(DecodesAsThePlainPath(text.substr(0, at) + text.substr(at + 1), levels)) << "cut at " << at;
        }
}

TEST(TextKernels, EveryLevelCountsLineFeedsAndFindsNulAsThePlainPath)
{
    std::mt19937 random(7);
    for (size_t size : {0, 1, 63, 64, 65, 130, 1000, 64 * 127 + 5, 64 * 300})
    {
        for (int round = 0; round < 20; ++round)
        {
            // Texts at every place against a 16-byte boundary; the last round all line feeds,
            // as many as a vector lane can count.
            const size_t shift = (size_t)round % 16;
            std::string buffer(shift + size, 'a');
            char* text = &buffer[shift];
            for (size_t i = 0; i < size; ++i)
                text[i] = round == 19 ? '\n' : "ab\n<"[random() % 4];
            if (size > 0 && round % 2 == 0)
                text[random() % size] = 0;
            if (size > 0 && round % 4 == 0)
                text[random() % size] = 0;
            size_t expectedLast = 0, expectedNul = 0;
            size_t expected =
                util_TextKernelsAt(UtSimdLevel::Plain)->countLineFeedsAndNul(text, size, &expectedLast, &expectedNul);
            for (UtSimdLevel level : Levels())
            {
                SCOPED_TRACE(std::string(util_SimdLevelName(level)) + ", size " + std::to_string(size) + ", round " +
                             std::to_string(round));
                size_t last = 0, nul = 0;
                ASSERT_EQ(util_TextKernelsAt(level)->countLineFeedsAndNul(text, size, &last, &nul), expected);
                ASSERT_EQ(nul, expectedNul);
                ASSERT_EQ(expected > 0 ? last : 0, expected > 0 ? expectedLast : 0);
            }
        }
    }
}

// The suites run again with RIZEROZ_SIMD set to each level (tests/CMakeLists.txt): the
// process uses the level named, or the best one below it that this processor runs.
TEST(TextKernels, TheLevelNamedIsTheOneUsed)
{
    std::vector<UtSimdLevel> levels = Levels();
    const char* named = getenv("RIZEROZ_SIMD");
    UtSimdLevel expected = levels.back();
    if (named != nullptr)
    {
        for (UtSimdLevel level = UtSimdLevel::Plain; level <= UtSimdLevel::AVX512;
             level = (UtSimdLevel)((int)level + 1))
        {
            if (strcmp(named, util_SimdLevelName(level)) == 0 && expected > level)
                expected = level;
        }
        while (util_TextKernelsAt(expected) == nullptr)
            expected = (UtSimdLevel)((int)expected - 1);
    }
    EXPECT_EQ(util_TextKernels().level, expected) << (named ? named : "RIZEROZ_SIMD not set");
}
