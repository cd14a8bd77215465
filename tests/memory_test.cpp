// Memory: how much reading takes, and what the library does when memory runs out. This
// program replaces malloc, realloc and free, which the library and operator new
// call, by versions that count the bytes in use and refuse the allocations a test names.
// That works in a native glibc build without AddressSanitizer (which brings its own
// malloc); elsewhere the tests say they are skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "SafeSave.h"
#include "TestSupport.h"

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#include <malloc.h>

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void __libc_free(void*);

namespace
{
struct Allocations
{
    bool counting;        // bytes in use are counted
    long long live;       // bytes in use since counting began (below 0 when older ones are freed)
    long long peak;       // the most in use at once since
    long long seen;       // allocations asked for since refusing was armed
    long long refuseAt;   // the allocation (from 1) that is refused; 0: none
    bool refuseLater;     // every allocation after it is refused too
    long long refused;
} g;

bool Refuse()
{
    if (g.refuseAt == 0)
        return false;
    ++g.seen;
    bool refuse = g.refuseLater ? g.seen >= g.refuseAt : g.seen == g.refuseAt;
    g.refused += refuse ? 1 : 0;
    return refuse;
}

void Count(void* p, long long sign)
{
    if (p != nullptr && g.counting)
        g.peak = std::max(g.peak, g.live += sign * (long long)malloc_usable_size(p));
}

void StartCounting()
{
    g.counting = true;
    g.live = g.peak = 0;
}

void Arm(long long at, bool later)
{
    g.seen = g.refused = 0;
    g.refuseLater = later;
    g.refuseAt = at;
}
}

extern "C" void* malloc(size_t size)
{
    void* p = Refuse() ? nullptr : __libc_malloc(size);
    Count(p, 1);
    return p;
}

extern "C" void* realloc(void* old, size_t size)
{
    if (old != nullptr && size > 0 && Refuse())
        return nullptr;
    Count(old, -1);
    void* p = __libc_realloc(old, size);
    Count(p != nullptr || size == 0 ? p : old, 1);
    return p;
}

extern "C" void free(void* p)
{
    Count(p, -1);
    __libc_free(p);
}

using namespace testsupport;

// A row takes memory as its bytes arrive, not from its declared width: while reading,
// memory stays within the model + 64 bytes per row + the largest element text + 16 MB.
// The model's share is what a compact copy of it takes.
TEST(ReadMemory, PeakStaysWithinTheModelRowsTextAndSixteenMegabytes)
{
    // clang-format off
    const struct { const char* what; const char* width; std::string text; long long rows; } cases[] = {
        {"commas under the widest width", "2147483647", std::string(200000, ','), 200001},
        {"expression rows", "8000", Repeat("(AB*1000),", 1000), 1001},
        {"rows spread out by white space", "8", Repeat("0x" + Repeat("AB        ", 1000) + ",", 100), 101},
    };
    // clang-format on
    for (const auto& c : cases)
    {
        std::string dir = ScratchDir("memory/peak");
        WriteBytes(dir + "/in.xml", Document("<DataField name=\"A\"><FieldBlock row_width=\"" + std::string(c.width) +
                                             "\">" + c.text + "</FieldBlock></DataField>"));
        RODAzivUzirAdovIzozari handler;
        ASSERT_EQ(0, handler.InitSvfPlusDataFile("in.xml", dir.c_str(), "read"));
        StartCounting();
        ASSERT_EQ(0, handler.Read()) << c.what;
        long long peak = g.peak;
        StartCounting();
        {
            SVFPlusData compact(*handler.GetSVFPlusData());
            long long bound = g.live + 64 * c.rows + (long long)c.text.size() + (16 << 20);
            EXPECT_LE(peak, bound) << c.what << ": model " << g.live << ", rows " << c.rows;
        }
        g.counting = false;
    }
}

