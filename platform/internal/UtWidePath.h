// Windows: the library's paths are UTF-8 text, the file system's names UTF-16. Internal to
// the library (neither exported nor installed): util_fopen and the safe save pass every
// path through util_WidePath before a wide Windows call (_wfopen, CreateFileW, MoveFileExW).
#ifndef RIZEROZ_UTWIDEPATH_H
#define RIZEROZ_UTWIDEPATH_H

#if defined(_WIN32)
#include <string>

// `path` as UTF-16. Bytes that are no UTF-8 (a name in the ANSI code page from an older
// caller) are read in the ANSI code page instead, as the narrow calls would have read
// them. An empty text for a null or empty path. Throws std::bad_alloc only.
std::wstring util_WidePath(const char* path);
#endif

#endif
