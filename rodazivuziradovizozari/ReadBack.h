// What a data file keeps of a model: how Read gives back, part by part, the document that
// Write writes, for a caller that compares a model with a file of it without writing one
// (the tool's `diff` and `convert --verify` do). Besides these, what the check before
// saving refuses (CheckSVFPlusData, SafeSave.h) does not come back as written at all.
// docs/saving.md says it in words.
#ifndef RIZEROZ_READBACK_H
#define RIZEROZ_READBACK_H

#include "RizErozExport.h"
#include "SVFPlusData.h"

class ErrorHandler;

// The version or a field's name, written as an attribute: a null text comes back as the
// empty text; any other as it is. Returns the text that comes back.
RIZEROZ_API const char* SVFReadBackAttribute(const char* text);

// The comment: an empty one comes back as none (null); any other as it is but for its
// line ends (SVFReadBackLineEnds). Returns the comment that comes back, before that.
RIZEROZ_API const char* SVFReadBackComment(const char* comment);

// The line ends of the `length` bytes at `text` as they come back from a file that Write
// wrote on this system, in place; returns the new length (never more). The reader takes
// each CR LF pair, and each CR alone, as one line feed (util_XMLLineEnds); on Windows,
// where Write writes in text mode and every line feed becomes CR LF, each CR and each line
// feed of the text comes back as one line feed.
RIZEROZ_API size_t SVFReadBackLineEnds(char* text, size_t length);

// Block `block` of `field` comes back as more rows of the block before it when both have
// one row width: true then (false for a field's first block).
RIZEROZ_API bool SVFReadBackJoinsBlock(SVFDataField* field, int block);

// A block without rows comes back with one empty row: true for such a block.
RIZEROZ_API bool SVFReadBackAddsEmptyRow(SVFDataField::DataBlock* block);

// The bytes of `row`, of a block `width` bits wide, that come back: all of them, unless
// the row is written as an expression (with `expressions`, where its expression is the
// shorter) and holds more than the width holds ((width + 7) / 8 bytes, none for a width
// of 0 or less): then that many, the row's first. SVF_ERR_NO_MEMORY when memory for the
// expression's text cannot be had now.
RIZEROZ_API long long SVFReadBackRowSize(UtByteBuffer* row, int width, bool expressions);

// The bytes a row `width` bits wide holds: (width + 7) / 8, none for a width of 0 or less.
// A row written as an expression reads back no more than this.
RIZEROZ_API long long SVFRowBytes(int width);

// The row the reader makes of the row expression `expression` (docs/expressions.md) in a
// block `width` bits wide: the expression's first bytes, at most as many as the width
// holds (none for a width of 0 or less); their number goes to *kept, and at most
// `capacity` of them to `row` (null with capacity 0 only measures). Returns how many bytes
// the expression stands for, which may be more or fewer than the row keeps; when it does
// not evaluate, its negative code, reported on `errors` (may be null) with the sentence
// "\"EXPRESSION\" does not evaluate: WHY".
RIZEROZ_API long long SVFEvaluateRow(const char* expression, int width, unsigned char* row, size_t capacity,
                                     long long* kept, ErrorHandler* errors);

#endif
