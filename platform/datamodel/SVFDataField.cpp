// SVFDataField and its field blocks (SVFDataField::DataBlock).
//
// A data field owns an ordered list of blocks; a block owns an ordered list of rows,
// each a growable UtByteBuffer so that no byte written to a row is ever dropped, even
// past the row's width. A row takes memory as its bytes arrive, whatever its width says.
// Copies are deep and whole: a copied row is a new buffer with the same bytes, and a copy
// that memory cannot hold whole leaves the target as it was.
#include "SVFPlusData.h"
#include "UtUtility.h"

#include <new>
#include <string.h>

namespace
{

// Makes room for one more pointer in an owned array of `slots` entries, doubling it.
// False when the allocation fails; the array is then unchanged.
template <typename T>
bool GrowSlots(T**& items, int count, int& slots)
{
    if (count < slots)
        return true;
    int grownSlots = slots > 0 ? slots * 2 : 4;
    T** grown = new (std::nothrow) T*[grownSlots];
    if (grown == 0)
        return false;
    for (int i = 0; i < count; ++i)
        grown[i] = items[i];
    delete[] items;
    items = grown;
    slots = grownSlots;
    return true;
}
}

// ---------------------------------------------------------------------------------
// SVFDataField::DataBlock

SVFDataField::DataBlock::DataBlock(int rowWidth)
    : m_nRowWidth(rowWidth), m_ppRows(0), m_nRowCount(0), m_nRowSlots(0)
{
}

SVFDataField::DataBlock::DataBlock(const DataBlock& other)
    : m_nRowWidth(other.m_nRowWidth), m_ppRows(0), m_nRowCount(0), m_nRowSlots(0)
{
    *this = other;
}

SVFDataField::DataBlock& SVFDataField::DataBlock::operator=(const DataBlock& other)
{
    if (this == &other)
        return *this;
    UtByteBuffer** rows = 0;
    int count = 0;
    if (other.m_nRowCount > 0)
    {
        rows = new (std::nothrow) UtByteBuffer*[other.m_nRowCount];
        if (rows == 0)
            return *this;
        for (; count < other.m_nRowCount; ++count)
        {
            UtByteBuffer* source = other.m_ppRows[count];
            rows[count] = new (std::nothrow) UtByteBuffer(*source);
            // A copied buffer that could not take the bytes is empty.
            if (rows[count] == 0 || rows[count]->GetTotalSize() != source->GetTotalSize())
            {
                while (count >= 0)
                    delete rows[count--];
                delete[] rows;
                return *this;
            }
        }
    }
    for (int i = 0; i < m_nRowCount; ++i)
        delete m_ppRows[i];
    delete[] m_ppRows;
    m_ppRows = rows;
    m_nRowCount = count;
    m_nRowSlots = other.m_nRowCount;
    m_nRowWidth = other.m_nRowWidth;
    return *this;
}

SVFDataField::DataBlock::~DataBlock()
{
    for (int i = 0; i < m_nRowCount; ++i)
        delete m_ppRows[i];
    delete[] m_ppRows;
}

int SVFDataField::DataBlock::GetNumberOfRows()
{
    return m_nRowCount;
}

UtByteBuffer* SVFDataField::DataBlock::GetRow(int row)
{
    if (row < 1 || row > m_nRowCount)
        return 0;
    return m_ppRows[row - 1];
}

UtByteBuffer* SVFDataField::DataBlock::AddRow()
{
    if (!GrowSlots(m_ppRows, m_nRowCount, m_nRowSlots))
        return 0;
    UtByteBuffer* row = new (std::nothrow) UtByteBuffer(0, true);
    if (row == 0)
        return 0;
    m_ppRows[m_nRowCount++] = row;
    return row;
}

// ---------------------------------------------------------------------------------
// SVFDataField

SVFDataField::SVFDataField()
    : m_nChecksum(0), m_pszFieldName(0), m_ppBlocks(0), m_nBlockCount(0), m_nBlockSlots(0)
{
}

SVFDataField::SVFDataField(const SVFDataField& other)
    : m_nChecksum(0), m_pszFieldName(0), m_ppBlocks(0), m_nBlockCount(0), m_nBlockSlots(0)
{
    *this = other;
}

SVFDataField& SVFDataField::operator=(const SVFDataField& other)
{
    if (this == &other)
        return *this;
    DataBlock** blocks = 0;
    int count = 0;
    bool whole = true;
    if (other.m_nBlockCount > 0)
    {
        blocks = new (std::nothrow) DataBlock*[other.m_nBlockCount];
        whole = blocks != 0;
        for (; whole && count < other.m_nBlockCount; ++count)
        {
            DataBlock* source = other.m_ppBlocks[count];
            blocks[count] = new (std::nothrow) DataBlock(*source);
            // A block copy that could not take the rows has none.
            whole = blocks[count] != 0 && blocks[count]->GetNumberOfRows() == source->GetNumberOfRows();
        }
    }
    char* name = whole ? util_CopyText(other.m_pszFieldName) : 0;
    if (!whole || (name == 0 && other.m_pszFieldName != 0))
    {
        for (int i = 0; i < count; ++i)
            delete blocks[i];
        delete[] blocks;
        return *this;
    }

    for (int i = 0; i < m_nBlockCount; ++i)
        delete m_ppBlocks[i];
    delete[] m_ppBlocks;
    delete[] m_pszFieldName;
    m_ppBlocks = blocks;
    m_nBlockCount = count;
    m_nBlockSlots = other.m_nBlockCount;
    m_pszFieldName = name;
    m_nChecksum = other.m_nChecksum;
    return *this;
}

SVFDataField::~SVFDataField()
{
    for (int i = 0; i < m_nBlockCount; ++i)
        delete m_ppBlocks[i];
    delete[] m_ppBlocks;
    delete[] m_pszFieldName;
}

void SVFDataField::SetFieldName(const char* name)
{
    // Copy first: `name` may be this field's own name.
    char* copy = util_CopyText(name);
    delete[] m_pszFieldName;
    m_pszFieldName = copy;
}

char* SVFDataField::GetFieldName()
{
    return m_pszFieldName;
}

UtByteBuffer* SVFDataField::AddRow(int rowWidth)
{
    // Rows of one width that follow each other share a block; a row of another width
    // starts a new block, so the file keeps the order in which the rows came.
    DataBlock* block = m_nBlockCount > 0 ? m_ppBlocks[m_nBlockCount - 1] : 0;
    if (block == 0 || block->m_nRowWidth != rowWidth)
        block = AddFieldBlock(rowWidth);
    return block != 0 ? block->AddRow() : 0;
}

SVFDataField::DataBlock* SVFDataField::AddFieldBlock(int rowWidth)
{
    if (!GrowSlots(m_ppBlocks, m_nBlockCount, m_nBlockSlots))
        return 0;
    DataBlock* block = new (std::nothrow) DataBlock(rowWidth);
    if (block == 0)
        return 0;
    m_ppBlocks[m_nBlockCount++] = block;
    return block;
}

int SVFDataField::GetFieldBlockCount()
{
    return m_nBlockCount;
}

SVFDataField::DataBlock* SVFDataField::GetDataBlock(int index)
{
    return GetFieldBlock(index);
}

SVFDataField::DataBlock* SVFDataField::GetFieldBlock(int index)
{
    if (index < 0 || index >= m_nBlockCount)
        return 0;
    return m_ppBlocks[index];
}
