// The utility library: byte buffers (growable and chained), string helpers, hexadecimal
// digits, util_fopen, UtString and the error handler.
#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "UtByteSink.h"
#include "UtString.h"
#include "UtUtility.h"

using testsupport::Hex;
using testsupport::RowText;

namespace
{
// Byte i of a test pattern; 251 is prime, so the pattern lines up with no capacity.
unsigned char PatternByte(int i, int salt = 0)
{
    return (unsigned char)((i * 7 + salt) % 251);
}

// Fills a chain the way the row reader does: byte by byte on the current segment,
// moving on with GetNextBuffer when it refuses one. Returns the segments used.
int WriteChained(UtByteBuffer& head, int count, int salt = 0)
{
    UtByteBuffer* current = &head;
    int segments = 1;
    for (int i = 0; i < count; ++i)
        if (current->WriteData((char)PatternByte(i, salt)) == 0)
        {
            current = current->GetNextBuffer();
            ++segments;
            EXPECT_NE(current->WriteData((char)PatternByte(i, salt)), 0) << "byte " << i;
        }
    return segments;
}

void ExpectPattern(const UtByteBuffer& buffer, int count, int salt = 0)
{
    ASSERT_EQ(buffer.GetTotalSize(), (unsigned int)count);
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(buffer.ReadData(i), PatternByte(i, salt)) << "index " << i;
    for (int outside : {count, count + 1000, -1, INT_MIN})
        EXPECT_EQ(buffer.ReadData(outside), 0) << "index " << outside;
}

}

TEST(ByteBufferChain, BytesReadBackAcrossSegmentBoundariesAndAfterClearing)
{
    for (int capacity : {1, 3, 640})
        for (int count : {0, 1, capacity - 1, capacity, capacity + 1, 3 * capacity + 2, 2000})
        {
            SCOPED_TRACE("capacity " + std::to_string(capacity) + ", count " + std::to_string(count));
            UtByteBuffer head(capacity);
            int segments = WriteChained(head, count);
            EXPECT_EQ(segments, count <= capacity ? 1 : (count + capacity - 1) / capacity);
            ExpectPattern(head, count);
            // A direct view exists only while one segment holds every byte.
            EXPECT_EQ(head.GetData() != nullptr, count > 0 && segments == 1);

            std::vector<unsigned char> copied(count + 5, 0xEE);
            EXPECT_EQ(head.CopyData(0, copied.data(), count + 5), count);
            EXPECT_EQ(copied[count], 0xEE) << "CopyData wrote past the chain's end";

            // The same bytes in two bulk writes, which continue into further segments.
            UtByteBuffer bulk(capacity);
            EXPECT_EQ(bulk.WriteData(copied.data(), count / 2), count / 2);
            EXPECT_EQ(bulk.WriteData(copied.data() + count / 2, count - count / 2), count - count / 2);
            ExpectPattern(bulk, count);
            if (segments < 3)
                continue;

            // A later segment sees only its own bytes. Cleared, the chain is written from its
            // first segment again, and moves on into the segments it kept.
            UtByteBuffer* second = head.GetNextBuffer();
            UtByteBuffer copy(*second);
            EXPECT_EQ(RowText(second), RowText(&copy));
            ASSERT_EQ(second->GetTotalSize(), (unsigned int)capacity);
            EXPECT_EQ(second->ReadData(capacity - 1), PatternByte(2 * capacity - 1));
            head.ClearBuffer();
            EXPECT_EQ(head.GetTotalSize(), 0u);
            EXPECT_EQ(second->GetTotalSize(), 0u);
            EXPECT_EQ(head.ReadData(0), 0);
            EXPECT_EQ(WriteChained(head, 2 * capacity, 2), 2);
            EXPECT_EQ(head.GetNextBuffer(), second);
            ExpectPattern(head, 2 * capacity, 2);
        }
    for (int capacity : {0, -1})
    {
        UtByteBuffer head(capacity);
        EXPECT_EQ(head.WriteData('a') + head.WriteData("abc", 3), 0);
        EXPECT_EQ(head.GetTotalSize(), 0u);
    }
}

