// What a data file can carry of a model, for the check that `convert` makes after
// writing: the model it meant to write and the model it reads back are both brought to
// the form reading gives, and then compared member by member.
#ifndef RIZEROZ_TOOLS_MODELCOMPARE_H
#define RIZEROZ_TOOLS_MODELCOMPARE_H

#include <string>
#include <vector>

#include "SVFPlusData.h"

struct CarriedBlock
{
    int nRowWidth;
    std::vector<std::string> rows;   // the bytes of each row
};

struct CarriedField
{
    std::string name;
    unsigned int nChecksum;
    std::vector<CarriedBlock> blocks;
};

struct CarriedModel
{
    std::string version;
    bool bHasComment;
    std::string comment;
    std::vector<CarriedField> fields;
};

// The model as a data file gives it back: a null version or field name is an empty
// text; an empty comment is none, and its line ends are line feeds; a block without rows
// has one empty row; consecutive blocks of one width are one block.
CarriedModel CarriedByDataFile(SVFPlusData* model);

// The first difference between the two, as a phrase ("field 1 \"A\", block 0, row 2
// differs"), or the empty text when they are the same.
std::string FirstDifference(const CarriedModel& expected, const CarriedModel& actual);

// The writer puts texts out as they are. Returns false, with a phrase in `problem`,
// when a text of `model` would make the document malformed XML or would not read back
// as written: '<' anywhere, a '&' that begins neither one of the five predefined
// entities nor a character reference, '"' in an attribute, "]]>" in the comment, and
// control characters (line ends and tabs are allowed in the comment, tabs in attributes).
bool CanWriteTexts(SVFPlusData* model, std::string& problem);

#endif
