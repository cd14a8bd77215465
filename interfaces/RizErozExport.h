// Export and import of the library's symbols.
//
// Every class and function that a caller of the shared library may use carries
// RIZEROZ_API. The library's own sources are compiled with RIZEROZ_BUILDING defined;
// callers see the import form on Windows and the default visibility elsewhere.
#ifndef RIZEROZ_EXPORT_H
#define RIZEROZ_EXPORT_H

#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(RIZEROZ_STATIC)
#define RIZEROZ_API
#elif defined(RIZEROZ_BUILDING)
#define RIZEROZ_API __declspec(dllexport)
#else
#define RIZEROZ_API __declspec(dllimport)
#endif
#else
#define RIZEROZ_API __attribute__((visibility("default")))
#endif

// The calling convention of the library's C functions: cdecl, whatever the compiler's
// default is.
#if defined(_WIN32) || defined(__CYGWIN__)
#define RIZEROZ_CDECL __cdecl
#else
#define RIZEROZ_CDECL
#endif

#endif
