// The data model as JSON, the exchange form of the rizeroz tool (docs/cli.md, "The JSON
// shape"):
//
//   {"version": "2.1", "comment": "text" or null,
//    "fields": [{"name": "FIELD_A", "checksum": 6699,
//                "blocks": [{"row_width": 16, "rows": ["1234", "5678"]}]}]}
//
// Rows are hexadecimal digit pairs without "0x", upper case on output, either case on
// input. Both directions stream: the reader takes the text from a byte source
// (UtByteSource.h) through a buffer of fixed size and builds the model as the text comes,
// with no document tree; the writer walks the model and hands the text to a byte sink
// (UtByteSink.h) in pieces of about 1 MB. A JSON document carries everything a model holds
// (but texts that are not UTF-8, whose bytes are written as U+FFFD).
//
//     UtFileSource file;
//     SVFPlusData model;
//     ErrorHandler errors;
//     if (file.Open("masks.json") != 0 || ReadJsonSVFPlusData(file, "masks.json", model, &errors) < 0) ...
//     UtMemorySink text;
//     SVFWriteSink(&model, text, "<memory>", SVF_FORMAT_JSON, false, &errors);   // SVFWriter.h
#ifndef RIZEROZ_SVFJSON_H
#define RIZEROZ_SVFJSON_H

#include <stddef.h>

#include "ErrorHandler.h"
#include "RizErozExport.h"
#include "SVFPlusData.h"
#include "SVFReadTypes.h"
#include "UtByteSource.h"

class UtByteSink;

// Deepest nesting of arrays and objects a JSON text may have; the shape needs 6.
enum
{
    SVF_JSON_MAX_DEPTH = 32
};

// Which form a text is in, as every reader of the library's users decides it when it is
// not told: by its name where there is one, else by its first bytes.
enum SVFTextForm
{
    SVF_FORM_UNKNOWN = 0,     // not yet known: the bytes so far are all white space
    SVF_FORM_DATA_FILE = 1,   // a data file (XML)
    SVF_FORM_JSON = 2         // the JSON form of a model
};
// With `name` (a path or a file's name, not null): JSON when it ends in ".json" in any
// letter case, else a data file; the bytes are not looked at. Without (null): by the
// `count` bytes at `bytes`, the text's start: JSON when its first byte that is no white
// space (space, tab, line feed, carriage return; JSON's, which XML's is too), after a UTF-8
// byte order mark, is '{', else a data file. Bytes of white space only, and none at all,
// are a data file (which the reader refuses as having no root element), unless `more`
// says that more of the text is still to come: then the form is SVF_FORM_UNKNOWN.
RIZEROZ_API int SVFTextFormOf(const char* name, const void* bytes, size_t count, bool more);

// Reads the JSON text that `source` gives into `model`, which must be new and empty. 0 on
// success. On failure `model` is emptied again and one report is made on `errors` (may be
// null), named `name` and placed at the line and column (from 1, columns in bytes) where
// the fault stands, as the data file reader's reports are:
//   SVF_ERR_JSON_SYNTAX  malformed JSON ("the JSON text is malformed (Invalid value) at
//                        "t }""), nesting deeper than SVF_JSON_MAX_DEPTH, a member given
//                        twice in one object, a text that is not UTF-8
//   SVF_ERR_JSON_SHAPE   a member missing, unknown or of the wrong kind, or a text holding
//                        a NUL character ("fields[0].checksum must be a whole number from 0
//                        to 65535"), just after the value or key at fault
//   XML_ERR_TOO_LARGE, SVF_ERR_ROW_TOO_LARGE
//                        a text longer than `limits->nElementText` bytes, a row of more than
//                        `limits->nRow` bytes (null limits, or 0 fields: the defaults), at
//                        the byte past the limit
//   XML_ERR_READ         the source failed: its errno and the byte offset where it failed
//   SVF_ERR_NO_MEMORY    memory ran out (no report when there is no memory for one)
// A text with several faults is read to its end: malformed JSON, too deep a nesting, a
// member given twice and a text that is not UTF-8 are reported first, then the first fault
// of the shape in the text's order. `hook` (may be null) is told of each row as it is
// complete (it may empty the row) and of the bytes read after each 256 KiB, of the
// source's size (or of what has been read, when the size is not known).
RIZEROZ_API int ReadJsonSVFPlusData(UtByteSource& source, const char* name, SVFPlusData& model, ErrorHandler* errors,
                                    SVFReadHook* hook = nullptr, const SVFReadLimits* limits = nullptr);

// The same for the file `path` (UTF-8; '\\' also separates folders), which is named by
// `path` in the report: XML_ERR_OPEN with the system's reason when it does not open.
RIZEROZ_API int ReadJsonSVFPlusDataFile(const char* path, SVFPlusData& model, ErrorHandler* errors,
                                        SVFReadHook* hook = nullptr, const SVFReadLimits* limits = nullptr);

// The JSON text of a model is written by the JSON writer (SVFWriter.h, SVF_FORMAT_JSON) to
// any sink: indented by two spaces, members in the order of the shape, every member
// written, a line feed at the end, on every system; SVFWriteSink and SVFWriteFile write it
// to a caller's sink and to a file (safely or in place).

// Writes `text` as the writer writes a text of the model: in quotes, escaped as JSON needs,
// every byte that is no part of a UTF-8 sequence as U+FFFD; null as null. 0, or the errno
// of the sink's failure.
RIZEROZ_API int WriteJsonString(const char* text, UtByteSink& sink);

// Writes the `count` bytes at `bytes` (null when `count` is 0) as the writer writes a row
// of the model: in quotes, two upper-case hexadecimal digits per byte and nothing else
// ("" for an empty row). 0, or the errno of the sink's failure.
RIZEROZ_API int WriteJsonRow(const unsigned char* bytes, size_t count, UtByteSink& sink);

#endif
