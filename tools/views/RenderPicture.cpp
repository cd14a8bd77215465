// The layout of a field's picture and the painting of its pixel rows.
#include "RenderPicture.h"

#include <string.h>

#include <algorithm>
#include <cmath>

#include "ModelCompare.h"

const PaintColour kPaintPalette[PAINT_COUNT] = {
    {0xF2, 0xF2, 0xEE, 255},   // clear: near white
    {0x1F, 0x23, 0x2A, 235},   // set: near black
    {0xF0, 0xA0, 0x30, 215},   // missing: amber
    {0xC6, 0xD4, 0xE8, 188},   // outside: pale blue
    {0x3A, 0x6E, 0xC8, 62},    // separator: blue
    {0xFA, 0xFA, 0xF8, 231},   // faded clear
    {0xA8, 0xA8, 0xA8, 248},   // faded set: grey
    {0xF6, 0xD8, 0xB0, 223},   // faded missing
    {0xE0, 0x20, 0x20, 160},   // differs: red
};

namespace
{
// How much of a block's width a row fills. A row of its width's bytes shows the bits of
// the width (the padding bits of its last byte are not drawn); a longer row shows all of
// its bytes; a shorter one shows its bits and then the bits it lacks as missing.
struct RowExtent
{
    long long nBits;    // bits drawn from the row's bytes
    long long nCells;   // cells the row takes: its bits, or its width when that is more
};

RowExtent MeasureRow(UtByteBuffer* row, int rowWidth)
{
    long long width = std::max(rowWidth, 0);
    long long bytes = row != nullptr ? row->GetTotalSize() : 0;
    long long bits = bytes > (width + 7) / 8 ? 8 * bytes : std::min(8 * bytes, width);
    return RowExtent{bits, row != nullptr ? std::max(bits, width) : 0};
}

long long BlockCells(SVFDataField::DataBlock* block)
{
    if (block == nullptr)
        return 0;
    long long cells = std::max(block->m_nRowWidth, 0);
    for (int k = 1; k <= block->GetNumberOfRows(); ++k)
        cells = std::max(cells, MeasureRow(block->GetRow(k), block->m_nRowWidth).nCells);
    return cells;
}

int RowCount(SVFDataField::DataBlock* block)
{
    return block != nullptr ? block->GetNumberOfRows() : 0;
}

// Paints the first `count` cells of row `row` (from 1) of `block`; no block or no such
// row paints nothing but PAINT_OUTSIDE.
void PaintRow(SVFDataField::DataBlock* block, long long row, unsigned char* cells, long long count)
{
    UtByteBuffer* bytes = block != nullptr && row <= block->GetNumberOfRows() ? block->GetRow((int)row) : nullptr;
    RowExtent extent = MeasureRow(bytes, block != nullptr ? block->m_nRowWidth : 0);
    long long bits = std::min(extent.nBits, count);
    long long x = 0;
    while (x < bits)
    {
        unsigned char byte = bytes->ReadData((int)(x >> 3));
        for (int shift = 7; shift >= 0 && x < bits; --shift, ++x)
            cells[x] = ((byte >> shift) & 1) != 0 ? PAINT_SET : PAINT_CLEAR;
    }
    long long missing = std::min(extent.nCells, count);   // at least x, as the cells hold the bits
    memset(cells + x, PAINT_MISSING, (size_t)(missing - x));
    memset(cells + missing, PAINT_OUTSIDE, (size_t)(count - missing));
}

// The faded paint of a bit that is the same in both files.
static_assert(PAINT_FADED_SET - PAINT_SET == PAINT_FADED_CLEAR - PAINT_CLEAR &&
                  PAINT_FADED_MISSING - PAINT_MISSING == PAINT_FADED_CLEAR - PAINT_CLEAR,
              "the faded paints follow the plain ones in their order");
unsigned char Faded(unsigned char paint)
{
    return paint <= PAINT_MISSING ? (unsigned char)(paint + PAINT_FADED_CLEAR - PAINT_CLEAR) : paint;
}

// One column unless the stack is more than twice as tall as wide; else the number of
// columns whose picture is nearest to square, as long as it is at most `widest` cells.
long long ChooseColumns(long long lines, long long wide, long long widest)
{
    if (lines <= 2 * wide)
        return 1;
    long long best = 1;
    double bestDistance = HUGE_VAL;
    for (long long columns = 1; columns <= lines; ++columns)
    {
        long long cellsWide = columns * (wide + PICTURE_COLUMN_GAP) - PICTURE_COLUMN_GAP;
        if (columns > 1 && cellsWide > widest)
            break;
        long long cellsHigh = (lines + columns - 1) / columns;
        double distance = std::fabs(std::log((double)cellsWide / (double)cellsHigh));
        if (distance < bestDistance)
        {
            best = columns;
            bestDistance = distance;
        }
        if (cellsWide >= cellsHigh)
            break;
    }
    return best;
}
}

