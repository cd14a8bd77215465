// The table of text kernels (UtSimd.h): which levels this build has, which of them the
// processor runs, and the one chosen for the process.
#include "UtSimd.h"

#include <atomic>
#include <stdlib.h>
#include <string.h>

#include "UtFastText.h"
#include "UtVectors.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <cpuid.h>
#define RIZEROZ_CPUID 1
#endif

namespace
{
const UtTextKernels kPlain = {UtSimdLevel::Plain, util_DecodeHexRunPlain, util_CountLineFeedsAndNulPlain};
#if defined(RIZEROZ_SSE2) && defined(RIZEROZ_KERNELS_SSE2)
const UtTextKernels kSse2 = {UtSimdLevel::SSE2, util_DecodeHexRunSse2, util_CountLineFeedsAndNulSse2};
#endif
#if defined(RIZEROZ_KERNELS_SSSE3)
const UtTextKernels kSsse3 = {UtSimdLevel::SSSE3, util_DecodeHexRunSsse3, util_CountLineFeedsAndNulSse2};
#endif
#if defined(RIZEROZ_KERNELS_AVX2)
const UtTextKernels kAvx2 = {UtSimdLevel::AVX2, util_DecodeHexRunAvx2, util_CountLineFeedsAndNulAvx2};
#endif

const char* const kNames[] = {"plain", "sse2", "ssse3", "avx2", "avx512"};
const int kLevels = (int)(sizeof kNames / sizeof kNames[0]);

#if defined(RIZEROZ_CPUID)
// The system saves the 32-byte registers on a switch (OSXSAVE, and XCR0's SSE and AVX bits).
bool SystemSavesWideRegisters(unsigned int ecx)
{
    const unsigned int osxsave = 1u << 27, avx = 1u << 28;
    if ((ecx & osxsave) == 0 || (ecx & avx) == 0)
        return false;
    unsigned int low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (low & 6u) == 6u;
}

// AVX2 with the bit instructions (BMI1, BMI2, POPCNT) that its kernels are compiled with.
bool RunsAvx2(unsigned int ecx)
{
    unsigned int a = 0, b = 0, c = 0, d = 0;
    const unsigned int popcnt = 1u << 23;
    if ((ecx & popcnt) == 0 || !SystemSavesWideRegisters(ecx) || !__get_cpuid_count(7, 0, &a, &b, &c, &d))
        return false;
    const unsigned int bmi1 = 1u << 3, avx2 = 1u << 5, bmi2 = 1u << 8;
    return (b & (bmi1 | avx2 | bmi2)) == (bmi1 | avx2 | bmi2);
}
#endif

// Whether the processor runs the instructions of `level`.
bool Runs(UtSimdLevel level)
{
    if (level == UtSimdLevel::Plain)
        return true;
#if defined(RIZEROZ_CPUID)
    unsigned int a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    const unsigned int sse2 = 1u << 26, ssse3 = 1u << 9;
    if ((d & sse2) == 0)
        return false;
    if (level == UtSimdLevel::SSE2)
        return true;
    if ((c & ssse3) == 0)
        return false;
    return level == UtSimdLevel::SSSE3 || (level == UtSimdLevel::AVX2 && RunsAvx2(c));
#else
    // WebAssembly: the module is built for its vector instructions throughout.
    return true;
#endif
}

const UtTextKernels* Built(UtSimdLevel level)
{
    switch (level)
    {
    case UtSimdLevel::Plain:
        return &kPlain;
#if defined(RIZEROZ_SSE2) && defined(RIZEROZ_KERNELS_SSE2)
    case UtSimdLevel::SSE2:
        return &kSse2;
#endif
#if defined(RIZEROZ_KERNELS_SSSE3)
    case UtSimdLevel::SSSE3:
        return &kSsse3;
#endif
#if defined(RIZEROZ_KERNELS_AVX2)
    case UtSimdLevel::AVX2:
        return &kAvx2;
#endif
    default:
        return nullptr;
    }
}

// The best level at or below the one RIZEROZ_SIMD names (the highest when it names none).
const UtTextKernels* Choose()
{
    int wanted = kLevels - 1;
    if (const char* name = getenv("RIZEROZ_SIMD"))
    {
        for (int level = 0; level < kLevels; ++level)
            if (strcmp(name, kNames[level]) == 0)
                wanted = level;
    }
    for (int level = wanted; level > 0; --level)
        if (const UtTextKernels* kernels = util_TextKernelsAt((UtSimdLevel)level))
            return kernels;
    return &kPlain;
}

// Chosen once; every later call reads the same pointer. Two threads that both find it
// unset choose the same table.
std::atomic<const UtTextKernels*> s_chosen{nullptr};
}

const UtTextKernels& util_TextKernels()
{
    const UtTextKernels* kernels = s_chosen.load(std::memory_order_acquire);
    if (kernels == nullptr)
    {
        kernels = Choose();
        s_chosen.store(kernels, std::memory_order_release);
    }
    return *kernels;
}

const UtTextKernels* util_TextKernelsAt(UtSimdLevel level)
{
    const UtTextKernels* kernels = Built(level);
    return kernels != nullptr && Runs(level) ? kernels : nullptr;
}

const char* util_SimdLevelName(UtSimdLevel level)
{
    return (int)level < kLevels ? kNames[(int)level] : "";
}

size_t util_SimdLevels(UtSimdLevel* levels, size_t room)
{
    size_t count = 0;
    for (int level = 0; level < kLevels; ++level)
        if (util_TextKernelsAt((UtSimdLevel)level) != nullptr && count < room)
            levels[count++] = (UtSimdLevel)level;
    return count;
}
