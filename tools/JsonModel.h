// The data model as JSON, for the rizeroz tool (docs/cli.md describes the shape):
//
//   {"version": "2.1", "comment": "text" or null,
//    "fields": [{"name": "FIELD_A", "checksum": 6699,
//                "blocks": [{"row_width": 16, "rows": ["1234", "5678"]}]}]}
//
// Rows are hexadecimal digit pairs without "0x", upper case on output, either case on
// input. This file needs nlohmann-json and the library, nothing of the command line, so
// that it can be compiled into a fuzz target on its own.
#ifndef RIZEROZ_TOOLS_JSONMODEL_H
#define RIZEROZ_TOOLS_JSONMODEL_H

#include <string>

#include "SVFPlusData.h"
#include "UtByteBuffer.h"

// Deepest nesting of arrays and objects a JSON text may have; the shape needs 6.
enum { JSON_MODEL_MAX_DEPTH = 32 };

// Reads a JSON text of the shape above into `model`, which should be a new, empty model.
// Returns 0 on success. On failure returns -1, leaves `model` as it was, and sets
// `error` to one sentence without the file name: it starts with "line L, column C: "
// when the text is malformed at a known place, else it names the member at fault
// ("fields[0].checksum must be ...").
int JsonToModel(const std::string& text, SVFPlusData& model, std::string& error);

// The JSON text of `model` (null gives "null"), indented by two spaces, keys in the
// order of the shape, ending with a line feed. Bytes of the model's texts that are not
// UTF-8 are given as U+FFFD.
std::string ModelToJson(SVFPlusData* model);

// Upper-case hexadecimal digits of a row's bytes, without "0x"; empty for a null row.
std::string RowToHex(UtByteBuffer* row);

#endif
