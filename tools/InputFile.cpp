// What an input is: standard input as JSON or a data file, from a look at its first
// bytes; a regular file, or an input that can be read only once (a pipe, a FIFO, a
// device).
#include "DataFile.h"
#include "Utf8CommandLine.h"

#include <errno.h>
#include <stdio.h>

#include <algorithm>
#include <vector>

#if defined(_WIN32)
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#endif

namespace
{
// Standard input is looked at through a window of this many bytes from its start.
const size_t kLookAhead = 65536;

#if defined(_WIN32)
// The kind of standard input from its first bytes, read and then given back: a file's by
// reading and seeking back, a pipe's by peeking, once it holds its first bytes (what
// follows them is not waited for: Windows does not tell that a pipe's writer has gone
// while bytes are left).
FileFormat LookAtStandardInput()
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::vector<char> bytes(kLookAhead);
    DWORD got = 0, waiting = 0;
    DWORD type = GetFileType(input);
    if (type == FILE_TYPE_DISK)
    {
        LARGE_INTEGER start, none;
        none.QuadPart = 0;
        if (!SetFilePointerEx(input, none, &start, FILE_CURRENT) ||
            !ReadFile(input, bytes.data(), (DWORD)bytes.size(), &got, nullptr) ||
            !SetFilePointerEx(input, start, nullptr, FILE_BEGIN))
            return FORMAT_BY_NAME;
        return FormatOfText(bytes.data(), got, got < bytes.size());
    }
    if (type != FILE_TYPE_PIPE)
        return FORMAT_BY_NAME;
    while (PeekNamedPipe(input, bytes.data(), (DWORD)bytes.size(), &got, &waiting, nullptr) && got == 0)
        Sleep(10);
    // A pipe that fails to be peeked at has ended, empty.
    return got == 0 ? (GetLastError() == ERROR_BROKEN_PIPE ? FORMAT_DATA_FILE : FORMAT_BY_NAME)
                    : FormatOfText(bytes.data(), got, false);
}
#else
// A regular file as standard input, read from where standard input stands without moving it.
FileFormat LookAtFile(std::vector<char>& bytes)
{
    off_t offset = lseek(0, 0, SEEK_CUR);
    for (offset = offset < 0 ? 0 : offset;;)
    {
        ssize_t got = pread(0, bytes.data(), bytes.size(), offset);
        if (got < 0 && errno != EINTR)
            return FORMAT_BY_NAME;
        FileFormat format = FormatOfText(bytes.data(), got > 0 ? (size_t)got : 0, got == 0);
        if (format != FORMAT_BY_NAME)
            return format;
        offset += got > 0 ? got : 0;
    }
}

#if defined(__linux__)
// A pipe as standard input: tee copies what it holds, from its start, into a pipe of the
// tool's own without taking it (it waits for the first bytes, and gives 0 at the end).
// While the pipe holds only white space, it is looked at again every 10 ms, until more
// comes, its writer has gone, or the window is full: the window, or either pipe (a pipe
// may hold less than the window, and a full one waits for a reader that takes).
FileFormat LookAtPipe(std::vector<char>& bytes)
{
    int copy[2];
    if (pipe(copy) != 0)
        return FORMAT_BY_NAME;
    size_t most = bytes.size();
    for (int descriptor : {0, copy[1]})
    {
        int holds = fcntl(descriptor, F_GETPIPE_SZ);
        most = std::min(most, holds > 0 ? (size_t)holds : (size_t)4096);
    }
    FileFormat format = FORMAT_BY_NAME;
    for (;;)
    {
        // Once the writer has gone, the pipe holds all there is.
        struct pollfd ended = {0, POLLIN, 0};
        bool whole = poll(&ended, 1, 0) > 0 && (ended.revents & POLLHUP) != 0;
        ssize_t got = tee(0, copy[1], bytes.size(), 0);
        if (got >= 0 || (errno != EINTR && errno != EAGAIN))
        {
            ssize_t held = got > 0 ? read(copy[0], bytes.data(), (size_t)got) : 0;
            if (got < 0 || held != got)
                break;
            format = FormatOfText(bytes.data(), (size_t)held, got == 0 || (whole && (size_t)got < most));
            if (format != FORMAT_BY_NAME || (size_t)got >= most)
                break;
        }
        const struct timespec pause = {0, 10000000};
        nanosleep(&pause, nullptr);
    }
    close(copy[0]);
    close(copy[1]);
    return format;
}
#endif

FileFormat LookAtStandardInput()
{
    std::vector<char> bytes(kLookAhead);
    struct stat status;
    if (fstat(0, &status) != 0)
        return FORMAT_BY_NAME;
    if (S_ISREG(status.st_mode))
        return LookAtFile(bytes);
#if defined(__linux__)
    if (S_ISFIFO(status.st_mode))
        return LookAtPipe(bytes);
#endif
    return FORMAT_BY_NAME;
}
#endif
}

FileFormat StandardInputFormat()
{
    static const FileFormat format = LookAtStandardInput();
    return format;
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

bool IsReadOnce(const std::string& path)
{
    bool standard = IsStandardStream(path);
#if defined(_WIN32)
    struct _stati64 status;
    bool known = standard ? _fstati64(0, &status) == 0 : _wstati64(WidePath(path).c_str(), &status) == 0;
    bool named = known && ((status.st_mode & _S_IFMT) == _S_IFREG || (status.st_mode & _S_IFMT) == _S_IFDIR);
#else
    struct stat status;
    bool known = standard ? fstat(0, &status) == 0 : stat(path.c_str(), &status) == 0;
    bool named = known && (S_ISREG(status.st_mode) || S_ISDIR(status.st_mode));
#endif
    // Closed standard input is read as it comes, and fails so; a path that cannot be
    // looked at is opened by the handler, which says why it fails.
    return known ? !named : standard;
}

#if defined(_WIN32)
FILE* CreateTemporaryFile(std::string& name)
{
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
}
#endif
