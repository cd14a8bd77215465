// The vector levels of the text kernels, and the one table of kernels a process uses.
// Internal to the library: the hexadecimal decoder and the line-feed count (UtFastText.h)
// call through the table; the tests and the fuzz targets compare every level with the
// plain one.
//
// Each level is a set of functions compiled for that level's instructions, taken only on
// a processor (and a system that saves its registers) that runs them. The table is chosen
// at the first call from what the processor says (CPUID) and never changes afterwards;
// the environment variable RIZEROZ_SIMD = plain|sse2|ssse3|avx2|avx512 chooses a lower
// level for tests and benchmarks (a level this processor or this build lacks falls back to
// the best one below it). Every level gives the plain level's result for every input.
#ifndef RIZEROZ_UTSIMD_H
#define RIZEROZ_UTSIMD_H

#include <stddef.h>

enum class UtSimdLevel : unsigned char
{
    Plain,
    SSE2,
    SSSE3,
    AVX2,
    AVX512
};

// The functions of one level; their contracts are those of UtFastText.h.
struct UtTextKernels
{
    UtSimdLevel level;
    size_t (*decodeHexRun)(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* used);
    size_t (*countLineFeedsAndNul)(const char* text, size_t length, size_t* last, size_t* nul);
};

// The kernels this process uses: the best level the processor runs, or the one
// RIZEROZ_SIMD names when that is lower.
const UtTextKernels& util_TextKernels();

// The kernels of `level`; null when this build or this processor has no such level.
const UtTextKernels* util_TextKernelsAt(UtSimdLevel level);

// "plain", "sse2", "ssse3", "avx2" or "avx512".
const char* util_SimdLevelName(UtSimdLevel level);

// The levels built into this library for this kind of processor, from the lowest.
size_t util_SimdLevels(UtSimdLevel* levels, size_t room);

// The kernels of each level, where this build has them: the plain decoder (UtFastText.h),
// the vector levels' decoders (UtKernels*.cpp) and the line-feed counts.
size_t util_DecodeHexRunPlain(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* used);
size_t util_DecodeHexRunSse2(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* used);
size_t util_DecodeHexRunSsse3(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* used);
size_t util_DecodeHexRunAvx2(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* used);
size_t util_CountLineFeedsAndNulSse2(const char* text, size_t length, size_t* last, size_t* nul);
size_t util_CountLineFeedsAndNulAvx2(const char* text, size_t length, size_t* last, size_t* nul);

#endif
