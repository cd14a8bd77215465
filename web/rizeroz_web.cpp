// The viewer page's module (web/): what the page needs beyond the C interface, compiled
// to WebAssembly with the library, the C interface and the tool's comparison and
// pictures (tools/views: ModelCompare, DiffText, RenderPicture), so that the page
// reads, compares and draws exactly as the library and `rizeroz` do. Models are the C
// interface's handles (rz_model); a picture or a comparison works on the model behind one.
#include <emscripten.h>
#include <emscripten/heap.h>
#include <errno.h>
#include <limits.h>
#include <malloc.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "CApi.h"
#include "DiffText.h"
#include "ModelCompare.h"
#include "ReadBack.h"
#include "RenderPicture.h"
#include "rizeroz.h"

// Tells the page how far a read has come (Module.onProgress in the worker).
EM_JS(void, rzw_tell_progress, (double done, double total), {
    if (Module.onProgress)
        Module.onProgress(done, total);
});

// Gives the read of rzw_read_pulled the next bytes of the file, as rz_read_stream's read
// function does. The worker (web/worker.js) puts an import in its place that can suspend
// the read while the browser loads the next piece; this body only stands in for it.
EM_JS(int, rzw_pull, (void* buffer, int capacity), {
    return -38;   // ENOSYS
});

