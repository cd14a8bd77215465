// SVFDataField and its field blocks (SVFDataField::DataBlock).
//
// A data field owns an ordered list of blocks; a block owns an ordered list of rows,
// each a growable UtByteBuffer so that no byte written to a row is ever dropped, even
// past the row's width. A row takes memory as its bytes arrive, whatever its width says.
// Rows are made by the arena that the blocks of a field share (and the fields of a model),
// which places them and their bytes in large regions.
// Copies are deep and whole: a copied row is a new buffer with the same bytes, and a copy
// that memory cannot hold whole leaves the target as it was.
#include "SVFPlusData.h"
#include "UtByteArena.h"
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
    if (grown == nullptr)
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
    : m_nRowWidth(rowWidth), m_ppRows(nullptr), m_nRowCount(0), m_nRowSlots(0), m_pArena(nullptr)
{
}

SVFDataField::DataBlock::DataBlock(int rowWidth, UtByteArena* arena)
    : m_nRowWidth(rowWidth), m_ppRows(nullptr), m_nRowCount(0), m_nRowSlots(0), m_pArena(UtByteArena::Acquire(arena))
{
}

SVFDataField::DataBlock::DataBlock(const DataBlock& other)
    : m_nRowWidth(other.m_nRowWidth), m_ppRows(nullptr), m_nRowCount(0), m_nRowSlots(0), m_pArena(nullptr)
{
    *this = other;
}

SVFDataField::DataBlock& SVFDataField::DataBlock::operator=(const DataBlock& other)
{
    if (this != &other)
        Assign(other, true);
    return *this;
}

void SVFDataField::DataBlock::Assign(const DataBlock& other, bool expect)
{
    UtByteBuffer** rows = nullptr;
    int count = 0;
    if (other.m_nRowCount > 0)
    {
        UtByteArena* arena = Arena();
        rows = arena != nullptr ? new (std::nothrow) UtByteBuffer*[other.m_nRowCount] : nullptr;
        if (rows == nullptr)
            return;
        if (expect)
        {
            size_t count = 0, bytes = 0;
            other.CountRows(count, bytes);
            arena->Expect(count, bytes);
        }
        for (; count < other.m_nRowCount; ++count)
        {
            UtByteBuffer* source = other.m_ppRows[count];
            unsigned int size = source->GetTotalSize();
            UtByteBuffer* row = arena->NewBuffer();
            unsigned char* bytes = row != nullptr && size > 0 ? row->Extend(size) : nullptr;
            if (row == nullptr || (size > 0 && bytes == nullptr))
            {
                UtByteArena::DeleteBuffer(row);
                while (count > 0)
                    UtByteArena::DeleteBuffer(rows[--count]);
                delete[] rows;
                return;
            }
            source->CopyData(0, bytes, (int)size);
            rows[count] = row;
        }
    }
    for (int i = 0; i < m_nRowCount; ++i)
        UtByteArena::DeleteBuffer(m_ppRows[i]);
    delete[] m_ppRows;
    m_ppRows = rows;
    m_nRowCount = count;
    m_nRowSlots = other.m_nRowCount;
    m_nRowWidth = other.m_nRowWidth;
}

SVFDataField::DataBlock::~DataBlock()
{
    for (int i = 0; i < m_nRowCount; ++i)
        UtByteArena::DeleteBuffer(m_ppRows[i]);
    delete[] m_ppRows;
    UtByteArena::Release(m_pArena);
}

void SVFDataField::DataBlock::CountRows(size_t& rows, size_t& bytes) const
{
    rows += (size_t)m_nRowCount;
    for (int i = 0; i < m_nRowCount; ++i)
        bytes += m_ppRows[i]->GetTotalSize();
}

// The arena the rows go to, made when the block has none yet; null when memory runs out.
UtByteArena* SVFDataField::DataBlock::Arena()
{
    if (m_pArena == nullptr)
        m_pArena = UtByteArena::Create();
    return m_pArena;
}

bool SVFDataField::DataBlock::IsHeld() const
{
    return m_pArena != nullptr && m_pArena->IsHeld();
}

int SVFDataField::DataBlock::GetNumberOfRows()
{
    return m_nRowCount;
}

UtByteBuffer* SVFDataField::DataBlock::GetRow(int row)
{
    if (row < 1 || row > m_nRowCount)
        return nullptr;
    return m_ppRows[row - 1];
}