TEST(ByteBufferChain, WritingPastAnUnfilledSegmentKeepsChainOrder)
{
    // 'a' in the head, "xy" in the second segment, then 'b' in the head: the chain reads
    // segment by segment. Byte writes and bulk writes must both notice the gap.
    for (bool bulk : {false, true})
    {
        SCOPED_TRACE(bulk ? "bulk writes" : "byte writes");
        auto write = [bulk](UtByteBuffer* segment, const char* bytes) {
            if (bulk)
                segment->WriteData(bytes, (int)strlen(bytes));
            else
                for (const char* c = bytes; *c != 0; ++c)
                    segment->WriteData(*c);
        };
        UtByteBuffer head(3);
        write(&head, "a");
        write(head.GetNextBuffer(), "xy");
        write(&head, "b");
        EXPECT_EQ(RowText(&head), Hex("abxy"));
        EXPECT_EQ(head.ReadData(4), 0);
        char copied[4] = {0};
        EXPECT_EQ(head.CopyData(1, copied, 4), 3);
        EXPECT_EQ(std::string(copied, 3), "bxy");
    }
}

TEST(ByteBufferGrowable, KeepsEveryByteBeyondItsInitialCapacity)
{
    UtByteBuffer empty, small(2, true), none(0, true), reserved(1, true);
    reserved.Reserve(4096);
    for (UtByteBuffer* buffer : {&empty, &small, &none, &reserved})
    {
        EXPECT_TRUE(buffer->IsGrowable());
        EXPECT_EQ(buffer->GetData(), nullptr);
        for (int i = 0; i < 5000; ++i)
            ASSERT_NE(buffer->WriteData(PatternByte(i)), 0) << "byte " << i;
        EXPECT_EQ(buffer->GetNextBuffer(), buffer);
        ExpectPattern(*buffer, 5000);
        ASSERT_NE(buffer->GetData(), nullptr);
        EXPECT_EQ(buffer->GetData()[4999], PatternByte(4999));
        buffer->ClearBuffer();
        EXPECT_EQ(buffer->GetTotalSize(), 0u);
        EXPECT_EQ(buffer->ReadData(0), 0);
    }
}

TEST(ByteBufferCopy, CopiesAreIndependentGrowableBuffers)
{
    UtByteBuffer head(3), target(1);
    WriteChained(head, 10);
    WriteChained(target, 5);
    UtByteBuffer copy(head);
    target = head;
    for (UtByteBuffer* made : {&copy, &target})
    {
        EXPECT_TRUE(made->IsGrowable());
        ExpectPattern(*made, 10);
        made->WriteData('!');
    }
    EXPECT_EQ(head.GetTotalSize(), 10u);

    // Assigning a segment of the own chain to its head keeps that segment's bytes.
    head = *head.GetNextBuffer();
    EXPECT_EQ(RowText(&head), Hex({(char)PatternByte(3), (char)PatternByte(4), (char)PatternByte(5)}));
    // A later segment stays in its chain and takes the bytes as segments do.
    UtByteBuffer chain(2);
    WriteChained(chain, 3);
    *chain.GetNextBuffer() = UtByteBuffer(copy);
    EXPECT_EQ(chain.GetTotalSize(), 13u);
    EXPECT_EQ(chain.ReadData(12), '!');
}

TEST(HexDigits, EveryCharacterAndEveryValue)
{
    for (int code = 0; code < 256; ++code)
    {
        char c = (char)code;
        char text[2] = {c, 0};
        bool isDigit = c != 0 && strchr("0123456789abcdefABCDEF", c) != nullptr;
        EXPECT_EQ(util_HexAnsi2Hex(c), isDigit ? strtol(text, nullptr, 16) : 0) << "character " << code;

        char expected[4];
        snprintf(expected, sizeof(expected), "%X", code & 0x0F);
        char digit = util_Hex2HexAnsi((unsigned char)code);
        EXPECT_EQ(digit, expected[0]) << "value " << code;
        EXPECT_EQ(util_HexAnsi2Hex(digit), code & 0x0F);
    }
}

