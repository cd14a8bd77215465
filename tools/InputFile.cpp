// Inputs the handler opens by name: standard input ("-") and, for a command that reads
// its input twice, pipes, FIFOs and devices, copied once into a temporary file.
#include "DataFile.h"
#include "Diagnostics.h"
#include "Progress.h"
#include "Utf8CommandLine.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace
{
// True when the handler, reading `path`, stops before the document's end: at an error,
// or at the root element's end. Then nothing after what was copied matters.
bool HandlerStopsIn(const std::string& path)
{
    RODAzivUzirAdovIzozari handler;
    return ReadWithHandler(handler, path) != XML_ERR_UNEXPECTED_END;
}
}

bool IsRegularFile(const std::string& path)
{
#if defined(_WIN32)
    struct _stati64 status;
    return _wstati64(WidePath(path).c_str(), &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFREG;
#else
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
#endif
}

FILE* CreateTemporaryFile(std::string& name)
{
#if defined(_WIN32)
    wchar_t folder[MAX_PATH + 1], path[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"rzi", 0, path) == 0)
    {
        errno = EACCES;
        return nullptr;
    }
    name = Utf8Text(path);
    FILE* file = fopen(name.c_str(), "wb");
    if (file == nullptr)
        remove(name.c_str());
    return file;
#else
    const char* folder = getenv("TMPDIR");
    name = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/rizeroz-input-XXXXXX";
    int descriptor = mkstemp(&name[0]);
    FILE* file = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
    if (file == nullptr && descriptor >= 0)
    {
        int reason = errno;
        close(descriptor);
        unlink(name.c_str());
        errno = reason;
    }
    return file;
#endif
}

InputFile::~InputFile()
{
    if (!m_copy.empty())
        remove(m_copy.c_str());
}

bool InputFile::Open(const std::string& path, bool rereadable, std::string& error)
{
    m_path = path;
    m_shown = ShownName(path);
    bool standard = IsStandardStream(path);
#if defined(_WIN32)
    // Windows has no name for standard input: the handler reads a copy.
    (void)rereadable;
    if (!standard)
        return true;
    PrepareStandardStream(stdin);
    return Copy(stdin, m_shown, error);
#else
    if (standard)
        m_path = "/dev/stdin";
    if (!rereadable)
        return true;
    // Regular files, and paths that do not open, are read where they are: the reader
    // reports what is wrong with them.
    struct stat info;
    if (stat(m_path.c_str(), &info) != 0 || S_ISREG(info.st_mode))
        return true;
    FILE* in = fopen(m_path.c_str(), "rb");
    if (in == nullptr)
        return true;
    bool copied = Copy(in, m_shown, error);
    fclose(in);
    return copied;
#endif
}

// Copies `in` to a temporary file, which becomes the path to read.
bool InputFile::Copy(FILE* in, const std::string& shown, std::string& error)
{
    std::string name;
    FILE* out = CreateTemporaryFile(name);
    if (out == nullptr)
    {
        error = FileError(shown, std::string("the input cannot be copied for reading (") + strerror(errno) + ")");
        return false;
    }
    m_copy = m_path = name;
    // No XML document holds a NUL byte: after one, the copy so far is read now and then
    // (each time it has doubled), and copying stops once the handler stops inside it.
    char chunk[65536];
    unsigned long long copied = 0, nextLook = 0;
    bool nul = false, failed = false;
    size_t got;
    Progress progress("copying " + shown);
    errno = 0;
    while (!failed && (got = fread(chunk, 1, sizeof(chunk), in)) > 0)
    {
        failed = fwrite(chunk, 1, got, out) != got;
        copied += got;
        progress.Update(copied, 0);
        nul = nul || memchr(chunk, 0, got) != nullptr;
        if (!failed && nul && copied >= nextLook)
        {
            failed = fflush(out) != 0;
            if (!failed && HandlerStopsIn(m_copy))
                break;
            nextLook = 2 * copied;
        }
    }
    int reason = errno;
    failed = failed || ferror(in) != 0;
    failed = (fclose(out) != 0) || failed;
    if (failed)
        error = FileError(shown, std::string("the input cannot be copied for reading (") +
                                     strerror(reason != 0 ? reason : EIO) + ")");
    return !failed;
}
