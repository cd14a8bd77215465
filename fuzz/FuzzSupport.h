// Helpers shared by the fuzz targets: a private scratch file per process, a document
// file rewritten for every input (in memory where the system allows), and a check
// that aborts (so that libFuzzer records the input) when a property does not hold.
#ifndef RIZEROZ_FUZZ_FUZZSUPPORT_H
#define RIZEROZ_FUZZ_FUZZSUPPORT_H

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/mman.h>
#endif

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

// The file a target hands the reader, rewritten for every input. Where the system has
// files in memory (Linux: memfd_create), it is one of those, opened again by its name
// under /proc/self/fd; else a scratch file (ScratchPath). Rewriting a file on disk for
// every input took longer than reading it.
class DocumentFile
{
public:
    explicit DocumentFile(const char* name)
    {
#if defined(__linux__) && defined(MFD_CLOEXEC)
        m_nDescriptor = memfd_create(name, MFD_CLOEXEC);
        if (m_nDescriptor >= 0)
        {
            m_path = "/proc/self/fd/" + std::to_string(m_nDescriptor);
            if (access(m_path.c_str(), R_OK) == 0)
                return;
            close(m_nDescriptor);
            m_nDescriptor = -1;
        }
#endif
        m_path = ScratchPath(name);
    }
    DocumentFile(const DocumentFile&) = delete;
    DocumentFile& operator=(const DocumentFile&) = delete;

    const std::string& Path() const
    {
        return m_path;
    }

    bool Write(const void* data, size_t size)
    {
        if (m_nDescriptor < 0)
            return WriteFile(m_path, data, size);
#if defined(__linux__)
        if (ftruncate(m_nDescriptor, 0) != 0)
            return false;
        for (size_t done = 0; done < size;)
        {
            ssize_t wrote = pwrite(m_nDescriptor, (const char*)data + done, size - done, (off_t)done);
            if (wrote <= 0)
                return false;
            done += (size_t)wrote;
        }
#endif
        return true;
    }

private:
    std::string m_path;
    int m_nDescriptor = -1;
};

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