namespace
{
const std::string kDocument =
    Document("<Comment>memory</Comment><Other a=\"1\"/><DataField name=\"A\" "
             "checksum=\"0x12ab\"><FieldBlock row_width=\"16\">0x1234,0x5678,(AB*2)"
             "</FieldBlock><FieldBlock row_width=\"4096\">0x" +
             Repeat("C3", 512) + ",(00*256+FF*256)</FieldBlock></DataField><DataField name=\"B\"/>");

// Runs `work(at, later)` with each of its allocations refused in turn (and, with
// `later`, every one after it): nothing may be thrown, the outcome must be acceptable
// (work's result), and once the objects it made are gone no byte may stay in use.
template <typename Work>
void RefuseEachAllocation(const char* what, Work work)
{
    work(0, false);   // one-time allocations of the C and C++ libraries happen here
    for (bool later : {false, true})
        for (long long at = 1;; ++at)
        {
            StartCounting();
            bool acceptable = false;
            try
            {
                acceptable = work(at, later);
            }
            catch (...)
            {
                g.refuseAt = 0;
                ADD_FAILURE() << what << ": an exception left the library, allocation " << at;
            }
            g.refuseAt = 0;
            EXPECT_EQ(0, g.live) << what << ": bytes left in use, allocation " << at;
            g.counting = false;
            if (g.refused == 0)
                break;
            EXPECT_TRUE(acceptable) << what << ": allocation " << at << (later ? " and later" : "");
        }
}
}

// Reading, writing and saving, each allocation refused in turn: each either fails with a
// negative result (Write: with GetWriteError) or succeeds with nothing lost; a failed
// save leaves the old file.
TEST(OutOfMemory, EveryRefusedAllocationGivesAResultCode)
{
    std::string dir = ScratchDir("memory/refused"), saved = dir + "/saved.xml";
    WriteBytes(dir + "/in.xml", kDocument);
    RODAzivUzirAdovIzozari reader;
    ASSERT_EQ(0, reader.InitSvfPlusDataFile("in.xml", dir.c_str(), "read"));
    ASSERT_EQ(0, reader.Read());
    SVFPlusData* model = reader.GetSVFPlusData();
    const std::string expected = Summary(model);
    auto sameAsRead = [&dir, &expected](const char* name) {
        RODAzivUzirAdovIzozari again;
        again.InitSvfPlusDataFile(name, dir.c_str(), "read");
        return again.Read() == 0 && Summary(again.GetSVFPlusData()) == expected;
    };

    RefuseEachAllocation("read", [&](long long at, bool later) {
        RODAzivUzirAdovIzozari handler;
        Arm(at, later);
        int result = handler.InitSvfPlusDataFile("in.xml", dir.c_str(), "read");
        if (result >= 0)
            result = handler.Read();
        g.refuseAt = 0;
        return result < 0 || Summary(handler.GetSVFPlusData()) == expected;
    });
    RefuseEachAllocation("write", [&](long long at, bool later) {
        RODAzivUzirAdovIzozari handler;
        Arm(at, later);
        int result = handler.InitSvfPlusDataFile("out.xml", dir.c_str(), "write");
        handler.SetSVFPlusData(model);
        handler.WriteExpression(true);
        if (result >= 0)
            result = handler.Write();
        g.refuseAt = 0;
        return result < 0 || handler.GetWriteError() != 0 || sameAsRead("out.xml");
    });
    RefuseEachAllocation("save", [&](long long at, bool later) {
        WriteBytes(saved, "old text");
        Arm(at, later);
        int result = SaveSVFPlusData(model, saved.c_str(), at % 2 == 0, nullptr);
        g.refuseAt = 0;
        return result < 0 ? ReadBytes(saved) == "old text" : sameAsRead("saved.xml");
    });
}
#else
TEST(Memory, NeedsItsOwnMalloc)
{
    GTEST_SKIP() << "counting allocations needs a native glibc build without AddressSanitizer";
}
#endif