FieldPicture::FieldPicture(const DrawnField& field, int scale, long long columns, long long widestCells)
    : m_bCompared(field.bCompared), m_nScale(std::max(scale, 1)), m_nLines(0), m_nCellsWide(1), m_nColumns(1),
      m_nColumnLines(1), m_nPixelRow(0)
{
    for (size_t index = 0; index < field.blocks.size(); ++index)
    {
        const DrawnBlock& drawn = field.blocks[index];
        SVFDataField::DataBlock* other = m_bCompared ? drawn.pOther : nullptr;
        long long rows = std::max(RowCount(drawn.pBlock), RowCount(other));
        if (rows == 0)
            continue;   // a block without rows has nothing to show
        if (!m_blocks.empty())
            ++m_nLines;   // the separator after the block before
        StackedBlock stacked = {{drawn.pBlock, other}, m_nLines, rows, (int)index};
        m_blocks.push_back(stacked);
        m_nLines += rows;
        m_nCellsWide = std::max(m_nCellsWide, std::max(BlockCells(drawn.pBlock), BlockCells(other)));
    }
    m_nColumns = columns > 0 ? columns : ChooseColumns(m_nLines, m_nCellsWide, widestCells);
    m_nColumns = std::max(1LL, std::min(m_nColumns, m_nLines));
    m_nColumnLines = std::max(1LL, (m_nLines + m_nColumns - 1) / m_nColumns);
}

const FieldPicture::StackedBlock* FieldPicture::BlockAt(long long line) const
{
    StackedBlock key = {{nullptr, nullptr}, line, 0, 0};
    std::vector<StackedBlock>::const_iterator block =
        std::upper_bound(m_blocks.begin(), m_blocks.end(), key,
                         [](const StackedBlock& a, const StackedBlock& b) { return a.nFirstLine < b.nFirstLine; });
    return &*--block;   // line 0 is the first block's, so there is one at or before every line
}

bool FieldPicture::FindRow(long long line, int& block, long long& row) const
{
    if (line < 0 || line >= m_nLines)
        return false;
    const StackedBlock* stacked = BlockAt(line);
    if (line - stacked->nFirstLine >= stacked->nRows)
        return false;
    block = stacked->nIndex;
    row = line - stacked->nFirstLine;
    return true;
}

long long FieldPicture::LineOfRow(int block, long long row) const
{
    for (const StackedBlock& stacked : m_blocks)
        if (stacked.nIndex == block)
            return row >= 0 && row < stacked.nRows ? stacked.nFirstLine + row : -1;
    return -1;
}

std::vector<long long> FieldPicture::SeparatorLines() const
{
    std::vector<long long> lines;
    for (size_t i = 1; i < m_blocks.size(); ++i)
        lines.push_back(m_blocks[i].nFirstLine - 1);
    return lines;
}

void FieldPicture::PaintLine(long long line, unsigned char* cells, long long count)
{
    const StackedBlock* block = BlockAt(line);
    long long row = line - block->nFirstLine + 1;
    if (row > block->nRows)
    {
        memset(cells, PAINT_SEPARATOR, (size_t)count);
        return;
    }
    PaintRow(block->drawn.pBlock, row, cells, count);
    if (!m_bCompared)
        return;
    if ((long long)m_other.size() < count)
        m_other.resize((size_t)count);
    PaintRow(block->drawn.pOther, row, m_other.data(), count);
    for (long long x = 0; x < count; ++x)
        cells[x] = cells[x] == m_other[(size_t)x] ? Faded(cells[x]) : (unsigned char)PAINT_DIFFERS;
}

void FieldPicture::PaintCellRow(long long cellRow, long long count)
{
    if ((long long)m_cells.size() < count)
        m_cells.resize((size_t)count);
    unsigned char* cells = m_cells.data();
    memset(cells, PAINT_OUTSIDE, (size_t)count);
    static_assert(PICTURE_COLUMN_GAP == 3, "the gap between two columns is outside, separator, outside");
    for (long long column = 0; column < m_nColumns; ++column)
    {
        long long x = column * (m_nCellsWide + PICTURE_COLUMN_GAP);
        if (x - 2 >= count)
            break;
        if (column > 0)
            cells[x - 2] = PAINT_SEPARATOR;
        long long line = column * m_nColumnLines + cellRow;
        if (x < count && line < m_nLines)
            PaintLine(line, cells + x, std::min(m_nCellsWide, count - x));
    }
}

