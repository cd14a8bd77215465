/* The version of the RIZ Eroz data file library.
 *
 * The macros give the version a program was compiled against; rz_version() gives
 * the version of the library actually loaded, which may be a later release of the same
 * major version. Usable from C (C99) and C++ (C++11).
 *
 * The three numbers below are the project's version: CMakeLists.txt reads them from here.
 */
#ifndef RIZEROZ_VERSION_H
#define RIZEROZ_VERSION_H

#include "RizErozExport.h"

#define RIZEROZ_VERSION_MAJOR 1
#define RIZEROZ_VERSION_MINOR 0
#define RIZEROZ_VERSION_PATCH 0

#define RIZEROZ_VERSION_JOIN_(major, minor, patch) #major "." #minor "." #patch
#define RIZEROZ_VERSION_JOIN(major, minor, patch) RIZEROZ_VERSION_JOIN_(major, minor, patch)
/* "MAJOR.MINOR.PATCH", such as "1.0.0". */
#define RIZEROZ_VERSION_STRING RIZEROZ_VERSION_JOIN(RIZEROZ_VERSION_MAJOR, RIZEROZ_VERSION_MINOR, RIZEROZ_VERSION_PATCH)

#ifdef __cplusplus
extern "C" {
#endif

/* The loaded library's version as "MAJOR.MINOR.PATCH"; a static text, never null. */
RIZEROZ_API const char* RIZEROZ_CDECL rz_version(void);

#ifdef __cplusplus
}
#endif

#endif
