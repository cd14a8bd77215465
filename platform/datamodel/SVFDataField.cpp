// SVFDataField and its field blocks (SVFDataField::DataBlock).
//
// A data field owns an ordered list of blocks; a block owns an ordered list of rows,
// each a growable UtByteBuffer so that no byte written to a row is ever dropped, even
// past the row's width. Copies are deep: a copied row is a new buffer with the same
// bytes.
#include "SVFPlusData.h"
#include "ModelText.h"

#include <new>
#include <string.h>

namespace
{

// A row's storage is reserved up front for at most this many bytes; wider rows grow as
// their bytes arrive. A document naming a huge width then costs nothing until it also
// holds that many bytes.
const int kMostBytesReserved = 64 * 1024;

// Bytes reserved for a row of `rowWidth` bits: what the width takes, up to the limit
// above; 0 for a width of 0 or less.
int RowBytes(int rowWidth)
{
    if (rowWidth <= 0)
        return 0;
    int bytes = rowWidth / 8 + (rowWidth % 8 != 0 ? 1 : 0);
    return bytes < kMostBytesReserved ? bytes : kMostBytesReserved;
}

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
            rows[count] = new (std::nothrow) UtByteBuffer(*other.m_ppRows[count]);
            if (rows[count] == 0)
                break;
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
    UtByteBuffer* row = new (std::nothrow) UtByteBuffer(RowBytes(m_nRowWidth), true);
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
    if (other.m_nBlockCount > 0)
    {
        blocks = new (std::nothrow) DataBlock*[other.m_nBlockCount];
        if (blocks == 0)
            return *this;
        for (; count < other.m_nBlockCount; ++count)
        {
            blocks[count] = new (std::nothrow) DataBlock(*other.m_ppBlocks[count]);
            if (blocks[count] == 0)
                break;
        }
    }
    char* name = CopyModelText(other.m_pszFieldName);

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
    char* copy = CopyModelText(name);
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
