// Writing a picture as a PNG palette picture, 4 bits a pixel: the picture is held packed
// (half a byte a pixel) while it is compressed. A file is written through the library's
// safe save (SafeSave.h): the picture takes OUT's place only once it is whole, and a
// signal that ends the tool on the way leaves no part of it behind.
#ifndef RIZEROZ_TOOLS_PNGWRITER_H
#define RIZEROZ_TOOLS_PNGWRITER_H

#include <string>

#include "RenderPicture.h"

class Progress;

// Writes `picture`, each pixel a Paint, to `path` ("-": standard output), telling
// `progress` (may be null) of the pixel rows written. False, with one sentence in
// `error`, when it cannot; OUT is then left as it was.
bool WritePng(FieldPicture& picture, const std::string& path, std::string& error, Progress* progress);

#endif