void FieldPicture::MarkDifferences(long long margin, long long band)
{
    if (!m_bCompared)
        return;
    m_nMargin = std::max(margin, 2LL);
    m_nBand = std::max(band, 0LL);
    m_marked.assign((size_t)m_nColumnLines + 1, 0);
    std::vector<unsigned char> cells((size_t)m_nCellsWide);
    for (long long line = 0; line < m_nLines; ++line)
    {
        PaintLine(line, cells.data(), m_nCellsWide);
        if (memchr(cells.data(), PAINT_DIFFERS, cells.size()) != nullptr)
            m_marked[(size_t)(line % m_nColumnLines) + 1] = 1;
    }
    for (size_t row = 1; row < m_marked.size(); ++row)
        m_marked[row] += m_marked[row - 1];
}

void FieldPicture::PaintMargin(unsigned char* pixels, long long count) const
{
    // The cell rows a band over this pixel row can come from: those within m_nBand pixels.
    long long y = m_nPixelRow;
    long long first = std::max(0LL, (y - m_nBand) / m_nScale - (y - m_nBand < 0 ? 1 : 0));
    long long last = std::min(m_nColumnLines - 1, (y + m_nBand) / m_nScale);
    bool marked = first <= last && m_marked[(size_t)last + 1] > m_marked[(size_t)first];
    long long mark = m_nMargin - std::max(1LL, m_nMargin / 4);
    memset(pixels, marked ? PAINT_DIFFERS : PAINT_OUTSIDE, (size_t)std::min(mark, count));
    if (count > mark)
        memset(pixels + mark, PAINT_OUTSIDE, (size_t)(count - mark));
}

void FieldPicture::PaintGrid(unsigned char* pixels, long long count, bool lastRow) const
{
    for (long long x = 0; x * m_nScale < count; ++x)
    {
        unsigned char cell = m_cells[(size_t)x];
        if (cell == PAINT_OUTSIDE || cell == PAINT_SEPARATOR)
            continue;
        long long end = std::min(count, (x + 1) * m_nScale);
        long long from = lastRow ? x * m_nScale : end - 1;
        memset(pixels + from, PAINT_OUTSIDE, (size_t)(end - from));
    }
}

void FieldPicture::NextRow(unsigned char* pixels, long long count)
{
    long long margin = std::min(m_nMargin, count);
    if (margin > 0)
        PaintMargin(pixels, margin);
    pixels += margin;
    count -= margin;
    long long cells = (count + m_nScale - 1) / m_nScale;
    if (m_nPixelRow % m_nScale == 0)
        PaintCellRow(m_nPixelRow / m_nScale, cells);
    bool lastRow = m_nPixelRow % m_nScale == m_nScale - 1;
    ++m_nPixelRow;
    const unsigned char* source = m_cells.data();
    if (m_nScale == 1)
    {
        memcpy(pixels, source, (size_t)count);
        return;
    }
    long long p = 0;
    for (long long x = 0; x < cells; ++x)
        for (int repeat = 0; repeat < m_nScale && p < count; ++repeat)
            pixels[p++] = source[x];
    if (m_bGrid)
        PaintGrid(pixels, count, lastRow);
}

namespace
{
std::vector<const char*> FieldNames(SVFPlusData& model)
{
    std::vector<const char*> names;
    for (int i = 0; i < model.GetDataFieldCount(); ++i)
    {
        const char* name = model.GetDataField(i)->GetFieldName();
        names.push_back(name != nullptr ? name : "");
    }
    return names;
}

// A field as drawn: `mine` compared with `theirs` (either may be null), block by block.
DrawnField Drawn(SVFDataField* mine, SVFDataField* theirs, bool compared)
{
    DrawnField drawn;
    const char* name = (mine != nullptr ? mine : theirs)->GetFieldName();
    drawn.name = name != nullptr ? name : "";
    drawn.bCompared = compared;
    int blocks = std::max(mine != nullptr ? mine->GetFieldBlockCount() : 0,
                          theirs != nullptr ? theirs->GetFieldBlockCount() : 0);
    for (int j = 0; j < blocks; ++j)
        drawn.blocks.push_back(DrawnBlock{mine != nullptr ? mine->GetDataBlock(j) : nullptr,
                                          theirs != nullptr ? theirs->GetDataBlock(j) : nullptr});
    return drawn;
}
}

std::vector<DrawnField> PairFields(SVFPlusData& drawn, SVFPlusData& other, bool compared)
{
    std::vector<int> partners = PairByName(FieldNames(drawn), FieldNames(other));
    std::vector<bool> paired((size_t)other.GetDataFieldCount(), false);
    std::vector<DrawnField> fields;
    for (int i = 0; i < drawn.GetDataFieldCount(); ++i)
    {
        int partner = compared ? partners[(size_t)i] : -1;
        if (partner >= 0)
            paired[(size_t)partner] = true;
        fields.push_back(Drawn(drawn.GetDataField(i), other.GetDataField(partner), compared));
    }
    for (int j = 0; compared && j < other.GetDataFieldCount(); ++j)
        if (!paired[(size_t)j])
            fields.push_back(Drawn(nullptr, other.GetDataField(j), compared));
    return fields;
}