namespace
{
long long RZ_CALL PullFromPage(void*, void* buffer, size_t capacity)
{
    return rzw_pull(buffer, (int)std::min<size_t>(capacity, INT_MAX));
}

// Hands the read's progress on at most once per per cent, and at each field block's end:
// the library calls the hook after every row, and a call out to JavaScript is dear.
struct ProgressFilter
{
    unsigned long long nNext = 0;
};

void RZ_CALL OnRead(void* context, int, int, int row, size_t, unsigned long long done, unsigned long long total)
{
    ProgressFilter* filter = static_cast<ProgressFilter*>(context);
    if (done < filter->nNext && row >= 0)
        return;
    filter->nNext = done + total / 100 + 1;
    rzw_tell_progress((double)done, (double)total);
}

// The pictures of one model's fields, or of two models' compared as `rizeroz render
// --diff` compares them (the fields paired by name), one column each.
struct Viewer
{
    std::vector<DrawnField> fields;
    std::vector<std::unique_ptr<FieldPicture>> pictures;
    std::vector<unsigned char> cells;   // one line of paint
};

FieldPicture* PictureOf(Viewer* viewer, int field)
{
    if (viewer == nullptr || field < 0 || (size_t)field >= viewer->pictures.size())
        return nullptr;
    return viewer->pictures[(size_t)field].get();
}

// Collects `rizeroz diff`'s lines: every difference counted, the first `max` told.
class DiffLines : public DifferenceSink
{
public:
    explicit DiffLines(int max) : m_nMax(max) {}
    void Add(const Difference& difference) override
    {
        if (m_nCount++ >= m_nMax)
            return;
        m_text += DifferenceLine(difference, false) + "\n";
        if (difference.kind == Difference::ROW)
            m_text += ExcerptLine(difference, 0, false) + "\n" + ExcerptLine(difference, 1, false) + "\n";
    }
    std::string Finish() const { return m_nCount > 0 ? m_text + DifferenceSummary(m_nCount, m_nMax) + "\n" : ""; }
    long long Count() const { return m_nCount; }

private:
    int m_nMax;
    long long m_nCount = 0;
    std::string m_text;
};

// The glue's result codes beyond the C interface's (rizeroz.h), told by rzw_describe_code.
enum
{
    RZW_ERR_NO_PICTURE = -401,   // no file's picture is made
    RZW_ERR_FIELD = -402,        // a field the picture does not have
    RZW_ERR_PART = -403          // a part of a picture of fewer than 0 lines or cells
};

// Room in `viewer` for one line of `count` paints; false without memory.
bool LineRoom(Viewer* viewer, long long count)
{
    try
    {
        if ((long long)viewer->cells.size() < count)
            viewer->cells.resize((size_t)count);
        return true;
    }
    catch (...)
    {
        return false;
    }
}

// Line `line` of a field's picture painted whole into viewer->cells; false without memory.
bool PaintWholeLine(Viewer* viewer, FieldPicture* picture, long long line)
{
    if (!LineRoom(viewer, picture->GetCellsWide()))
        return false;
    picture->PaintStackLine(line, viewer->cells.data(), picture->GetCellsWide());
    return true;
}

// The picture's line of row `row` of block `block` of `field` as a data file carries them
// (the view that `diff` compares: neighbouring blocks of one width are one, a block
// without rows has one empty row), or -1 where the picture has no line for it.
long long CarriedRowLine(SVFDataField* field, FieldPicture* picture, int block, long long row)
{
    int carried = -1;
    for (int j = 0; j < field->GetFieldBlockCount(); ++j)
    {
        SVFDataField::DataBlock* here = field->GetDataBlock(j);
        if (!SVFReadBackJoinsBlock(field, j))
            ++carried;
        if (carried < block)
            continue;
        if (carried > block)
            break;
        long long rows = here->GetNumberOfRows();
        long long added = SVFReadBackAddsEmptyRow(here) ? 1 : 0;
        if (row < rows + added)
            return row < added ? -1 : picture->LineOfRow(j, row - added);
        row -= rows + added;
    }
    return -1;
}

// The index in `viewer` of field `index` of the second model, which the first lacks: the
// second model's fields without a partner follow the first model's (PairFields).
int SecondOnlyField(SVFPlusData* first, SVFPlusData* second, int index)
{
    std::vector<const char*> names[2];
    SVFPlusData* models[2] = {first, second};
    for (int side = 0; side < 2; ++side)
        for (int i = 0; i < models[side]->GetDataFieldCount(); ++i)
        {
            const char* name = models[side]->GetDataField(i)->GetFieldName();
            names[side].push_back(name != nullptr ? name : "");
        }
    std::vector<bool> paired(names[1].size(), false);
    for (int partner : PairByName(names[0], names[1]))
        if (partner >= 0)
            paired[(size_t)partner] = true;
    int at = first->GetDataFieldCount();
    for (int j = 0; j < index && (size_t)j < paired.size(); ++j)
        at += paired[(size_t)j] ? 0 : 1;
    return at;
}

// Where a difference stands in the pictures: the field, the line (-1: none, the field
// as a whole) and the bit (-1: none), and how many lines of text tell it.
struct DiffPlace
{
    double field = -1, line = -1, bit = -1, lines = 1;
};

DiffPlace PlaceOf(const Difference& difference, Viewer* viewer, SVFPlusData* first, SVFPlusData* second)
{
    DiffPlace place;
    place.lines = difference.kind == Difference::ROW ? 3 : 1;
    if (difference.nField < 0 || difference.kind == Difference::FIELD_ORDER)
        return place;
    int field = difference.kind == Difference::FIELD_ONLY_SECOND ? SecondOnlyField(first, second, difference.nField)
                                                                 : difference.nField;
    FieldPicture* picture = PictureOf(viewer, field);
    if (picture == nullptr)
        return place;
    place.field = field;
    if (difference.nBlock < 0 || difference.kind == Difference::FIELD_ONLY_SECOND)
        return place;
    SVFDataField* mine = first->GetDataField(field);
    long long row = difference.kind == Difference::ROW ? difference.nRow : 0;
    place.line = (double)CarriedRowLine(mine, picture, difference.nBlock, row);
    if (difference.kind != Difference::ROW || place.line < 0)
        return place;
    // The first bit that differs: in the first byte that differs, its highest bit that
    // does (bits are drawn high bit first); where only the lengths differ, the first bit
    // that one row has and the other lacks.
    long long bit = 8 * std::min(difference.first, difference.second);
    if (difference.nOffset >= 0)
    {
        int apart = (difference.nByte[0] ^ difference.nByte[1]) & 0xFF;
        int high = 7;
        while (high > 0 && (apart >> high) == 0)
            --high;
        bit = 8 * difference.nOffset + (7 - high);
    }
    place.bit = (double)std::min(bit, picture->GetCellsWide() - 1);
    return place;
}

// `rizeroz diff`'s lines with each told difference's place in the pictures.
class PlacedDiffLines : public DiffLines
{
public:
    PlacedDiffLines(int max, Viewer* viewer, SVFPlusData* first, SVFPlusData* second)
        : DiffLines(max), m_nMax(max), m_pViewer(viewer), m_pFirst(first), m_pSecond(second)
    {
    }
    void Add(const Difference& difference) override
    {
        if (Count() < m_nMax)
            m_places.push_back(PlaceOf(difference, m_pViewer, m_pFirst, m_pSecond));
        DiffLines::Add(difference);
    }
    const std::vector<DiffPlace>& Places() const { return m_places; }

private:
    int m_nMax;
    Viewer* m_pViewer;
    SVFPlusData* m_pFirst;
    SVFPlusData* m_pSecond;
    std::vector<DiffPlace> m_places;
};

char* CopyOut(const std::string& text)
{
    char* copy = static_cast<char*>(malloc(text.size() + 1));
    if (copy != nullptr)
        memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}
}