TEST(StringHelpers, StrncpyAndStrncatStayInBoundsAndTerminate)
{
    // initial: null for util_strncpy, else the text util_strncat appends to.
    // clang-format off
    const struct { const char *initial, *text; int count, size; const char* expected; } cases[] = {
        { nullptr, "hello", 3, 0, "hel" },   { nullptr, "hello", 50, 0, "hello" },
        { nullptr, "hello", 0, 0, "" },      { nullptr, "hello", -3, 0, "" },
        { nullptr, "hello", 5, 4, "hel" },   { nullptr, "hello", 5, 5, "hell" },
        { nullptr, "hello", 5, 6, "hello" }, { nullptr, "hello", 5, 1, "" },
        { nullptr, nullptr, 4, 0, "" },      { nullptr, "", 4, 0, "" },
        { "ab", "cd", 0, 0, "abcd" },        { "ab", "cdef", 2, 0, "abcd" },
        { "ab", "cd", -1, 0, "abcd" },       { "ab", "c", 5, 0, "abc" },
        { "ab", "cdef", 0, 5, "abcd" },      { "ab", "cdef", 3, 6, "abcde" },
        { "abcd", "ef", 0, 5, "abcd" },      { "abcd", "ef", 0, 3, "abcd" },
        { "", "xyz", 0, 0, "xyz" },          { "ab", nullptr, 0, 0, "ab" },
    };
    // clang-format on
    for (const auto& test : cases)
    {
        SCOPED_TRACE("case " + std::to_string(&test - cases));
        char area[16];
        memset(area, 'X', sizeof(area));
        if (test.initial == nullptr)
            util_strncpy(area, test.text, test.count, test.size);
        else
        {
            strcpy(area, test.initial);
            util_strncat(area, test.text, test.count, test.size);
        }
        EXPECT_STREQ(area, test.expected);
        for (size_t i = strlen(test.expected) + 1; i < sizeof(area); ++i)
            ASSERT_EQ(area[i], 'X') << "wrote past the terminator at " << i;
    }
    util_strncpy(nullptr, "text", 4, 0);
    util_strncat(nullptr, "text", 0, 0);
}

// (Every read of the other suites opens a backslash path "<folder>\\<name>".)
TEST(StringHelpers, FopenRejectsNullArguments)
{
    testsupport::WriteBytes(testsupport::ScratchDir("utility_fopen") + "/probe.txt", "probe");
    // clang-format off
    const struct { const char *path, *mode; int error; } failures[] = {
        { "scratch\\utility_fopen\\absent.txt", "r", ENOENT }, { nullptr, "r", EINVAL },
        { "scratch\\utility_fopen\\probe.txt", nullptr, EINVAL } };
    for (const auto& test : failures)
    {
        errno = 0;
        EXPECT_EQ(util_fopen(test.path, test.mode), nullptr);
        EXPECT_EQ(errno, test.error);
    }
    // clang-format on
}

// What every sink shares: the bytes taken are counted in pieces taken whole, the first
// failure sticks (the kind is asked nothing after it), and Finish ends the writing once,
// reporting a failure of its own work (an owned stream's flush and close) too.
TEST(ByteSink, CountsKeepsTheFirstFailureAndFinishesOnce)
{
    struct Failing : UtByteSink
    {
        int calls = 0, ends = 0;
        int Take(const void*, size_t) override { return ++calls == 3 ? ENOSPC : 0; }
        int End() override { return ++ends, EIO; }
    } failing;
    EXPECT_EQ(0, failing.Put("ab", 2) + failing.Put("", 0) + failing.Put("cd", 2));
    EXPECT_EQ(ENOSPC, failing.Put("ef", 2));
    EXPECT_EQ(ENOSPC, failing.Put("gh", 2));
    EXPECT_EQ(3, failing.calls);
    EXPECT_EQ(4u, failing.Taken());
    EXPECT_EQ(ENOSPC, failing.Finish());   // the first failure, though the end failed too
    EXPECT_EQ(ENOSPC, failing.Finish());
    EXPECT_EQ(1, failing.ends);

    UtMemorySink memory;
    EXPECT_EQ(0, memory.Put("x", 1) + memory.Finish());
    EXPECT_EQ(EBADF, memory.Put("y", 1));   // nothing after the end
    EXPECT_EQ(1u, memory.GetSize());
#if defined(__linux__)
    // A full device takes the byte into the stream's buffer and refuses it at the flush.
    UtStreamSink full(fopen("/dev/full", "w"), true);
    EXPECT_EQ(0, full.Put("z", 1));
    EXPECT_EQ(ENOSPC, full.Finish());
#endif
}

