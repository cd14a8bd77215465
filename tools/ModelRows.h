// A row's bytes as one run, for the tool's readers of rows (JSON, dump, comparisons).
#ifndef RIZEROZ_TOOLS_MODELROWS_H
#define RIZEROZ_TOOLS_MODELROWS_H

#include <string>

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

#endif
