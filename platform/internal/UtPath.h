// The library's paths, in one place: they are UTF-8 on every system and separate folders
// with '\\' as well as '/'. A name is composed after a default directory here, a caller's
// path split into its folder and its name here, and on Windows a path reaches the file
// system as UTF-16 from here. Internal to the library (neither exported nor installed):
// the handler (its opens, the document type file), util_fopen and the safe save use these.
#ifndef RIZEROZ_UTPATH_H
#define RIZEROZ_UTPATH_H

#include <stddef.h>

#include <string>

// True when `name` is a full path, which no default directory goes before: it holds ':'
// (a drive, "C:\\data\\a.xml"), or, on systems whose separator is '/', it starts with '/'.
bool util_IsFullPath(const char* name);

// `name` after the default directory `directory`: `name` itself when it is a full path,
// else the directory, one backslash and the name (an empty or null directory stands for
// the root folder). Throws std::bad_alloc only.
std::string util_ComposePath(const char* directory, const char* name);

// Where the name in `path` begins: just after its last separator ('\\' or '/'), 0 when it
// has none. The folder is what stands before that separator ("" for one at the start:
// the root folder).
size_t util_PathNameStart(const char* path);

#if defined(_WIN32)
// `path` as UTF-16. Bytes that are no UTF-8 (a name in the ANSI code page from an older
// caller) are read in the ANSI code page instead, as the narrow calls would have read
// them. An empty text for a null or empty path. Throws std::bad_alloc only.
std::wstring util_WidePath(const char* path);
#endif

#endif