TEST(UtStringTest, FindLooksOnlyAtTheGivenTextAndCopiesOwnTheirText)
{
    // clang-format off
    const struct { const char* text; char c; int expected; } cases[] = {
        { "C:\\data\\file.xml", ':', 1 }, { "data\\file.xml", ':', -1 }, { ":x", ':', 0 },
        { "ab:c:d", ':', 2 }, { "", ':', -1 }, { nullptr, ':', -1 }, { "abc", '\0', -1 },
    };
    // clang-format on
    UtString held("held:text");
    for (const auto& test : cases)
        EXPECT_EQ(held.Find(test.text, test.c), test.expected) << (test.text ? test.text : "(null)");

    UtString text;
    text.Append("abcdef", 3);
    text.Append("-xyz", -1);
    text.Append("ignored", 0);
    // Appending its own text, past the point where the storage has to grow.
    std::string expected = "abc-xyz";
    for (int i = 0; i < 4; ++i, expected += expected)
        text.Append(text.GetText());
    EXPECT_EQ(text.GetText(), expected);
    EXPECT_EQ(text.GetLength(), (int)expected.size());

    UtString copy(text);
    text.Assign(text.GetText() + 4);
    EXPECT_EQ(text.GetText(), expected.substr(4));
    EXPECT_EQ(copy.GetText(), expected);
    copy = text;
    EXPECT_NE(copy.GetText(), text.GetText());
    copy.Assign(nullptr);
    EXPECT_STREQ(copy.GetText(), "");
}

TEST(ErrorHandlerTest, MessagesPlaceDescribeAndNumberTheFailure)
{
    // clang-format off
    const struct { int code; const char *text, *file; long line, column; const char *detail, *expected; } cases[] = {
        { -1, "data.xml", "data.xml", 7, 3, nullptr,
          "data.xml:7:3: error: a second root element, or a row that breaks the "
          "hexadecimal row syntax (error -1)." },
        { -108, "in.xml", "dir\\in.xml", 12, 0, "",
          "dir\\in.xml:12:1: error: an end tag does not match the open element (error -108)." },
        { -4, "text.xml", "doc.xml", 0, 9, nullptr, "doc.xml: error: the data field gave no new row (error -4)." },
        { -5, "out\\f.xml", nullptr, 0, 0, "No such file",
          "out\\f.xml: the output file cannot be opened (empty path, failed open, or no "
          "output open) (No such file) (error -5)." },
        { -3, "fallback.xml", "", 4, 2, nullptr,
          "fallback.xml: a field block that is not directly inside a data field (error -3)." },
        { -6, nullptr, nullptr, 0, 0, nullptr, "Nothing to write: no data model is attached (error -6)." },
        { 4711, "", "", 0, 0, "why", "An unknown failure (why) (error 4711)." },
    };
    // clang-format on
    ErrorHandler errors;
    for (const auto& test : cases)
    {
        int index = errors.AddReport(test.code, ERROR_LIST_DATA_FILE, test.text, test.file, test.line, test.column,
                                     test.detail);
        const ErrorReport* report = errors.GetReport(index);
        ASSERT_EQ(report, errors.GetLastReport());
        EXPECT_STREQ(report->GetMessage(), test.expected);
        EXPECT_STREQ(report->GetText(), test.text ? test.text : "");
        EXPECT_EQ(report->GetCode(), test.code);
        EXPECT_EQ(report->GetLine(), test.file != nullptr && *test.file != 0 ? test.line : 0);
    }
}

// Each code and warning kind has a sentence of its own (tests/docs checks them against the
// documentation); other numbers get the general text and no name.
TEST(ErrorHandlerTest, EveryCodeOfTheLibraryHasItsOwnDescription)
{
    const std::string unknown = ErrorHandler::DescribeCode(12345);
    std::set<std::string> seen = {unknown};
#define RIZEROZ_TEST_SENTENCE(code, name, sentence)                                                                    \
    EXPECT_TRUE(seen.insert(sentence).second&& islower((unsigned char)sentence[0])) << #name;
#define RIZEROZ_TEST_WARNING(code, name, sentence, pattern) RIZEROZ_TEST_SENTENCE(code, name, sentence)
    RIZEROZ_RESULTS(RIZEROZ_TEST_SENTENCE)
    RIZEROZ_READ_WARNINGS(RIZEROZ_TEST_WARNING)
#undef RIZEROZ_TEST_WARNING
#undef RIZEROZ_TEST_SENTENCE
    for (int code : {0, 1, -18, -30, -100, -120, -200, -204, INT_MIN, INT_MAX})
    {
        EXPECT_EQ(ErrorHandler::DescribeCode(code), unknown) << "code " << code;
        EXPECT_STREQ(ErrorHandler::GetCodeName(code), "") << "code " << code;
    }
    for (int code : {0, -1, 24, 100, 104})
        EXPECT_STREQ(ErrorHandler::GetWarningName(code), "") << "code " << code;
}