extern "C" {

// rz_read_memory with the page's progress: reports reach Module.onProgress.
EMSCRIPTEN_KEEPALIVE int rzw_read(const void* data, size_t size, const char* name, unsigned flags, rz_model** model,
                                  rz_error** error)
{
    ProgressFilter filter;
    return rz_read_memory(data, size, name, flags, OnRead, &filter, model, error);
}

// Reads the file that the page hands over piece by piece (rzw_pull) into a new model, as
// rzw_read does; the page tells the progress itself, from the pieces it hands over.
EMSCRIPTEN_KEEPALIVE int rzw_read_pulled(const char* name, unsigned flags, rz_model** model, rz_error** error)
{
    return rz_read_stream(PullFromPage, nullptr, name, flags, nullptr, nullptr, model, error);
}

// Bytes that memory can still give: what the heap may grow to, less what it holds in use.
// The allocator's counts are sizes of 32 bits that its header declares as int: beyond 2 GB
// of free bytes they read as negative, so they are taken as the unsigned sizes they are
// (exact, as no count passes the 4 GB that 32-bit WebAssembly addresses).
EMSCRIPTEN_KEEPALIVE double rzw_memory_left()
{
    struct mallinfo info = mallinfo();
    return (double)emscripten_get_heap_max() - (double)(uintptr_t)sbrk(0) + (double)(uint32_t)info.fordblks;
}

// What a result code of the glue or of the library means, in a few words; static text.
EMSCRIPTEN_KEEPALIVE const char* rzw_describe_code(int code)
{
    switch (code)
    {
    case RZW_ERR_NO_PICTURE:
        return "no file is shown, so there is no picture to paint";
    case RZW_ERR_FIELD:
        return "the field asked for is not one of the picture's fields";
    case RZW_ERR_PART:
        return "the part of the picture asked for has fewer than 0 lines or cells, where both must be 0 or more";
    default:
        return rz_describe_code(code);
    }
}

// The colours of the tool's pictures (kPaintPalette), red, green and blue for each paint.
EMSCRIPTEN_KEEPALIVE const unsigned char* rzw_palette(int* count)
{
    static unsigned char rgb[PAINT_COUNT * 3];
    for (int i = 0; i < PAINT_COUNT; ++i)
    {
        rgb[3 * i] = kPaintPalette[i].red;
        rgb[3 * i + 1] = kPaintPalette[i].green;
        rgb[3 * i + 2] = kPaintPalette[i].blue;
    }
    *count = PAINT_COUNT;
    return rgb;
}

// The pictures of `first`'s fields, compared with `second`'s when it is not null. Null
// without memory.
EMSCRIPTEN_KEEPALIVE Viewer* rzw_viewer_new(rz_model* first, rz_model* second)
{
    try
    {
        std::unique_ptr<Viewer> viewer(new Viewer());
        SVFPlusData none;
        SVFPlusData* other = second != nullptr ? ModelOf(second) : &none;
        viewer->fields = PairFields(*ModelOf(first), *other, second != nullptr);
        for (const DrawnField& field : viewer->fields)
            viewer->pictures.emplace_back(new FieldPicture(field, 1, 1, PICTURE_MAX_WIDTH));
        return viewer.release();
    }
    catch (...)
    {
        return nullptr;
    }
}

EMSCRIPTEN_KEEPALIVE void rzw_viewer_free(Viewer* viewer)
{
    delete viewer;
}

EMSCRIPTEN_KEEPALIVE int rzw_viewer_fields(Viewer* viewer)
{
    return viewer != nullptr ? (int)viewer->fields.size() : 0;
}

EMSCRIPTEN_KEEPALIVE const char* rzw_viewer_name(Viewer* viewer, int field)
{
    return PictureOf(viewer, field) != nullptr ? viewer->fields[(size_t)field].name.c_str() : "";
}

// The lines of a field's stack of rows (rows and separators), and its width in cells.
EMSCRIPTEN_KEEPALIVE double rzw_viewer_lines(Viewer* viewer, int field)
{
    FieldPicture* picture = PictureOf(viewer, field);
    return picture != nullptr ? (double)picture->GetLines() : 0;
}

EMSCRIPTEN_KEEPALIVE double rzw_viewer_cells(Viewer* viewer, int field)
{
    FieldPicture* picture = PictureOf(viewer, field);
    return picture != nullptr ? (double)picture->GetCellsWide() : 0;
}

// Paints `lines` lines from `line` and `cells` cells from `x` of a field's stack into
// `kinds`, a byte a cell (its Paint), line after line; what lies outside the stack is
// PAINT_OUTSIDE. 0, or a negative code (rzw_describe_code): RZW_ERR_NO_PICTURE,
// RZW_ERR_FIELD, RZW_ERR_PART, or RZ_ERR_MEMORY.
EMSCRIPTEN_KEEPALIVE int rzw_viewer_paint_kinds(Viewer* viewer, int field, double line, int lines, double x, int cells,
                                                unsigned char* kinds)
{
    if (viewer == nullptr)
        return RZW_ERR_NO_PICTURE;
    FieldPicture* picture = PictureOf(viewer, field);
    if (picture == nullptr)
        return RZW_ERR_FIELD;
    if (lines < 0 || cells < 0)
        return RZW_ERR_PART;
    long long wide = picture->GetCellsWide();
    long long count = std::min((long long)x + cells, wide);
    if (!LineRoom(viewer, count))
        return RZ_ERR_MEMORY;
    for (int i = 0; i < lines; ++i)
    {
        long long at = (long long)line + i;
        bool inside = at >= 0 && at < picture->GetLines() && count > (long long)x;
        if (inside)
            picture->PaintStackLine(at, viewer->cells.data(), count);
        unsigned char* out = kinds + (size_t)i * (size_t)cells;
        for (int c = 0; c < cells; ++c)
        {
            long long cell = (long long)x + c;
            out[c] = inside && cell < count ? viewer->cells[(size_t)cell] : (unsigned char)PAINT_OUTSIDE;
        }
    }
    return 0;
}

// As rzw_viewer_paint_kinds, in the tool's colours into `rgba` (4 bytes a cell).
EMSCRIPTEN_KEEPALIVE int rzw_viewer_paint(Viewer* viewer, int field, double line, int lines, double x, int cells,
                                          unsigned char* rgba)
{
    int code = rzw_viewer_paint_kinds(viewer, field, line, lines, x, cells, rgba);
    if (code != 0)
        return code;
    // The kinds fill the first quarter: each becomes its colour from the last one back, so
    // that no kind is overwritten before it is read.
    for (size_t i = (size_t)lines * (size_t)cells; i-- > 0;)
    {
        const PaintColour& colour = kPaintPalette[rgba[i]];
        unsigned char* pixel = rgba + 4 * i;
        pixel[3] = 255;
        pixel[2] = colour.blue;
        pixel[1] = colour.green;
        pixel[0] = colour.red;
    }
    return 0;
}

// What stands on line `line` of a field's stack: 1 with the block's index and the row
// (from 0) in place[0] and place[1], and the two files' blocks there (as rz_block
// handles, null where a file has none) in blocks[0] and blocks[1]; 0 for a separator.
EMSCRIPTEN_KEEPALIVE int rzw_viewer_locate(Viewer* viewer, int field, double line, int* place, rz_block** blocks)
{
    FieldPicture* picture = PictureOf(viewer, field);
    int block = 0;
    long long row = 0;
    if (picture == nullptr || !picture->FindRow((long long)line, block, row))
        return 0;
    const DrawnBlock& drawn = viewer->fields[(size_t)field].blocks[(size_t)block];
    place[0] = block;
    place[1] = (int)row;
    blocks[0] = reinterpret_cast<rz_block*>(drawn.pBlock);
    blocks[1] = reinterpret_cast<rz_block*>(drawn.pOther);
    return 1;
}

// The lines of a field's picture that are lines between two blocks, from the top, in
// `lines` (room for `room` of them): how many there are, or -1 for no such field.
EMSCRIPTEN_KEEPALIVE int rzw_viewer_separators(Viewer* viewer, int field, double* lines, int room)
{
    FieldPicture* picture = PictureOf(viewer, field);
    if (picture == nullptr)
        return -1;
    std::vector<long long> separators = picture->SeparatorLines();
    for (size_t i = 0; i < separators.size() && (int)i < room; ++i)
        lines[i] = (double)separators[i];
    return (int)separators.size();
}

// For `count` lines from `line` of a field's picture, 1 in `differ` where the line has a
// cell that differs between the two files (PAINT_DIFFERS), else 0: how many do, or a
// negative code (rzw_describe_code).
EMSCRIPTEN_KEEPALIVE double rzw_viewer_differing_lines(Viewer* viewer, int field, double line, double count,
                                                       unsigned char* differ)
{
    FieldPicture* picture = PictureOf(viewer, field);
    if (picture == nullptr)
        return viewer == nullptr ? RZW_ERR_NO_PICTURE : RZW_ERR_FIELD;
    if (count < 0)
        return RZW_ERR_PART;
    long long found = 0;
    long long wide = picture->GetCellsWide();
    for (long long i = 0; i < (long long)count; ++i)
    {
        long long at = (long long)line + i;
        bool inside = at >= 0 && at < picture->GetLines();
        if (inside && !PaintWholeLine(viewer, picture, at))
            return RZ_ERR_MEMORY;
        const unsigned char* cells = viewer->cells.data();
        differ[i] = inside && std::find(cells, cells + wide, (unsigned char)PAINT_DIFFERS) != cells + wide;
        found += differ[i];
    }
    return (double)found;
}

// The cell of line `line` of a field's picture that differs between the two files
// (PAINT_DIFFERS) nearest after bit `bit` (`step` 1) or before it (`step` -1): its bit,
// or -1 where there is none, or a negative code (rzw_describe_code) below -1.
EMSCRIPTEN_KEEPALIVE double rzw_viewer_differing_cell(Viewer* viewer, int field, double line, double bit, int step)
{
    FieldPicture* picture = PictureOf(viewer, field);
    if (picture == nullptr)
        return viewer == nullptr ? RZW_ERR_NO_PICTURE : RZW_ERR_FIELD;
    if (line < 0 || line >= (double)picture->GetLines())
        return -1;
    if (!PaintWholeLine(viewer, picture, (long long)line))
        return RZ_ERR_MEMORY;
    long long wide = picture->GetCellsWide();
    step = step < 0 ? -1 : 1;
    for (long long at = (long long)bit + step; at >= 0 && at < wide; at += step)
        if (at >= 0 && viewer->cells[(size_t)at] == PAINT_DIFFERS)
            return (double)at;
    return -1;
}

// rzw_diff's text, and where each difference told stands in `viewer`'s pictures (made of
// the same two models): in *places, 4 numbers a difference told (the caller frees them
// with free()): the picture's field, line and bit (each -1 where none: a difference of
// the whole file, of a field or of a block), and how many lines of the text tell it.
// Null without memory.
EMSCRIPTEN_KEEPALIVE char* rzw_diff_places(rz_model* first, rz_model* second, Viewer* viewer, int max, double* count,
                                           double** places)
{
    *places = nullptr;
    try
    {
        RowComparison comparison(ModelOf(first), VIEW_CARRIED, true);
        PlacedDiffLines lines(max, viewer, ModelOf(first), ModelOf(second));
        comparison.Finish(ModelOf(second), false, lines);
        *count = (double)lines.Count();
        const std::vector<DiffPlace>& placed = lines.Places();
        *places = static_cast<double*>(malloc(sizeof(double) * 4 * std::max<size_t>(placed.size(), 1)));
        char* text = *places != nullptr ? CopyOut(lines.Finish()) : nullptr;
        if (text == nullptr)
        {
            free(*places);
            *places = nullptr;
            return nullptr;
        }
        for (size_t i = 0; i < placed.size(); ++i)
        {
            double* out = *places + 4 * i;
            out[0] = placed[i].field;
            out[1] = placed[i].line;
            out[2] = placed[i].bit;
            out[3] = placed[i].lines;
        }
        return text;
    }
    catch (...)
    {
        free(*places);
        *places = nullptr;
        return nullptr;
    }
}
// `rizeroz diff FIRST SECOND --max MAX`'s text (without colour), which the caller frees
// with free(), and the number of differences in *count. Null without memory.
EMSCRIPTEN_KEEPALIVE char* rzw_diff(rz_model* first, rz_model* second, int max, double* count)
{
    try
    {
        RowComparison comparison(ModelOf(first), VIEW_CARRIED, true);
        DiffLines lines(max);
        comparison.Finish(ModelOf(second), false, lines);
        *count = (double)lines.Count();
        return CopyOut(lines.Finish());
    }
    catch (...)
    {
        return nullptr;
    }
}
}