UtByteBuffer* SVFDataField::DataBlock::AddRow()
{
    UtByteArena* arena = Arena();
    if (arena == nullptr || !GrowSlots(m_ppRows, m_nRowCount, m_nRowSlots))
        return nullptr;
    UtByteBuffer* row = arena->NewBuffer();
    if (row == nullptr)
        return nullptr;
    m_ppRows[m_nRowCount++] = row;
    return row;
}

// ---------------------------------------------------------------------------------
// SVFDataField

SVFDataField::SVFDataField()
    : m_nChecksum(0), m_pszFieldName(nullptr), m_ppBlocks(nullptr), m_nBlockCount(0), m_nBlockSlots(0),
      m_pArena(nullptr)
{
}

SVFDataField::SVFDataField(UtByteArena* arena)
    : m_nChecksum(0), m_pszFieldName(nullptr), m_ppBlocks(nullptr), m_nBlockCount(0), m_nBlockSlots(0),
      m_pArena(UtByteArena::Acquire(arena))
{
}

SVFDataField::SVFDataField(const SVFDataField& other)
    : m_nChecksum(0), m_pszFieldName(nullptr), m_ppBlocks(nullptr), m_nBlockCount(0), m_nBlockSlots(0),
      m_pArena(nullptr)
{
    *this = other;
}

SVFDataField& SVFDataField::operator=(const SVFDataField& other)
{
    if (this != &other)
        Assign(other, true);
    return *this;
}

void SVFDataField::Assign(const SVFDataField& other, bool expect)
{
    DataBlock** blocks = nullptr;
    int count = 0;
    bool whole = true;
    if (other.m_nBlockCount > 0)
    {
        UtByteArena* arena = Arena();
        blocks = arena != nullptr ? new (std::nothrow) DataBlock*[other.m_nBlockCount] : nullptr;
        whole = blocks != nullptr;
        if (whole && expect)
        {
            size_t rows = 0, bytes = 0;
            other.CountRows(rows, bytes);
            arena->Expect(rows, bytes);
        }
        for (; whole && count < other.m_nBlockCount; ++count)
        {
            DataBlock* source = other.m_ppBlocks[count];
            blocks[count] = new (std::nothrow) DataBlock(source->m_nRowWidth, arena);
            if (blocks[count] != nullptr)
                blocks[count]->Assign(*source, false);
            // A block copy that could not take the rows has none.
            whole = blocks[count] != nullptr && blocks[count]->GetNumberOfRows() == source->GetNumberOfRows();
        }
    }
    char* name = whole ? util_CopyText(other.m_pszFieldName) : nullptr;
    if (!whole || (name == nullptr && other.m_pszFieldName != nullptr))
    {
        for (int i = 0; i < count; ++i)
            delete blocks[i];
        delete[] blocks;
        return;
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
}

SVFDataField::~SVFDataField()
{
    for (int i = 0; i < m_nBlockCount; ++i)
        delete m_ppBlocks[i];
    delete[] m_ppBlocks;
    delete[] m_pszFieldName;
    UtByteArena::Release(m_pArena);
}

void SVFDataField::CountRows(size_t& rows, size_t& bytes) const
{
    for (int i = 0; i < m_nBlockCount; ++i)
        m_ppBlocks[i]->CountRows(rows, bytes);
}

// The arena the blocks share, made when the field has none yet; null when memory runs out.
UtByteArena* SVFDataField::Arena()
{
    if (m_pArena == nullptr)
        m_pArena = UtByteArena::Create();
    return m_pArena;
}

bool SVFDataField::IsHeld() const
{
    return m_pArena != nullptr && m_pArena->IsHeld();
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
    DataBlock* block = m_nBlockCount > 0 ? m_ppBlocks[m_nBlockCount - 1] : nullptr;
    if (block == nullptr || block->m_nRowWidth != rowWidth)
        block = AddFieldBlock(rowWidth);
    return block != nullptr ? block->AddRow() : nullptr;
}

SVFDataField::DataBlock* SVFDataField::AddFieldBlock(int rowWidth)
{
    UtByteArena* arena = Arena();
    if (arena == nullptr || !GrowSlots(m_ppBlocks, m_nBlockCount, m_nBlockSlots))
        return nullptr;
    DataBlock* block = new (std::nothrow) DataBlock(rowWidth, arena);
    if (block == nullptr)
        return nullptr;
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
        return nullptr;
    return m_ppBlocks[index];
}
