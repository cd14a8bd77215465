// The library's paths (UtPath.h): composing and splitting them, and opening files by them
// (util_fopen). Paths are UTF-8 on every system and use the backslash as separator; on
// Windows they reach the file system as UTF-16 (util_WidePath), elsewhere as the bytes
// given, each backslash read as '/'.
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include "UtUtility.h"
#include "UtPath.h"

bool util_IsFullPath(const char* name)
{
    if (strchr(name, ':') != nullptr)
        return true;
#if !defined(_WIN32)
    if (name[0] == '/')
        return true;
#endif
    return false;
}

std::string util_ComposePath(const char* directory, const char* name)
{
    if (util_IsFullPath(name))
        return name;
    std::string path = directory != nullptr ? directory : "";
    path += '\\';
    return path + name;
}

size_t util_PathNameStart(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p)
        if (*p == '\\' || *p == '/')
            name = p + 1;
    return (size_t)(name - path);
}

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace
{
// `path` (`length` bytes, not counting its terminator) in code page `page`; false when
// its bytes are not text of that page.
bool Widen(const char* path, int length, UINT page, DWORD flags, std::wstring& wide)
{
    int count = MultiByteToWideChar(page, flags, path, length, 0, 0);
    if (count <= 0)
        return false;
    wide.assign((size_t)count, L'\0');
    return MultiByteToWideChar(page, flags, path, length, &wide[0], count) == count;
}
}

std::wstring util_WidePath(const char* path)
{
    std::wstring wide;
    size_t length = path != 0 ? strlen(path) : 0;
    if (length == 0 || length > (size_t)INT_MAX)
        return wide;
    if (!Widen(path, (int)length, CP_UTF8, MB_ERR_INVALID_CHARS, wide))
        Widen(path, (int)length, CP_ACP, 0, wide);
    return wide;
}

FILE* util_fopen(const char* path, const char* mode)
{
    if (path == 0 || mode == 0)
    {
        errno = EINVAL;
        return 0;
    }
    try
    {
        std::wstring wideMode(mode, mode + strlen(mode));   // modes are ASCII
        return _wfopen(util_WidePath(path).c_str(), wideMode.c_str());
    }
    catch (const std::bad_alloc&)
    {
        errno = ENOMEM;
        return 0;
    }
}
#else
FILE* util_fopen(const char* path, const char* mode)
{
    if (path == 0 || mode == 0)
    {
        errno = EINVAL;
        return 0;
    }
    // The library's paths separate folders with '\\'; this system uses '/'.
    size_t length = strlen(path);
    char* local = (char*)malloc(length + 1);
    if (local == 0)
    {
        errno = ENOMEM;
        return 0;
    }
    for (size_t i = 0; i <= length; ++i)
        local[i] = path[i] == '\\' ? '/' : path[i];
    FILE* file = fopen(local, mode);
    int openError = errno;
    free(local);
    errno = openError;
    return file;
}
#endif
