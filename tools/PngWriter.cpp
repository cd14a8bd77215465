// The PNG writer: the picture's pixel rows packed at 4 bits a pixel, compressed at once by
// the zlib compressor of stb_image_write (Debian's libstb-dev, a header alone, so that
// every build has it, the Windows builds too), and framed in PNG chunks here.
#include "PngWriter.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <new>
#include <vector>

#include "DataFile.h"
#include "Diagnostics.h"
#include "ErrorHandler.h"
#include "PendingFile.h"
#include "Progress.h"
#include "SafeSave.h"

// stb_image_write's code, compiled here and kept to this file: its zlib compressor and
// CRC; nothing of it opens a file.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>   // a system header: its own code is not held to our warnings

namespace
{
// Bits per pixel: every paint is a palette index below 16.
const int kBitDepth = 4;
static_assert(PAINT_COUNT <= (1 << kBitDepth), "the palette holds every paint");
// The compressor's effort (stb's quality, 5 and up): the least, as pictures repeat
// themselves row after row and cell after cell, and large ones are written in seconds.
const int kCompression = 5;
// The most bytes of one IDAT chunk.
const size_t kChunkBytes = 1 << 20;

// Where the bytes go: standard output, or the safe file.
struct PngOutput
{
    FILE* file;          // standard output, or null
    SVFSafeFile* safe;   // else the safe file
    char message[256];   // the system's reason, for the sentence

    bool Put(const unsigned char* data, size_t length)
    {
        errno = 0;
        if (file != nullptr && fwrite(data, 1, length, file) != length)
        {
            snprintf(message, sizeof(message), "%s", errno != 0 ? strerror(errno) : "write error");
            return false;
        }
        if (safe != nullptr && safe->Write(data, length) != 0)
        {
            snprintf(message, sizeof(message), "the safe save failed");   // its report tells why
            return false;
        }
        return true;
    }
    // One chunk: its length, its kind, `body` and the CRC of the kind and the body.
    bool Chunk(const char* kind, const unsigned char* body, size_t length)
    {
        std::vector<unsigned char> chunk(length + 12);
        PutNumber(&chunk[0], (unsigned)length);
        memcpy(&chunk[4], kind, 4);
        if (length > 0)
            memcpy(&chunk[8], body, length);
        PutNumber(&chunk[8 + length], stbiw__crc32(&chunk[4], (int)length + 4));
        return Put(chunk.data(), chunk.size());
    }
    static void PutNumber(unsigned char* at, unsigned value)
    {
        for (int i = 0; i < 4; ++i)
            at[i] = (unsigned char)(value >> (24 - 8 * i));
    }
};

// The picture's pixel rows as PNG holds them before compression: each a filter byte (0,
// none) and its pixels packed two to a byte, first pixel high.
std::vector<unsigned char> PackedRows(FieldPicture& picture, Progress* progress)
{
    long long width = picture.GetWidth(), height = picture.GetHeight();
    long long stride = (width * kBitDepth + 7) / 8 + 1;
    std::vector<unsigned char> packed((size_t)(stride * height));
    std::vector<unsigned char> row((size_t)width + 1, 0);
    for (long long y = 0; y < height; ++y)
    {
        picture.NextRow(row.data(), width);
        unsigned char* out = &packed[(size_t)(y * stride)];
        out[0] = 0;
        for (long long x = 0; x < width; x += 2)
            out[1 + x / 2] = (unsigned char)((row[(size_t)x] << 4) | (x + 1 < width ? row[(size_t)x + 1] : 0));
        if (progress != nullptr)
            progress->Update((unsigned long long)y + 1, (unsigned long long)height);
    }
    return packed;
}

// The picture as a PNG file to `output`: 1 when written, 0 when a write failed (the reason
// in `output`), -1 when there is no memory for it, -2 when it is more than the compressor
// takes at once (an int's count of bytes).
int WritePicture(FieldPicture& picture, PngOutput& output, Progress* progress)
{
    if ((picture.GetWidth() * kBitDepth + 7) / 8 + 1 > INT_MAX / picture.GetHeight())
        return -2;
    std::vector<unsigned char> packed = PackedRows(picture, progress);
    int length = 0;
    unsigned char* compressed = stbi_zlib_compress(packed.data(), (int)packed.size(), &length, kCompression);
    std::vector<unsigned char>().swap(packed);
    if (compressed == nullptr)
        return -1;
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char header[13] = {0};
    PngOutput::PutNumber(header, (unsigned)picture.GetWidth());
    PngOutput::PutNumber(header + 4, (unsigned)picture.GetHeight());
    header[8] = kBitDepth;
    header[9] = 3;   // a palette picture; compression, filter and interlace 0
    unsigned char palette[3 * PAINT_COUNT];
    for (int i = 0; i < PAINT_COUNT; ++i)
    {
        palette[3 * i] = kPaintPalette[i].red;
        palette[3 * i + 1] = kPaintPalette[i].green;
        palette[3 * i + 2] = kPaintPalette[i].blue;
    }
    bool written = output.Put(kSignature, sizeof(kSignature)) && output.Chunk("IHDR", header, sizeof(header)) &&
                   output.Chunk("PLTE", palette, sizeof(palette));
    for (size_t at = 0; written && at < (size_t)length; at += kChunkBytes)
        written = output.Chunk("IDAT", compressed + at, std::min(kChunkBytes, (size_t)length - at));
    free(compressed);
    return written && output.Chunk("IEND", nullptr, 0) ? 1 : 0;
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
    int written = -1;
    try
    {
        written = WritePicture(picture, output, progress);
    }
    catch (const std::bad_alloc&)
    {
    }
    if (written < 0)
    {
        error =
            FileError(path, written == -2 ? "the picture is more than 2 GB packed, more than can be compressed at once"
                                          : "there is not enough memory for the picture");
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
