// The version of the library as built: what RizErozVersion.h said when this library was
// compiled, so a caller can tell the loaded library from the headers it was built with.
#include "RizErozVersion.h"

extern "C" const char* RIZEROZ_CDECL rz_version(void)
{
    return RIZEROZ_VERSION_STRING;
}
