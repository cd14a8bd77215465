// Comparing a model while it is read (the second) with a model in memory (the first),
// row by row: each row read is compared with its partner as soon as it is complete and
// is then let go, so that a comparison of two files holds one model and the bare frame of
// the other. Used by `diff` and by the check `convert` makes of what it wrote.
#ifndef RIZEROZ_TOOLS_ROWCOMPARISON_H
#define RIZEROZ_TOOLS_ROWCOMPARISON_H

#include <map>
#include <string>
#include <vector>

#include "ModelCompare.h"

class RowComparison
{
public:
    // `first` must outlive the comparison. Rows are paired as CompareModels pairs them:
    // fields by name (`pairByName`) or by place, blocks and rows by place.
    RowComparison(SVFPlusData* first, ViewKind kind, bool pairByName);

    // Row `row` of block `block` of field `field` (all from 0) of `second` is complete, and
    // stands there in `second`'s view too: true of a data file read by the handler, which
    // makes no block without rows and no two neighbouring blocks of one width, and of a
    // model compared as it is. The row is compared and emptied.
    void Check(SVFPlusData* second, int field, int block, int row, UtByteBuffer* bytes);
    // Once `second` is read whole: tells `sink` every difference, as CompareModels does.
    // Without any row checked (`second` has no rows, or was read without the comparison)
    // the rows of the two models are compared here.
    void Finish(SVFPlusData* second, bool textsAsJson, DifferenceSink& sink);

private:
    int PartnerOf(SVFPlusData* second, int field);
    std::string NameKey(const char* name) const;

    ModelView m_first;
    ModelView m_second;   // made by Finish; the differences it tells point into both views
    ViewKind m_kind;
    bool m_bPairByName;
    std::map<std::string, std::vector<int>> m_fieldsNamed;   // the first model's fields of each name
    std::map<std::string, size_t> m_namesSeen;               // how often the second model gave each name so far
    std::vector<int> m_partners;         // for each field of the second model met so far: its partner, or -1
    std::vector<RowDifference> m_rows;   // the rows that differ
    bool m_bChecked = false;             // a row was checked
};

#endif
