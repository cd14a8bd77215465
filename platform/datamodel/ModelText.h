// Texts held by the data model: owned new[] copies.
#ifndef RIZEROZ_MODEL_TEXT_H
#define RIZEROZ_MODEL_TEXT_H

#include <new>
#include <string.h>

// A new[] copy of `text`, or null for a null text (or a failed allocation).
inline char* CopyModelText(const char* text)
{
    if (text == 0)
        return 0;
    size_t length = strlen(text);
    char* copy = new (std::nothrow) char[length + 1];
    if (copy != 0)
        memcpy(copy, text, length + 1);
    return copy;
}

#endif
