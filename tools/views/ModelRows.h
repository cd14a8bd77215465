// Rows for the tool's readers of rows (JSON, dump, comparisons, convert): their bytes as
// one run, and rows told as they are read.
#ifndef RIZEROZ_TOOLS_MODELROWS_H
#define RIZEROZ_TOOLS_MODELROWS_H

#include <string>

#include "SVFPlusData.h"
#include "UtByteBuffer.h"

// The bytes of `row` (GetTotalSize() of them): the buffer's own where it keeps them in one
// piece, as the rows of a model do, else a copy in `scratch`. Null for an empty row.
inline const unsigned char* RowBytes(UtByteBuffer* row, std::string& scratch)
{
    if (row == nullptr || row->GetTotalSize() == 0)
        return nullptr;
    const unsigned char* bytes = row->GetData();
    if (bytes != nullptr)
        return bytes;
    scratch.resize(row->GetTotalSize());
    row->CopyData(0, &scratch[0], (int)scratch.size());
    return (const unsigned char*)scratch.data();
}

// Told of each row a reader reads (ToolReader) as soon as it is complete: row `row` of block
// `block` of field `field` (all from 0) of `model`, the model being read.
class RowObserver
{
public:
    virtual ~RowObserver() {}
    virtual void Row(SVFPlusData* model, int field, int block, int row, UtByteBuffer* bytes) = 0;
};

#endif
