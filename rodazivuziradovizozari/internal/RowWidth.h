// What a row's width means to an expression row, for the reader, its warnings and the
// check before saving alike. Internal to the library.
#ifndef RIZEROZ_ROWWIDTH_H
#define RIZEROZ_ROWWIDTH_H

// Bytes a row of `width` bits takes from an expression: two digits per byte fit in the
// bit stream area of ((width + 7) / 8) * 2 + 3 characters, so (width + 7) / 8 bytes, and
// none for a width of 0 or less. An expression row reads back no more than this.
inline long long ExpressionRowBytes(int width)
{
    return width > 0 ? ((long long)width + 7) / 8 : 0;
}

#endif
