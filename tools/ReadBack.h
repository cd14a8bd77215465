// The check `convert --verify` makes after writing: the file written is read back and compared with
// the model that was written. Each row read back is compared as soon as it is complete and
// its bytes are let go at once, so that the check holds little more than one model.
#ifndef RIZEROZ_TOOLS_READBACK_H
#define RIZEROZ_TOOLS_READBACK_H

#include <string>

#include "SVFPlusData.h"

// The data file at `readPath` (named `shown` in messages), read with the handler, must
// give `model` in what a data file carries (ModelCompare.h: VIEW_CARRIED). Returns the
// difference as a phrase, or "" when there is none.
std::string CheckWrittenDataFile(SVFPlusData* model, const std::string& readPath, const std::string& shown);

// The JSON file at `readPath` (named `shown`), read, must give `model` again exactly, its
// texts as JSON writes them. Returns the difference as a phrase, or "" when there is none.
std::string CheckWrittenJson(SVFPlusData* model, const std::string& readPath, const std::string& shown);

#endif