TEST(ErrorHandlerTest, ListsCountTheirReportsAndCopiesAreDeep)
{
    ErrorHandler errors;
    for (int list : {0, 2, 4, 8, -1, -5, (int)ERROR_LIST_XML_PARSER, (int)ERROR_LIST_DATA_FILE, (int)ERROR_LIST_OUTPUT})
        EXPECT_EQ(errors.GetErrorList(list),
                  list == ERROR_LIST_XML_PARSER || list == ERROR_LIST_DATA_FILE || list == ERROR_LIST_OUTPUT ? 0 : -114)
            << "list " << list;

    // Enough reports to make the store grow several times; indices count from 0.
    for (int i = 0; i < 100; ++i)
    {
        std::string name = "doc" + std::to_string(i) + ".xml";
        unsigned long list = i % 3 == 0 ? ERROR_LIST_XML_PARSER : ERROR_LIST_DATA_FILE;
        EXPECT_EQ(errors.AddReport(-(i % 7) - 1, list, name.c_str(), name.c_str(), i + 1, 1, nullptr), i);
    }
    EXPECT_EQ(errors.GetErrorList(ERROR_LIST_XML_PARSER), 34);
    EXPECT_EQ(errors.GetErrorList(ERROR_LIST_DATA_FILE), 66);
    EXPECT_EQ(errors.GetReport(-1), nullptr);
    EXPECT_EQ(errors.GetReport(100), nullptr);
    EXPECT_STREQ(errors.GetLastReport()->GetText(), "doc99.xml");

    ErrorHandler copy(errors), assigned;
    assigned.AddReport(-2, ERROR_LIST_DATA_FILE, "old", nullptr, 0, 0, nullptr);
    assigned = errors;
    errors.ClearReports();
    EXPECT_EQ(errors.GetReportCount(), 0);
    EXPECT_EQ(errors.GetLastReport(), nullptr);
    for (const ErrorHandler* kept : {&copy, &assigned})
    {
        EXPECT_EQ(kept->GetReportCount(), 100);
        EXPECT_STREQ(kept->GetReport(98)->GetMessage(), "doc98.xml:99:1: error: a second root element, or a row that "
                                                        "breaks the hexadecimal row syntax (error -1).");
    }

    // Warnings: a list of their own, the first WARNINGS_KEPT in full and the rest counted.
    for (int i = 0; i < WARNINGS_KEPT + 5; ++i)
        errors.AddWarning(SVF_WARN_NO_NAME, "w.xml", i + 1, 2, "data field 0 has no \"name\"");
    EXPECT_EQ(errors.GetWarningCount(), (int)WARNINGS_KEPT);
    EXPECT_EQ(errors.GetErrorList(ERROR_LIST_WARNINGS), (int)WARNINGS_KEPT);
    EXPECT_EQ(errors.GetOmittedWarningCount(), 5);
    EXPECT_EQ(errors.GetReportCount(), 0);
    ErrorHandler warned(errors);
    const ErrorReport* warning = warned.GetWarning(WARNINGS_KEPT - 1);
    ASSERT_NE(warning, nullptr);
    EXPECT_STREQ(warning->GetMessage(), "w.xml:1000:2: warning: data field 0 has no \"name\" (warning 8).");
    EXPECT_EQ(warning->GetLine(), 1000);
    EXPECT_STREQ(warning->GetSentence(), "data field 0 has no \"name\"");
    EXPECT_EQ(warned.GetOmittedWarningCount(), 5);
    EXPECT_EQ(warned.GetWarning(WARNINGS_KEPT), nullptr);

    char text[] = "first.xml";
    ErrorReport report(-2, ERROR_LIST_DATA_FILE, text, nullptr), empty;
    text[0] = 'X';
    empty = report;
    report = ErrorReport();
    EXPECT_STREQ(empty.GetText(), "first.xml");
    EXPECT_STREQ(empty.GetMessage(), "");
}
