// Text handled many bytes at a time: the hexadecimal digit pairs of rows, read and
// written, and the line feeds the parser counts. Internal to the library (not installed):
// the reader, the writer, the parser and the fuzz targets call them.
//
// Each operation has a plain path, one byte at a time, and a vector path that handles 16
// bytes at once where the processor has SSE2 (UtVectors.h). Both give the same result for
// every input; the plain ones are declared here too so that the two can be compared.
#ifndef RIZEROZ_UTFASTTEXT_H
#define RIZEROZ_UTFASTTEXT_H

#include <stddef.h>

#include "UtUtility.h"

// The vector paths of util_DecodeHexRun and util_EncodeHexLines are declared, exported, in
// UtUtility.h; here are their plain paths.
size_t util_DecodeHexRunPlain(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* used);

size_t util_EncodeHexLinesPlain(const unsigned char* bytes, size_t count, size_t perLine, const char* lineBreak,
                                size_t breakLength, char* out);

// Number of line feeds in the `length` characters at `text`; when there is one, *last
// is the index of the last.
size_t util_CountLineFeeds(const char* text, size_t length, size_t* last);
size_t util_CountLineFeedsPlain(const char* text, size_t length, size_t* last);

#endif
