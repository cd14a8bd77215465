// The safe save on Windows (SafeSavePlatform.h): the temporary file is created beside the
// target under a random name (CreateFileW, CREATE_NEW), written in text mode as the
// handler's Write writes, synced with _commit and moved over the target with MoveFileExW.
// Paths go to the system as UTF-16 through util_WidePath. Every call that changes a file
// goes through safe_save::Calls(), whose system table, kSystemCalls, is at the end.
// Compiled only on Windows (CMakeLists.txt).
#include "SafeSavePlatform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <errno.h>
#include <fcntl.h>
#include <io.h>

#include "UtPath.h"

namespace
{
using safe_save::Calls;
using safe_save::Fail;
using safe_save::FailErrno;

std::wstring Wide(const std::string& text)
{
    return util_WidePath(text.c_str());
}

// The errno that stands for a Windows error, as the C library maps the errors of its own
// calls; 0 for an error that has none.
int ErrnoOf(DWORD code)
{
    switch (code)
    {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_CANNOT_MAKE:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return 0;
    }
}

// The system's words for a Windows error, without the closing period and line end.
std::string WindowsReason(DWORD code)
{
    char text[256];
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, 0, code, 0, text, sizeof(text), 0);
    while (length > 0 &&
           (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == '.' || text[length - 1] == ' '))
        --length;
    if (length == 0)
        return "Windows error " + std::to_string((unsigned long)code);
    return std::string(text, length);
}

// Fails the step with the system's words for a Windows error and the errno that stands for it.
int FailWindows(SVFSafeFileState& state, const char* step, DWORD code)
{
    return Fail(state, step, WindowsReason(code).c_str(), ErrnoOf(code));
}

// The text stream on the new file's handle, in text mode as the handler's Write writes:
// line feeds become CR LF. On failure the handle is closed.
int OpenStream(SVFSafeFileState& state, HANDLE file)
{
    const SVFSaveCalls& calls = Calls();
    int descriptor = calls.openDescriptor((intptr_t)file, _O_TEXT);
    state.stream = descriptor >= 0 ? calls.openStream(descriptor, "w") : nullptr;
    if (state.stream != nullptr)
        return 0;
    int error = errno;
    if (descriptor >= 0)
        calls.closeDescriptor(descriptor);
    else
        calls.closeHandle(file);
    return FailErrno(state, "opening the temporary file", error);
}
}

namespace safe_save
{
size_t NameStart(const std::string& path)
{
    return util_PathNameStart(path.c_str());
}

int OpenTarget(SVFSafeFileState& state)
{
    state.target = state.shown;
    DWORD attributes = GetFileAttributesW(Wide(state.target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return FailErrno(state, "opening it", EISDIR);
    for (int attempt = 0; state.stream == nullptr; ++attempt)
    {
        std::string name = TemporaryName(state.target);
        HANDLE file = Calls().createNamed(Wide(name).c_str());
        if (file == INVALID_HANDLE_VALUE)
        {
            DWORD error = GetLastError();
            if ((error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) && attempt < kNameAttempts)
                continue;
            return FailWindows(state, "creating the temporary file", error);
        }
        state.temporary = name;
        if (OpenStream(state, file) < 0)
            return SVF_ERR_SAVE;
    }
    state.readPath = state.temporary;
    return 0;
}

bool WriteAsIs(FILE* stream, const void* bytes, size_t count)
{
    // The stream is in text mode for the handler's text; these bytes go as they are.
    const SVFSaveCalls& calls = Calls();
    if (calls.flush(stream) != 0)
        return false;
    _setmode(_fileno(stream), _O_BINARY);
    bool written = count == 0 || (calls.write(bytes, 1, count, stream) == count && calls.flush(stream) == 0);
    _setmode(_fileno(stream), _O_TEXT);
    return written;
}

// Windows has no call that starts the writing without waiting for it.
void StartWriteback(SVFSafeFileState&, long long) {}

// Windows has no signal mask: the signals are not held back.
void HoldSignals(SVFSafeFileState&) {}
void ReleaseSignals(SVFSafeFileState&) {}
void LetSignalsAct(SVFSafeFileState&) {}

bool Sync(FILE* stream, bool)
{
    return Calls().sync(_fileno(stream)) == 0;
}

int PutInPlace(SVFSafeFileState& state)
{
    if (CloseStream(state, "closing the temporary file") < 0)
        return SVF_ERR_SAVE;
    if (!Calls().rename(Wide(state.temporary).c_str(), Wide(state.target).c_str()))
        return FailWindows(state, "putting the new file in its place", GetLastError());
    state.temporary.clear();
    state.closed = true;
    return 0;
}

void Remove(const std::string& name)
{
    Calls().remove(Wide(name).c_str());
}
}

// The system's calls, as SafeSaveCalls.h describes them.
namespace
{
void* SystemCreateNamed(const wchar_t* path)
{
    return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, 0);
}

int SystemCloseHandle(void* handle)
{
    return CloseHandle(handle);
}

int SystemRename(const wchar_t* from, const wchar_t* to)
{
    return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

int SystemRemove(const wchar_t* path)
{
    return DeleteFileW(path);
}
}

// clang-format off
const SVFSaveCalls safe_save::kSystemCalls = {
    fwrite, fflush, fclose,
    SystemCreateNamed, _open_osfhandle, SystemCloseHandle, _fdopen, _close, _commit, SystemRename, SystemRemove,
};
// clang-format on
