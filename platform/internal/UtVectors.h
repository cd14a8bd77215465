// SSE2, where the processor has it: always on x86_64, after asking the processor in a
// 32-bit x86 build (whose code may not assume it), never elsewhere. Internal to the
// library: the paths that handle 16 bytes at a time include this, and keep a plain path
// beside each for every other processor.
//
//   #if defined(RIZEROZ_SSE2)   the SSE2 intrinsics may be used, in functions marked
//                               RIZEROZ_SSE2_CODE, and taken when util_HaveSSE2() is true
#ifndef RIZEROZ_UTVECTORS_H
#define RIZEROZ_UTVECTORS_H

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define RIZEROZ_SSE2 1   // SSE2 is always there
#elif defined(__GNUC__) && defined(__i386__)
#define RIZEROZ_SSE2 2   // compiled for SSE2, taken after asking the processor
#endif

#if defined(RIZEROZ_SSE2)
#include <emmintrin.h>
#endif

// A 32-bit x86 caller may call with the stack aligned to 4 bytes only (a program built by
// Microsoft's compiler does), while a vector function spills its 16-byte registers to the
// stack with aligned moves: there each vector function realigns the stack it is given.
#if defined(__GNUC__) && defined(__i386__)
#define RIZEROZ_VECTOR_FRAME __attribute__((force_align_arg_pointer))
#else
#define RIZEROZ_VECTOR_FRAME
#endif

#if defined(RIZEROZ_SSE2) && RIZEROZ_SSE2 == 2
#define RIZEROZ_SSE2_CODE __attribute__((target("sse2"))) RIZEROZ_VECTOR_FRAME
#else
#define RIZEROZ_SSE2_CODE RIZEROZ_VECTOR_FRAME
#endif

// True when the SSE2 paths are taken on this processor.
inline bool util_HaveSSE2()
{
#if defined(RIZEROZ_SSE2) && RIZEROZ_SSE2 == 1
    return true;
#elif defined(RIZEROZ_SSE2)
    // The compiler's run-time library reads the processor's features at start-up.
    return __builtin_cpu_supports("sse2") != 0;
#else
    return false;
#endif
}

// Number of low bits of `bits` that are set, for a value that is not all ones.
inline unsigned int util_LowOnes(unsigned int bits)
{
#if defined(__GNUC__)
    return (unsigned int)__builtin_ctz(~bits);
#else
    unsigned int count = 0;
    for (; bits & 1u; bits >>= 1)
        ++count;
    return count;
#endif
}

#endif
