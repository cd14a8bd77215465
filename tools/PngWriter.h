// Writing a palette picture as a PNG file with libpng, one pixel row at a time, so that
// a picture of any height needs memory for one row only. A file is written through the
// library's safe save (SafeSave.h): the picture takes OUT's place only once it is whole,
// and a signal that ends the tool on the way leaves no part of it behind.
#ifndef RIZEROZ_TOOLS_PNGWRITER_H
#define RIZEROZ_TOOLS_PNGWRITER_H

#include <stdio.h>

#include <string>

#include "ErrorHandler.h"
#include "PendingFile.h"
#include "RenderPicture.h"
#include "SafeSave.h"

struct PngWriterState;

class PngWriter
{
public:
    PngWriter();
    // A file not finished with Finish is abandoned: OUT stays as it was.
    ~PngWriter();

    // Creates `path` ("-": standard output) for a picture of `width` x `height` pixels, each a Paint.
    bool Start(const std::string& path, long long width, long long height, std::string& error);
    // Writes the next row: `width` paints.
    bool WriteRow(const unsigned char* paints, std::string& error);
    // Writes the end of the picture and puts the file in OUT's place.
    bool Finish(std::string& error);

private:
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;
    bool Failed(std::string& error);

    PngWriterState* m_pState;   // owned
    PendingFileGuard m_guard;   // removes the temporary file of m_file should a signal end the tool
    ErrorHandler m_errors;      // the safe save's reports
    SVFSafeFile m_file;         // the file, unless the picture goes to standard output
    std::string m_path;
};

#endif
