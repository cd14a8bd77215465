// Memory: how much reading takes, and what the library does when memory runs out. This
// program replaces malloc and its kin, which the library and operator new call, by
// versions that count the bytes in use and refuse the allocations a test names. That
// works in a native glibc build without AddressSanitizer (which brings its own malloc);
// elsewhere the tests say they are skipped.
#include <gtest/gtest.h>

#include <string>

#include "ModelSummary.h"
#include "SafeSave.h"
#include "TestSupport.h"

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#define RIZEROZ_COUNTING_MALLOC 1
#include <errno.h>
#include <malloc.h>

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void* __libc_memalign(size_t, size_t);
extern "C" void __libc_free(void*);

namespace
{
struct Allocations
{
    bool counting;        // bytes in use are counted
    long long live;       // bytes in use since counting began (below 0 when older ones are freed)
    long long peak;
    long long seen;       // allocations asked for since refusing was armed
    long long refuseAt;   // the allocation (from 1) that is refused; 0: none
    bool refuseLater;     // every allocation after it is refused too
    long long refused;
} g_allocations;

bool Refuse()
{
    Allocations& a = g_allocations;
    if (a.refuseAt == 0)
        return false;
    ++a.seen;
    bool refuse = a.refuseLater ? a.seen >= a.refuseAt : a.seen == a.refuseAt;
    a.refused += refuse ? 1 : 0;
    return refuse;
}

void Count(void* p, long long sign)
{
    Allocations& a = g_allocations;
    if (p == nullptr || !a.counting)
        return;
    a.live += sign * (long long)malloc_usable_size(p);
    if (a.live > a.peak)
        a.peak = a.live;
}
}

extern "C" void* malloc(size_t size)
{
    void* p = Refuse() ? nullptr : __libc_malloc(size);
    Count(p, 1);
    return p;
}

extern "C" void* calloc(size_t count, size_t size)
{
    void* p = Refuse() ? nullptr : __libc_calloc(count, size);
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

extern "C" void* memalign(size_t alignment, size_t size)
{
    void* p = Refuse() ? nullptr : __libc_memalign(alignment, size);
    Count(p, 1);
    return p;
}

extern "C" void* aligned_alloc(size_t alignment, size_t size)
{
    return memalign(alignment, size);
}

extern "C" int posix_memalign(void** out, size_t alignment, size_t size)
{
    *out = memalign(alignment, size);
    return *out != nullptr ? 0 : ENOMEM;
}
#endif

using namespace testsupport;

namespace
{
const char kProlog[] = "<?xml version='1.0' encoding='utf-8' ?>\n<SVF_Plus_Data version=\"1\">";

std::string Repeat(const std::string& s, size_t count)
{
    std::string text;
    text.reserve(s.size() * count);
    while (count-- > 0)
        text += s;
    return text;
}

#if defined(RIZEROZ_COUNTING_MALLOC)
// Counts the bytes in use from here on (Live), and the most in use at once (Peak).
void StartCounting()
{
    g_allocations.counting = true;
    g_allocations.live = g_allocations.peak = 0;
}
void StopCounting() { g_allocations.counting = false; }
long long Live() { return g_allocations.live; }
long long Peak() { return g_allocations.peak; }
// Refuses allocation `at` from here on (from 1; 0 refuses none), and with `later` every
// one after it too; Disarm stops refusing and Refused tells how many were.
void Arm(long long at, bool later)
{
    g_allocations.seen = g_allocations.refused = 0;
    g_allocations.refuseLater = later;
    g_allocations.refuseAt = at;
}
void Disarm() { g_allocations.refuseAt = 0; }
long long Refused() { return g_allocations.refused; }
#define SKIP_WITHOUT_COUNTING()
#else
#define SKIP_WITHOUT_COUNTING() \
    GTEST_SKIP() << "counting allocations needs a native glibc build without AddressSanitizer"
void StartCounting() {}
void StopCounting() {}
long long Live() { return 0; }
long long Peak() { return 0; }
void Arm(long long, bool) {}
void Disarm() {}
long long Refused() { return 0; }
#endif
}

// A row takes memory as its bytes arrive, not from its declared width: while reading,
// memory stays within the model + 64 bytes per row + the largest element text + 16 MB.
// The model's share is what a compact copy of it takes.
TEST(ReadMemory, PeakStaysWithinTheModelRowsTextAndSixteenMegabytes)
{
    SKIP_WITHOUT_COUNTING();
    const struct { const char* what; const char* width; std::string text; long long rows; } cases[] = {
        {"commas under the widest width", "2147483647", std::string(200000, ','), 200001},
        {"short rows under the widest width", "2147483647", Repeat("0x01,", 50000), 50001},
        {"one long row", "8", "0x" + Repeat("5A", 2u << 20), 1},
        {"expression rows", "8000", Repeat("(AB*1000),", 1000), 1001},
        {"rows spread out by white space", "8", Repeat("0x" + Repeat("AB        ", 1000) + ",", 100), 101},
    };
    for (const auto& c : cases)
    {
        std::string dir = ScratchDir("memory/peak");
        WriteBytes(dir + "/in.xml", std::string(kProlog) + "<DataField name=\"A\"><FieldBlock row_width=\"" + c.width +
                                        "\">" + c.text + "</FieldBlock></DataField></SVF_Plus_Data>");
        RODAzivUzirAdovIzozari handler;
        ASSERT_EQ(0, handler.InitSvfPlusDataFile("in.xml", dir.c_str(), "read"));
        StartCounting();
        ASSERT_EQ(0, handler.Read()) << c.what;
        long long peak = Peak();
        StartCounting();
        {
            SVFPlusData compact(*handler.GetSVFPlusData());
            long long model = Live();
            long long bound = model + 64 * c.rows + (long long)c.text.size() + (16 << 20);
            EXPECT_LE(peak, bound) << c.what << ": model " << model << ", rows " << c.rows;
        }
        StopCounting();
    }
}

namespace
{
const std::string kDocument = std::string(kProlog) +
                              "<Comment>memory</Comment><Other a=\"1\"/>"
                              "<DataField name=\"A\" checksum=\"0x12ab\"><FieldBlock row_width=\"16\">0x1234,0x5678,(AB*2)"
                              "</FieldBlock><FieldBlock row_width=\"4096\">0x" + Repeat("C3", 512) + ",(00*256+FF*256)</FieldBlock>"
                              "</DataField><DataField name=\"B\"/></SVF_Plus_Data>";

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
                Disarm();
                ADD_FAILURE() << what << ": an exception left the library, allocation " << at;
            }
            Disarm();
            EXPECT_EQ(0, Live()) << what << ": bytes left in use, allocation " << at;
            StopCounting();
            if (Refused() == 0)
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
    SKIP_WITHOUT_COUNTING();
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
        Disarm();
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
        Disarm();
        return result < 0 || handler.GetWriteError() != 0 || sameAsRead("out.xml");
    });
    RefuseEachAllocation("save", [&](long long at, bool later) {
        WriteBytes(saved, "old text");
        Arm(at, later);
        int result = SaveSVFPlusData(model, saved.c_str(), at % 2 == 0, nullptr);
        Disarm();
        return result < 0 ? ReadBytes(saved) == "old text" : sameAsRead("saved.xml");
    });
}
