// The viewer page's module (web/): what the page needs beyond the C interface, compiled
// to WebAssembly with the library, the C interface and the tool's comparison and
// pictures (tools/views: ModelCompare, DiffText, RenderPicture), so that the page
// reads, compares and draws exactly as the library and `rizeroz` do. Models are the C
// interface's handles (rz_model); a picture or a comparison works on the model behind one.
#include <emscripten.h>
#include <emscripten/heap.h>
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
// `rgba` (4 bytes a cell, line after line), in the tool's colours; what lies outside the
// stack is PAINT_OUTSIDE. 0, or a negative code (rzw_describe_code): RZW_ERR_NO_PICTURE,
// RZW_ERR_FIELD, RZW_ERR_PART, or RZ_ERR_MEMORY.
EMSCRIPTEN_KEEPALIVE int rzw_viewer_paint(Viewer* viewer, int field, double line, int lines, double x, int cells,
                                          unsigned char* rgba)
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
    try
    {
        if ((long long)viewer->cells.size() < count)
            viewer->cells.resize((size_t)count);
    }
    catch (...)
    {
        return RZ_ERR_MEMORY;
    }
    for (int i = 0; i < lines; ++i)
    {
        long long at = (long long)line + i;
        bool inside = at >= 0 && at < picture->GetLines() && count > (long long)x;
        if (inside)
            picture->PaintStackLine(at, viewer->cells.data(), count);
        for (int c = 0; c < cells; ++c)
        {
            long long cell = (long long)x + c;
            int paint = inside && cell < count ? viewer->cells[(size_t)cell] : PAINT_OUTSIDE;
            unsigned char* pixel = rgba + 4 * ((size_t)i * (size_t)cells + (size_t)c);
            pixel[0] = kPaintPalette[paint].red;
            pixel[1] = kPaintPalette[paint].green;
            pixel[2] = kPaintPalette[paint].blue;
            pixel[3] = 255;
        }
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
}
