// Writing a palette picture as a PNG file with libpng, one pixel row at a time, so that
// a picture of any height needs memory for one row only.
#ifndef RIZEROZ_TOOLS_PNGWRITER_H
#define RIZEROZ_TOOLS_PNGWRITER_H

#include <stdio.h>

#include <string>

#include "RenderPicture.h"

struct PngWriterState;

class PngWriter
{
public:
    PngWriter();
    // A file not finished with Finish is closed and, when it is a plain file, removed.
    ~PngWriter();

    // Creates `path` ("-": standard output) for a picture of `width` x `height` pixels, each a Paint.
    bool Start(const std::string& path, long long width, long long height, std::string& error);
    // Writes the next row: `width` paints.
    bool WriteRow(const unsigned char* paints, std::string& error);
    // Writes the end of the picture and closes the file.
    bool Finish(std::string& error);

private:
    PngWriter(const PngWriter&);
    PngWriter& operator=(const PngWriter&);
    bool Failed(std::string& error);

    PngWriterState* m_pState;   // owned
    FILE* m_pFile;              // owned while open
    std::string m_path;
};

#endif
