// Data fields as pictures, for `rizeroz render`: one cell per bit (a set bit dark, a clear
// bit light), rows top to bottom, the bits of a row left to right as the reader stores
// them (first byte first, high bit first), the blocks of a field one below the other with
// a separator line between them, and a tall stack of rows cut into side-by-side columns.
// A picture is made one pixel row at a time: drawing a field of any size needs memory for
// one row of the picture only.
#ifndef RIZEROZ_TOOLS_RENDERPICTURE_H
#define RIZEROZ_TOOLS_RENDERPICTURE_H

#include <string>
#include <vector>

#include "SVFPlusData.h"

// What a pixel shows; the palette index of the pixel in a PNG file.
enum Paint
{
    PAINT_CLEAR,         // a clear bit
    PAINT_SET,           // a set bit
    PAINT_MISSING,       // a bit that a row shorter than its row_width lacks
    PAINT_OUTSIDE,       // no bit: right of a narrower block, beside the lines between columns,
                         // the end of the last column
    PAINT_SEPARATOR,     // the line between two blocks, and between two columns
    PAINT_FADED_CLEAR,   // in a comparison: the bits that are the same in both files
    PAINT_FADED_SET,
    PAINT_FADED_MISSING,
    PAINT_DIFFERS,   // in a comparison: a bit that differs (or that one file lacks)
    PAINT_COUNT
};

struct PaintColour
{
    unsigned char red, green, blue;
    int terminal;   // the nearest of the 256 colours terminals know: the 6 x 6 x 6 cube or the greys
};

// The colour of each paint.
extern const PaintColour kPaintPalette[PAINT_COUNT];

enum
{
    PICTURE_MAX_WIDTH = 1000000,   // pixels; as wide as PNG readers commonly take
    PICTURE_COLUMN_GAP = 3         // cells between two columns: a separator line with a margin
};

// One block as drawn; in a comparison, with the other file's block of the same place.
// Either may be null (the block exists in one file only).
struct DrawnBlock
{
    SVFDataField::DataBlock* pBlock;
    SVFDataField::DataBlock* pOther;
};

// One field as drawn. The blocks belong to the models the caller keeps.
struct DrawnField
{
    std::string name;
    bool bCompared;   // a comparison: paint the differences of pBlock and pOther
    std::vector<DrawnBlock> blocks;
};

// The fields to draw, in the order of `drawn`. In a comparison each field is paired with
// the `other` model's field of the same name (the first with the first of that name, and
// so on), and the other model's fields without a partner follow.
std::vector<DrawnField> PairFields(SVFPlusData& drawn, SVFPlusData& other, bool compared);

class FieldPicture
{
public:
    // `columns` 0 chooses the number of columns: one, unless the stack of rows is more
    // than twice as tall as wide, else the number that makes the picture nearest to
    // square without passing `widestCells` cells. A given number is cut to the number of
    // rows. Each cell is `scale` x `scale` pixels.
    FieldPicture(const DrawnField& field, int scale, long long columns, long long widestCells);

    // Pixels, at least 1 each way (the margin of MarkDifferences included).
    long long GetWidth() const
    {
        return m_nMargin + (m_nColumns * (m_nCellsWide + PICTURE_COLUMN_GAP) - PICTURE_COLUMN_GAP) * m_nScale;
    }
    long long GetHeight() const { return m_nColumnLines * m_nScale; }

    // The next pixel row, from the top: its first `count` pixels (at most the width).
    void NextRow(unsigned char* pixels, long long count);

    // Draws a grid: the last pixel row and column of each cell that is a bit are
    // PAINT_OUTSIDE, so that large cells are told apart.
    void DrawGrid(bool grid) { m_bGrid = grid; }
    // In a comparison, adds a margin of `margin` pixels on the left (the last quarter of it
    // a gap) in which each cell row holding a bit that differs is marked by a band of
    // PAINT_DIFFERS, reaching `band` pixels above and below the row: a mark seen however
    // small the picture is shown. Looks at every row once. Nothing outside a comparison.
    void MarkDifferences(long long margin, long long band);

    // For a viewer that draws any part of the stack of rows, a cell per bit, in one column:
    // the lines of the stack (each a row, or the separator between two blocks), its width
    // in cells, and the first `count` cells (at most the width) of line `line`.
    long long GetLines() const { return m_nLines; }
    long long GetCellsWide() const { return m_nCellsWide; }
    void PaintStackLine(long long line, unsigned char* cells, long long count) { PaintLine(line, cells, count); }
    // The block (its index in the DrawnField) and the row (from 0) on line `line`; false
    // for a separator or a line outside the stack.
    bool FindRow(long long line, int& block, long long& row) const;
    // The line of row `row` (from 0) of block `block` (its index in the DrawnField), or -1
    // where the stack has no such row.
    long long LineOfRow(int block, long long row) const;
    // The lines between two blocks, from the top: one before each block shown but the first.
    std::vector<long long> SeparatorLines() const;

private:
    struct StackedBlock
    {
        DrawnBlock drawn;
        long long nFirstLine;   // line of its first row in the stack of rows
        long long nRows;
        int nIndex;   // its index in the DrawnField
    };

    const StackedBlock* BlockAt(long long line) const;
    void PaintCellRow(long long cellRow, long long count);
    void PaintLine(long long line, unsigned char* cells, long long count);
    void PaintMargin(unsigned char* pixels, long long count) const;
    void PaintGrid(unsigned char* pixels, long long count, bool lastRow) const;

    std::vector<StackedBlock> m_blocks;   // blocks with rows, in order
    bool m_bCompared;
    int m_nScale;
    long long m_nLines;       // rows and separators in the stack
    long long m_nCellsWide;   // cells of one column
    long long m_nColumns;
    long long m_nColumnLines;             // lines of one column
    long long m_nPixelRow;                // the next pixel row
    std::vector<unsigned char> m_cells;   // the current cell row
    std::vector<unsigned char> m_other;   // the other file's row, in a comparison
    bool m_bGrid = false;
    long long m_nMargin = 0;          // pixels left of the picture, for the marks
    long long m_nBand = 0;            // pixels a mark reaches beyond its row
    std::vector<unsigned> m_marked;   // cell rows before each cell row that hold a difference
};

#endif
