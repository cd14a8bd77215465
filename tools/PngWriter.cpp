// The PNG writer, on libpng. libpng reports errors by a long jump back to the setjmp of
// the call that failed; each function that calls libpng does so inside a guard of its
// own whose frame holds nothing with a destructor.
#include "PngWriter.h"

#include <errno.h>
#include <string.h>

#include <png.h>

#include "DataFile.h"
#include "Diagnostics.h"

struct PngWriterState
{
    png_structp png;
    png_infop info;
    FILE* file;          // standard output, or null
    SVFSafeFile* safe;   // else the safe file
    char message[256];   // libpng's message or the system's, for the sentence
};

namespace
{
// Bits per pixel: every paint is a palette index below 16.
const int kBitDepth = 4;
static_assert(PAINT_COUNT <= (1 << kBitDepth), "the palette holds every paint");

void OnError(png_structp png, png_const_charp message)
{
    PngWriterState* state = (PngWriterState*)png_get_error_ptr(png);
    if (state->message[0] == '\0')
        snprintf(state->message, sizeof(state->message), "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnWrite(png_structp png, png_bytep data, size_t length)
{
    PngWriterState* state = (PngWriterState*)png_get_io_ptr(png);
    errno = 0;
    if (state->file != nullptr && fwrite(data, 1, length, state->file) != length)
    {
        snprintf(state->message, sizeof(state->message), "%s", errno != 0 ? strerror(errno) : "write error");
        png_error(png, state->message);
    }
    if (state->safe != nullptr && state->safe->Write(data, length) != 0)
        png_error(png, "the safe save failed");   // its report tells why
}

void OnFlush(png_structp) {}

// Runs `calls` of libpng: false when libpng reports an error, by a long jump back here
// (`calls`, a lambda, holds nothing with a destructor either).
template <typename Calls>
bool Guarded(PngWriterState* state, Calls calls)
{
    if (setjmp(png_jmpbuf(state->png)))
        return false;
    calls();
    return true;
}

void StartPicture(PngWriterState* state, png_uint_32 width, png_uint_32 height)
{
    png_set_user_limits(state->png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_write_fn(state->png, state, OnWrite, OnFlush);
    png_set_IHDR(state->png, state->info, width, height, kBitDepth, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[PAINT_COUNT];
    for (int i = 0; i < PAINT_COUNT; ++i)
        palette[i] = png_color{PaintPalette()[i].red, PaintPalette()[i].green, PaintPalette()[i].blue};
    png_set_PLTE(state->png, state->info, palette, PAINT_COUNT);
    // Palette pictures compress best unfiltered, and that is also the fastest.
    png_set_filter(state->png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    // Fast compression: a picture of millions of rows is written in seconds, not minutes.
    png_set_compression_level(state->png, 1);
    png_write_info(state->png, state->info);
    png_set_packing(state->png);   // rows are given one paint per byte
}
}

PngWriter::PngWriter() : m_pState(nullptr) {}

PngWriter::~PngWriter()
{
    if (m_pState != nullptr)
    {
        png_destroy_write_struct(&m_pState->png, &m_pState->info);
        delete m_pState;
    }
}

bool PngWriter::Failed(std::string& error)
{
    if (m_pState->safe != nullptr && m_errors.GetLastReport() != nullptr)
        error = SaveError(m_errors, m_path);
    else
        error = FileError(m_path, std::string("the picture cannot be written (") + m_pState->message + ")");
    return false;
}

bool PngWriter::Start(const std::string& path, long long width, long long height, std::string& error)
{
    // "-" is standard output.
    bool standard = path == "-";
    m_path = standard ? "<stdout>" : path;
    if (standard)
        UseBinaryMode(stdout);
    if (!standard && m_file.Open(path.c_str(), &m_errors) < 0)
    {
        error = SaveError(m_errors, path);
        return false;
    }
    m_guard.Watch(m_file.GetTemporaryName());
    m_pState = new PngWriterState();
    m_pState->file = standard ? stdout : nullptr;
    m_pState->safe = standard ? nullptr : &m_file;
    m_pState->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, m_pState, OnError, OnWarning);
    m_pState->info = m_pState->png != nullptr ? png_create_info_struct(m_pState->png) : nullptr;
    if (m_pState->info == nullptr)
    {
        error = FileError(path, "there is not enough memory for the picture");
        return false;
    }
    return Guarded(m_pState, [&] { StartPicture(m_pState, (png_uint_32)width, (png_uint_32)height); }) || Failed(error);
}

bool PngWriter::WriteRow(const unsigned char* paints, std::string& error)
{
    return Guarded(m_pState, [&] { png_write_row(m_pState->png, paints); }) || Failed(error);
}

bool PngWriter::Finish(std::string& error)
{
    if (!Guarded(m_pState, [&] { png_write_end(m_pState->png, nullptr); }))
        return Failed(error);
    errno = 0;
    if (m_pState->file != nullptr && fflush(m_pState->file) != 0)
    {
        error = FileError(m_path, std::string("the picture cannot be written (") + strerror(errno) + ")");
        return false;
    }
    if (m_pState->safe != nullptr && m_file.Commit() < 0)
        return Failed(error);
    return true;
}
