// Comparing two models, for `rizeroz diff` and for the check that `convert` makes after
// writing: each model is seen through a view (what a data file carries of it, or the
// model as it is) that points into the model's own rows, and the views are compared
// member by member, every difference told to a sink.
#ifndef RIZEROZ_TOOLS_MODELCOMPARE_H
#define RIZEROZ_TOOLS_MODELCOMPARE_H

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "ModelRows.h"
#include "SVFPlusData.h"

struct RowView
{
    const unsigned char* bytes;   // null for an empty row
    unsigned int nSize;
};

struct BlockView
{
    int nRowWidth;
    std::vector<RowView> rows;
};

struct FieldView
{
    const char* name;   // null for none
    unsigned int nChecksum;
    std::vector<BlockView> blocks;
};

// A model seen for comparison. The views point into the model, which must outlive them;
// a view is filled in place and never copied.
struct ModelView
{
    const char* version;   // null for none
    const char* comment;   // null for none
    std::vector<FieldView> fields;
    std::string lineFeedComment;         // the comment with its line ends as a data file gives them back
    std::deque<std::string> rowCopies;   // rows not kept in one piece, copied
};

enum ViewKind
{
    // The model as a data file gives it back: a null version or field name is an empty
    // text; an empty comment is none, and its line ends are line feeds; a block without
    // rows has one empty row; consecutive blocks of one width are one block.
    VIEW_CARRIED,
    // The model as it is.
    VIEW_EXACT
};

// What `diff` shows of two rows that differ: up to ROW_EXCERPT_BYTES bytes of each, from
// the same byte of both.
enum
{
    ROW_EXCERPT_BYTES = 32
};
struct RowExcerpt
{
    long long nFrom = 0;      // the first byte shown, from 0
    int nCount[2] = {0, 0};   // bytes shown of each row (fewer where a row ends)
    unsigned char bytes[2][ROW_EXCERPT_BYTES] = {};
};

// One difference between a first and a second model.
struct Difference
{
    enum Kind
    {
        VERSION,
        COMMENT,
        FIELD_ORDER,        // the fields both have stand in another order
        FIELD_ONLY_FIRST,   // a field of the first model has no partner in the second
        FIELD_ONLY_SECOND,
        FIELD_NAME,   // fields paired by place have other names
        CHECKSUM,
        BLOCK_COUNT,
        ROW_WIDTH,
        ROW_COUNT,
        ROW   // the rows differ in length, in a byte, or both
    };
    Difference() = default;
    Difference(Kind what, const char* name, int index) : kind(what), field(name), nField(index) {}

    Kind kind = VERSION;
    const char* field = nullptr;   // the field's name (the first model's, else the second's)
    int nField = -1;               // its index (in the first model, else in the second), or -1
    int nBlock = -1;               // -1 where no block is concerned
    int nRow = -1;                 // -1 where no row is concerned
    long long first = 0;           // checksums, counts, widths, row lengths
    long long second = 0;
    long long nOffset = -1;                     // ROW: the first byte that differs within both rows, or -1
    int nByte[2] = {0, 0};                      // ROW: the two bytes at nOffset
    long long nBits = 0;                        // ROW: the bits that differ (RowDifference::nBits)
    RowExcerpt excerpt;                         // ROW: the bytes about the first that differs
    const char* text[2] = {nullptr, nullptr};   // VERSION, COMMENT, FIELD_NAME: the two texts (null for none)
    std::vector<const char*> order[2];          // FIELD_ORDER: the paired fields' names in each model's order
};

class DifferenceSink
{
public:
    virtual ~DifferenceSink() {}
    virtual void Add(const Difference& difference) = 0;
};

// Two rows found to differ before the comparison, at a place of the first model.
struct RowDifference
{
    int nField;
    int nBlock;
    int nRow;
    long long nLength[2];
    long long nOffset;   // the first byte that differs within both rows, or -1
    int nByte[2];
    // The bits that differ: in the bytes both rows have, and all 8 of each byte only one
    // row has.
    long long nBits;
    // The bytes from 8 before the first that differs (or where the shorter row ends), or
    // from the first when both rows fit ROW_EXCERPT_BYTES.
    RowExcerpt excerpt;
};

// For each name of `first`, the index of its partner in `second` or -1: the first field
// of a name with the first of that name, the second with the second, and so on.
std::vector<int> PairByName(const std::vector<const char*>& first, const std::vector<const char*>& second);

// A difference as `convert` states it after reading back what it wrote (the first model
// is the one written): "field 1 \"A\", block 0, row 2 holds 1 byte instead of the 4 written".
std::string DescribeReadBack(const Difference& difference);

// Comparing a model while it is read (the second) with a model in memory (the first),
// row by row: each row read is compared with its partner as soon as it is complete and
// is then let go, so that a comparison of two files holds one model and the bare frame of
// the other. The differences are told in this order: version, comment, the order of the
// fields, then field by field in the first model's order (its checksum, number of blocks,
// and block by block the row width, the number of rows and the rows), then the fields
// only the second model has.
class RowComparison : public RowObserver
{
public:
    // `first` must outlive the comparison. Fields are paired by name (`pairByName`, as
    // PairByName pairs them) or by place, blocks and rows by place.
    RowComparison(SVFPlusData* first, ViewKind kind, bool pairByName);

    // Row `row` of block `block` of field `field` (all from 0) of `second` is complete, and
    // stands there in `second`'s view too: true of a data file read by the handler, which
    // makes no block without rows and no two neighbouring blocks of one width, and of a
    // model compared as it is. The row is compared and emptied.
    void Row(SVFPlusData* second, int field, int block, int row, UtByteBuffer* bytes) override;
    // Once `second` is read whole: tells `sink` every difference, in the order above.
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
