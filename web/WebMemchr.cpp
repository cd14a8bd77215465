// The viewer module's memchr, in place of the C library's. The reader spends much of its
// time looking for one byte in a long text ('<' after a field block's rows, ',' after a
// row, a quote, a line feed); emscripten's C library looks at four bytes a step, this
// looks at 64 with WebAssembly's vector instructions (the module is built with them).
// Defined here, it keeps the C library's from being linked.
#include <stddef.h>
#include <stdint.h>
#include <wasm_simd128.h>

extern "C" void* memchr(const void* source, int value, size_t count)
{
    const unsigned char* p = static_cast<const unsigned char*>(source);
    const unsigned char byte = (unsigned char)value;
    const v128_t wanted = wasm_i8x16_splat((int8_t)byte);
    // 64 bytes a step until a step holds the byte; the 16-byte steps then find where.
    for (; count >= 64; p += 64, count -= 64)
    {
        v128_t first =
            wasm_v128_or(wasm_i8x16_eq(wasm_v128_load(p), wanted), wasm_i8x16_eq(wasm_v128_load(p + 16), wanted));
        v128_t second =
            wasm_v128_or(wasm_i8x16_eq(wasm_v128_load(p + 32), wanted), wasm_i8x16_eq(wasm_v128_load(p + 48), wanted));
        if (wasm_v128_any_true(wasm_v128_or(first, second)))
            break;
    }
    for (; count >= 16; p += 16, count -= 16)
    {
        uint32_t found = wasm_i8x16_bitmask(wasm_i8x16_eq(wasm_v128_load(p), wanted));
        if (found != 0)
            return const_cast<unsigned char*>(p + __builtin_ctz(found));
    }
    for (; count > 0; ++p, --count)
    {
        if (*p == byte)
            return const_cast<unsigned char*>(p);
    }
    return nullptr;
}