extern "C" {

// The library's error for a result code that a call gave without an error object (a
// value the model refuses, memory that ran out): "PATH: error: what the code means (error
// CODE).", with `path` naming what was refused; free it with rz_error_free. Null without
// memory.
EMSCRIPTEN_KEEPALIVE rz_error* rzw_code_error(int code, const char* path)
{
    rz_error* error = nullptr;
    SetCodeError(&error, code, path);
    return error;
}

// The library's error for a document that Node could not open (`read` 0) or read (`read`
// 1), for the reason Node names as the system does ("ENOENT"): the error a read by name
// gives, "PATH: error: the document cannot be opened (No such file or directory) (error
// -101)." A reason this table lacks is an open with no reason known. Free it with
// rz_error_free; null without memory.
EMSCRIPTEN_KEEPALIVE rz_error* rzw_system_error(const char* path, int read, const char* reason)
{
    static const struct
    {
        const char* name;
        int value;
    } kReasons[] = {
        {"ENOENT", ENOENT}, {"EACCES", EACCES}, {"EPERM", EPERM},   {"EISDIR", EISDIR}, {"ENOTDIR", ENOTDIR},
        {"ELOOP", ELOOP},   {"EMFILE", EMFILE}, {"ENFILE", ENFILE}, {"EIO", EIO},       {"ENAMETOOLONG", ENAMETOOLONG},
        {"EBUSY", EBUSY},   {"ENXIO", ENXIO},   {"ENODEV", ENODEV}, {"EINVAL", EINVAL}, {"EAGAIN", EAGAIN},
        {"ENOMEM", ENOMEM}};
    int value = 0;
    for (const auto& known : kReasons)
        if (reason != nullptr && strcmp(reason, known.name) == 0)
            value = known.value;
    rz_error* error = nullptr;
    SetSystemError(&error, path, value, read != 0);
    return error;
}
}
