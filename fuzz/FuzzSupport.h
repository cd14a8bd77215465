// Helpers shared by the fuzz targets: a private scratch file per process, and a check
// that aborts (so that libFuzzer records the input) when a property does not hold.
#ifndef RIZEROZ_FUZZ_FUZZSUPPORT_H
#define RIZEROZ_FUZZ_FUZZSUPPORT_H

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "UtByteBuffer.h"

namespace fuzzsupport
{
// The scratch files made so far, removed when the process exits normally (a run that
// ends on a finding leaves them for a look).
inline std::vector<std::string>& ScratchFiles()
{
    static std::vector<std::string> files;
    return files;
}

inline void RemoveScratchFiles()
{
    for (const std::string& path : ScratchFiles())
        remove(path.c_str());
}

// A path of this process's own under $TMPDIR (or /tmp; on Windows %TEMP%, or the
// current folder): "rizeroz-fuzz-<pid>-<name>". Call it once per name (keep the result
// in a static).
inline std::string ScratchPath(const char* name)
{
#if defined(_WIN32)
    const char* dir = getenv("TEMP");
    std::string path = dir != nullptr && *dir != '\0' ? dir : ".";
    path += "\\rizeroz-fuzz-";
#else
    const char* dir = getenv("TMPDIR");
    std::string path = dir != nullptr && *dir != '\0' ? dir : "/tmp";
    path += "/rizeroz-fuzz-";
#endif
    path += std::to_string((long)getpid()) + "-" + name;
    if (ScratchFiles().empty())
        atexit(RemoveScratchFiles);
    ScratchFiles().push_back(path);
    return path;
}

inline bool WriteFile(const std::string& path, const void* data, size_t size)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = size == 0 || fwrite(data, 1, size, file) == size;
    return fclose(file) == 0 && ok;
}

// Aborts with a message when `condition` is false: a broken property is a finding.
inline void Check(bool condition, const char* what)
{
    if (!condition)
    {
        fprintf(stderr, "property broken: %s\n", what);
        abort();
    }
}

// The bytes of a row, in order.
inline std::vector<unsigned char> BytesOf(UtByteBuffer* row)
{
    std::vector<unsigned char> bytes(row->GetTotalSize());
    if (!bytes.empty())
        row->CopyData(0, bytes.data(), (int)bytes.size());
    return bytes;
}
}

#define FUZZ_CHECK(condition) fuzzsupport::Check((condition), #condition)

#endif
