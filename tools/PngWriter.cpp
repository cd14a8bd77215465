// The PNG writer, on libpng. libpng reports errors by a long jump back to the setjmp of
// the calls that failed: they run inside Guarded, and no frame between holds anything
// with a destructor.
#include "PngWriter.h"

#include <errno.h>
#include <string.h>

#include <vector>

#include <png.h>

#include "DataFile.h"
#include "Diagnostics.h"
#include "ErrorHandler.h"
#include "PendingFile.h"
#include "Progress.h"
#include "SafeSave.h"

// Where libpng's output goes, as its callbacks reach it.
struct PngOutput
{
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
    PngOutput* state = (PngOutput*)png_get_error_ptr(png);
    if (state->message[0] == '\0')
        snprintf(state->message, sizeof(state->message), "%s", message);
    png_longjmp(png, 1);
}

void OnWrite(png_structp png, png_bytep data, size_t length)
{
    PngOutput* state = (PngOutput*)png_get_io_ptr(png);
    errno = 0;
    if (state->file != nullptr && fwrite(data, 1, length, state->file) != length)
    {
        snprintf(state->message, sizeof(state->message), "%s", errno != 0 ? strerror(errno) : "write error");
        png_error(png, state->message);
    }
    if (state->safe != nullptr && state->safe->Write(data, length) != 0)
        png_error(png, "the safe save failed");   // its report tells why
}

// Runs `calls` of libpng: false when libpng reports an error, by a long jump back here
// (`calls`, a lambda, holds nothing with a destructor either).
template <typename Calls>
bool Guarded(png_structp png, Calls calls)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    calls();
    return true;
}

void StartPicture(png_structp png, png_infop info, PngOutput* output, png_uint_32 width, png_uint_32 height)
{
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_write_fn(png, output, OnWrite, [](png_structp) {});   // nothing to flush
    png_set_IHDR(png, info, width, height, kBitDepth, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[PAINT_COUNT];
    for (int i = 0; i < PAINT_COUNT; ++i)
        palette[i] = png_color{kPaintPalette[i].red, kPaintPalette[i].green, kPaintPalette[i].blue};
    png_set_PLTE(png, info, palette, PAINT_COUNT);
    // Palette pictures compress best unfiltered, and that is also the fastest.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    // Fast compression: a picture of millions of rows is written in seconds, not minutes.
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    png_set_packing(png);   // rows are given one paint per byte
}

// The picture through libpng to `output`: 1 when written, 0 when libpng failed (its
// message in `output`), -1 when there is no memory for libpng's structures.
int WriteRows(FieldPicture& picture, PngOutput& output, Progress* progress)
{
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &output, OnError, [](png_structp, png_const_charp) {});
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    std::vector<unsigned char> row((size_t)picture.GetWidth());
    bool written =
        info != nullptr && Guarded(png, [&] {
            StartPicture(png, info, &output, (png_uint_32)picture.GetWidth(), (png_uint_32)picture.GetHeight());
            for (long long y = 0; y < picture.GetHeight(); ++y)
            {
                picture.NextRow(row.data(), picture.GetWidth());
                png_write_row(png, row.data());
                if (progress != nullptr)
                    progress->Update((unsigned long long)y + 1, (unsigned long long)picture.GetHeight());
            }
            png_write_end(png, nullptr);
        });
    int result = info == nullptr ? -1 : written ? 1 : 0;
    png_destroy_write_struct(&png, &info);
    return result;
}
}

bool WritePng(FieldPicture& picture, const std::string& path, std::string& error, Progress* progress)
{
    bool standard = IsStandardStream(path);
    PendingFileGuard guard;   // removes the file's temporary file should a signal end the tool
    ErrorHandler errors;      // the safe save's reports
    SVFSafeFile file;         // the file, unless the picture goes to standard output
    if (standard)
        PrepareStandardStream(stdout);
    else if (file.Open(path.c_str(), &errors) < 0)
    {
        error = SaveError(errors, path);
        return false;
    }
    guard.Watch(file.GetTemporaryName());
    PngOutput output = {standard ? stdout : nullptr, standard ? nullptr : &file, ""};
    int written = WriteRows(picture, output, progress);
    if (written < 0)
    {
        error = FileError(path, "there is not enough memory for the picture");
        return false;
    }
    errno = 0;
    if (written > 0 && standard && fflush(stdout) != 0)
        snprintf(output.message, sizeof(output.message), "%s", strerror(errno));
    else if (written > 0 && (standard || file.Commit() >= 0))
        return true;
    error =
        !standard && errors.GetFailure() != nullptr
            ? SaveError(errors, path)
            : FileError(ShownName(path, true), std::string("the picture cannot be written (") + output.message + ")");
    return false;
}
