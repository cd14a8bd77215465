// Text handled many bytes at a time: the hexadecimal digit pairs of rows, read and
// written, and the line feeds the parser counts. Internal to the library (not exported,
// not installed): the reader, the writer, the parser and the fuzz targets call them.
//
// Each operation has a plain path, one byte at a time, and a vector path that handles 16
// bytes at once where the processor has SSE2 (UtVectors.h). Both give the same result for
// every input; the plain ones are declared here too so that the two can be compared.
#ifndef RIZEROZ_UTFASTTEXT_H
#define RIZEROZ_UTFASTTEXT_H

#include <stddef.h>

// Decodes up to `pairs` pairs of hexadecimal digits ('0'-'9', 'A'-'F', 'a'-'f') from
// `text` into `out`, one byte per pair, high digit first, and stops before the first
// pair that is not two digits. Returns the number of bytes written. `text` must hold
// 2 x `pairs` characters and `out` room for `pairs` bytes; bytes of `out` after the
// ones written may change.
size_t util_DecodeHexPairs(const unsigned char* text, size_t pairs, unsigned char* out);
size_t util_DecodeHexPairsPlain(const unsigned char* text, size_t pairs, unsigned char* out);

// Writes two upper-case digit characters per byte of `bytes` to `out` (2 x `count`
// characters, no terminator).
void util_EncodeHexPairs(const unsigned char* bytes, size_t count, char* out);
void util_EncodeHexPairsPlain(const unsigned char* bytes, size_t count, char* out);

// Writes the digits of `count` bytes as util_EncodeHexPairs does, in lines: after every
// `perLine` bytes (after the last ones too when `count` is a multiple of `perLine`) come
// the `breakLength` characters of `lineBreak`. Returns the number of characters written,
// 2 x `count` + `breakLength` x (`count` / `perLine`); `perLine` is above 0.
size_t util_EncodeHexLines(const unsigned char* bytes, size_t count, size_t perLine, const char* lineBreak,
                           size_t breakLength, char* out);
size_t util_EncodeHexLinesPlain(const unsigned char* bytes, size_t count, size_t perLine, const char* lineBreak,
                                size_t breakLength, char* out);

// Number of line feeds in the `length` characters at `text`; when there is one, *last
// is the index of the last.
size_t util_CountLineFeeds(const char* text, size_t length, size_t* last);
size_t util_CountLineFeedsPlain(const char* text, size_t length, size_t* last);

#endif
