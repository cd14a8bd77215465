// Text handled many bytes at a time: the hexadecimal digit pairs of rows, read and
// written, the line feeds the parser counts, the check of UTF-8 and the runs of JSON texts. Internal to the
// library (not installed): the reader, the writer, the parser, the JSON reader and writer
// and the fuzz targets call them.
//
// Each operation has a plain path, one byte at a time, and a vector path that handles 16
// bytes at once where the processor has SSE2 (UtVectors.h). Both give the same result for
// every input; the plain ones are declared here too so that the two can be compared.
#ifndef RIZEROZ_UTFASTTEXT_H
#define RIZEROZ_UTFASTTEXT_H

#include <stddef.h>
#include <stdint.h>

#include "UtUtility.h"

// Decodes pairs of hexadecimal digits ('0'-'9', 'A'-'F', 'a'-'f') from the `length`
// characters at `text`, one byte per pair, high digit first, into at most `room` bytes of
// `out`, passing over white space (space, tab, line feed, carriage return) that stands
// between pairs, as in a row the writer broke over lines. Stops before the first character
// that is neither part of a whole pair nor white space, or when the room is full; *used
// is the number of characters passed, white space after the last pair included. Returns
// the number of bytes written; bytes of `out` after them may change.
size_t util_DecodeHexRun(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* used);

// Rows as hexadecimal text: the one encoder of rows, which the writer and the JSON writer
// use (the tool has a row's JSON text from WriteJsonRow, SVFJson.h). Writes two upper-case
// digit characters per byte of the `count` bytes at `bytes`, in lines: after every
// `perLine` bytes (after the last ones too when `count` is a multiple of `perLine`) come
// the `breakLength` characters of `lineBreak`. Returns the number of characters written,
// 2 x `count` + `breakLength` x (`count` / `perLine`); `perLine` is above 0.
size_t util_EncodeHexLines(const unsigned char* bytes, size_t count, size_t perLine, const char* lineBreak,
                           size_t breakLength, char* out);

// The plain paths of both.
size_t util_DecodeHexRunPlain(const unsigned char* text, size_t length, unsigned char* out, size_t room, size_t* used);

size_t util_EncodeHexLinesPlain(const unsigned char* bytes, size_t count, size_t perLine, const char* lineBreak,
                                size_t breakLength, char* out);

// Number of line feeds in the `length` characters at `text`; when there is one, *last
// is the index of the last.
size_t util_CountLineFeeds(const char* text, size_t length, size_t* last);
size_t util_CountLineFeedsPlain(const char* text, size_t length, size_t* last);
// The same, and *nul the index of the first NUL byte (`length` when there is none): one
// pass for both.
size_t util_CountLineFeedsAndNul(const char* text, size_t length, size_t* last, size_t* nul);
size_t util_CountLineFeedsAndNulPlain(const char* text, size_t length, size_t* last, size_t* nul);

// The number of the `length` bytes at `text` that are well-formed UTF-8 from the start:
// the shortest form of code points up to U+10FFFF that are no surrogates. `length` when
// all of them are; else the index of the first byte that begins no such sequence, or
// begins one that the bytes after it break or that `length` cuts short. The one rule of
// UTF-8 in the library: the reader's warnings, the JSON reader (texts that are not UTF-8
// are refused) and the JSON writer (such bytes are written as U+FFFD) all use it.
size_t util_Utf8Prefix(const char* text, size_t length);

// The number of the `length` characters at `text` that a JSON text holds as they are,
// from the start: up to the first quote, backslash or control character (below 0x20).
// The JSON reader copies and takes rows in such runs, the JSON writer escapes between them.
size_t util_JsonTextRun(const char* text, size_t length);
size_t util_JsonTextRunPlain(const char* text, size_t length);

// The room that keeps the rows of a field block's text of `length` characters in one run
// of memory, which a binding can then show where they lie: a row's byte takes two digits
// of the text at least, so half the text. A text of mostly other characters could ask for
// much more than its rows take, so no block asks for more than 64 MB at once (a larger one
// takes memory as it comes).
inline size_t util_RowRoomOfText(size_t length)
{
    const size_t kMostRoom = (size_t)64 << 20;
    return length / 2 < kMostRoom ? length / 2 : kMostRoom;
}

// Where a reader's buffer taking in a document from `offset` on begins in the memory at
// `block`: so that each byte lies at an address with the same remainder by kReadAlign as
// its offset, and each read lands where the system's copy from its page cache is aligned
// with its source. On some processors a copy whose target lies a few bytes past its
// source's place in a page takes four times as long (64 MB: 28 ms against 7). The block
// needs kReadAlign bytes beyond what the buffer holds.
const size_t kReadAlign = 64;
inline char* util_ReadAligned(char* block, unsigned long long offset)
{
    return block + (size_t)((offset - (uintptr_t)block) % kReadAlign);
}

#endif
