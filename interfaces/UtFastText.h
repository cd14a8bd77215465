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

// Decodes pairs of hexadecimal digits ('0'-'9', 'A'-'F', 'a'-'f') from the `length`
// characters at `text`, one byte per pair, high digit first, into at most `room` bytes of
// `out`, passing over white space (space, tab, line feed, carriage return) that stands
// between pairs, as in a row the writer broke over lines. Stops before the first character
// that is neither part of a whole pair nor white space, or when the room is full; *used
// is the number of characters passed, white space after the last pair included. Returns
// the number of bytes written; bytes of `out` after them may change.
size_t util_DecodeHexRun(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* used);
size_t util_DecodeHexRunPlain(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* used);

// Writes two upper-case digit characters per byte of the `count` bytes at `bytes`, in
// lines: after every `perLine` bytes (after the last ones too when `count` is a multiple
// of `perLine`) come the `breakLength` characters of `lineBreak`. Returns the number of characters written,
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
