// The safe save: a temporary file beside the target, every write, the flush, the sync and
// the close checked, then one rename over the target (MoveFileExW on Windows). On Linux
// the temporary file is unnamed (O_TMPFILE) until the moment it is renamed, so that not
// even a killed process leaves it behind; elsewhere it gets a random name, created
// exclusively. The document text comes from the handler's own writer (DocumentText.h).
#include "SafeSave.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <new>
#include <random>
#include <string>

#include "DocumentText.h"
#include "UtUtility.h"
#include "UtWidePath.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

struct SVFSafeFileState
{
    std::string shown;       // the path as the caller gave it, named in reports
    std::string target;      // the file that receives the text, links followed
    std::string folder;      // the target's folder
    std::string temporary;   // the temporary file's name while it has one
    std::string readPath;    // where the finished text can be read
    ErrorHandler* errors;
    FILE* stream;
    bool direct;      // the target itself is written (not a regular file)
    bool anonymous;   // the temporary file has no name yet (O_TMPFILE)
    bool finished;
    bool closed;   // committed or abandoned: nothing more to do

    SVFSafeFileState()
        : errors(nullptr), stream(nullptr), direct(false), anonymous(false), finished(false), closed(true)
    {
    }
};

namespace
{
// Attempts at a free temporary name before giving up.
const int kNameAttempts = 100;

// 16 hexadecimal digits no one can guess: the system's random source, mixed with the
// time and an address in case that source is not there.
std::string RandomSuffix()
{
    unsigned long long value = (unsigned long long)time(nullptr) * 0x9E3779B97F4A7C15ull;
    value ^= (unsigned long long)(size_t)&value;
    try
    {
        std::random_device device;
        value ^= ((unsigned long long)device() << 32) ^ device();
    }
    catch (...)
    {
    }
    char text[17];
    snprintf(text, sizeof(text), "%016llx", value);
    return text;
}

// Where the name part of `path` begins, after its folder and the separator.
size_t NameStart(const std::string& path)
{
#if defined(_WIN32)
    size_t separator = path.find_last_of("/\\");
#else
    size_t separator = path.rfind('/');
#endif
    return separator == std::string::npos ? 0 : separator + 1;
}

// A temporary name beside `target`: ".NAME.RANDOM.tmp", the name cut short if long, never
// inside a UTF-8 character.
std::string TemporaryName(const std::string& target)
{
    size_t cut = NameStart(target), kept = 200;
    while (cut + kept < target.size() && kept > 0 && ((unsigned char)target[cut + kept] & 0xC0) == 0x80)
        --kept;
    return target.substr(0, cut) + "." + target.substr(cut, kept) + "." + RandomSuffix() + ".tmp";
}

#if defined(_WIN32)
std::wstring Wide(const std::string& text)
{
    return util_WidePath(text.c_str());
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
#else
// The file a symbolic link names, relative to the link's folder unless absolute.
bool ReadLink(const std::string& link, std::string& target)
{
    std::string buffer(256, '\0');
    for (;;)
    {
        ssize_t length = readlink(link.c_str(), &buffer[0], buffer.size());
        if (length < 0)
            return false;
        if ((size_t)length < buffer.size())
        {
            buffer.resize((size_t)length);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    target = buffer[0] == '/' ? buffer : link.substr(0, NameStart(link)) + buffer;
    return true;
}

// True when `path` lies in /proc, whose links (/proc/self/fd/1, which /dev/stdout names)
// stand for open descriptors, not for files to replace.
bool InsideProc(const std::string& path)
{
    size_t cut = NameStart(path);
    std::string folder = cut == 0 ? "." : path.substr(0, cut);
    char resolved[PATH_MAX];
    if (realpath(folder.c_str(), resolved) == nullptr)
        return false;
    return strcmp(resolved, "/proc") == 0 || strncmp(resolved, "/proc/", 6) == 0;
}

// Blocks, in the calling thread, the signals that end a process by default while a
// temporary file has a name for a moment, so that they act only once it is renamed or
// removed. pthread_sigmask, not sigprocmask, whose effect in a threaded program is
// unspecified; another thread that does not block them may still take such a signal
// (SafeSave.h says what a threaded caller does about it).
class SignalBlock
{
public:
    SignalBlock()
    {
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGINT);
        sigaddset(&blocked, SIGTERM);
        sigaddset(&blocked, SIGHUP);
        sigaddset(&blocked, SIGQUIT);
        pthread_sigmask(SIG_BLOCK, &blocked, &m_previous);
    }
    ~SignalBlock() { pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }

private:
    sigset_t m_previous;
};
#endif
}

namespace
{
// Closes the stream and removes the temporary file; the target stays as it was.
void Discard(SVFSafeFileState& state)
{
    if (state.stream != nullptr)
        fclose(state.stream);
    state.stream = nullptr;
#if defined(_WIN32)
    if (!state.temporary.empty())
        DeleteFileW(Wide(state.temporary).c_str());
#else
    if (!state.temporary.empty())
        unlink(state.temporary.c_str());
#endif
    state.temporary.clear();
    state.closed = true;
}

// Reports a failed step ("No space left on device while writing the new text"),
// discards the temporary file and returns SVF_ERR_SAVE. Without memory for the
// sentence, the failure goes unreported but is still returned.
int Fail(SVFSafeFileState& state, const char* step, const char* reason)
{
    try
    {
        std::string detail = std::string(reason) + " while " + step;
        if (!state.direct)
            detail += "; the old file is left as it was";
        if (state.errors != nullptr)
            state.errors->AddReport(SVF_ERR_SAVE, ERROR_LIST_OUTPUT, state.shown.c_str(), state.shown.c_str(), 0, 0,
                                    detail.c_str());
    }
    catch (const std::bad_alloc&)
    {
    }
    Discard(state);
    return SVF_ERR_SAVE;
}

int FailErrno(SVFSafeFileState& state, const char* step, int error)
{
    return Fail(state, step, strerror(error != 0 ? error : EIO));
}

#if !defined(_WIN32)
// Syncs the folder of a target just renamed, so that the rename lasts. The new file is in
// place already, so a failure, opening the folder (one this process may write to but not
// read, say) or syncing it, is reported as such; a file system that cannot sync folders
// (EINVAL, ENOTSUP) has nothing to do.
int SyncFolder(SVFSafeFileState& state)
{
    errno = 0;
    int folder = open(state.folder.c_str(), O_RDONLY | O_CLOEXEC);
    int synced = folder >= 0 ? fsync(folder) : -1;
    int error = errno != 0 ? errno : EIO;
    if (folder >= 0)
        close(folder);
    if (synced == 0 || (folder >= 0 && (error == EINVAL || error == ENOTSUP)))
        return 0;
    char detail[256];
    snprintf(detail, sizeof(detail), "the new file took the old one's place, but %s its folder failed: %s",
             folder < 0 ? "opening" : "syncing", strerror(error));
    if (state.errors != nullptr)
        state.errors->AddReport(SVF_ERR_SAVE, ERROR_LIST_OUTPUT, state.shown.c_str(), state.shown.c_str(), 0, 0,
                                detail);
    return SVF_ERR_SAVE;
}

// The text stream on `descriptor`; on failure the descriptor is closed.
int OpenStream(SVFSafeFileState& state, int descriptor, const char* step)
{
    state.stream = fdopen(descriptor, "w");
    if (state.stream != nullptr)
        return 0;
    int error = errno;
    close(descriptor);
    return FailErrno(state, step, error);
}
#endif
}

SVFSafeFile::SVFSafeFile() : m_pState(new (std::nothrow) SVFSafeFileState()) {}

SVFSafeFile::~SVFSafeFile()
{
    Abandon();
    delete m_pState;
}

int SVFSafeFile::Open(const char* path, ErrorHandler* errors)
{
    if (m_pState == nullptr)
        return SVF_ERR_NO_MEMORY;
    Abandon();
    SVFSafeFileState& state = *m_pState;
    try
    {
        state = SVFSafeFileState();
        state.errors = errors;
        state.shown = path != nullptr ? path : "";
        state.closed = false;
        if (state.shown.empty())
            return FailErrno(state, "opening it", ENOENT);
#if defined(_WIN32)
        state.target = state.shown;
        DWORD attributes = GetFileAttributesW(Wide(state.target).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return FailErrno(state, "opening it", EISDIR);
        for (int attempt = 0; state.stream == 0; ++attempt)
        {
            std::string name = TemporaryName(state.target);
            HANDLE file = CreateFileW(Wide(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, 0, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, 0);
            if (file == INVALID_HANDLE_VALUE)
            {
                DWORD error = GetLastError();
                if ((error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) && attempt < kNameAttempts)
                    continue;
                return Fail(state, "creating the temporary file", WindowsReason(error).c_str());
            }
            state.temporary = name;
            // Text mode, as the handler's Write writes: line feeds become CR LF.
            int descriptor = _open_osfhandle((intptr_t)file, _O_TEXT);
            state.stream = descriptor >= 0 ? _fdopen(descriptor, "w") : 0;
            if (state.stream == 0)
            {
                if (descriptor >= 0)
                    _close(descriptor);
                else
                    CloseHandle(file);
                return FailErrno(state, "opening the temporary file", errno);
            }
        }
        state.readPath = state.temporary;
#else
        // Follow symbolic links to the file they name: the link stays, its file changes.
        std::string local = state.shown;
        for (char& c : local)
            if (c == '\\')
                c = '/';
        state.target = local;
        for (int hops = 0;; ++hops)
        {
            struct stat link;
            if (lstat(state.target.c_str(), &link) != 0)
            {
                if (errno != ENOENT)
                    return FailErrno(state, "looking at it", errno);
                break;
            }
            if (InsideProc(state.target))
            {
                state.direct = true;
                break;
            }
            if (!S_ISLNK(link.st_mode))
                break;
            if (hops == 40)
                return FailErrno(state, "following its links", ELOOP);
            std::string next;
            if (!ReadLink(state.target, next))
                return FailErrno(state, "following its links", errno);
            state.target = next;
        }
        struct stat info;
        bool exists = stat(state.target.c_str(), &info) == 0;
        if (exists && S_ISDIR(info.st_mode))
            return FailErrno(state, "opening it", EISDIR);
        if (state.direct || (exists && !S_ISREG(info.st_mode)))
        {
            // A FIFO or a device takes the text as it comes; a regular file reached
            // through a descriptor's link (a redirected /dev/stdout) is appended to, as
            // that descriptor was opened.
            state.direct = true;
            bool regular = exists && S_ISREG(info.st_mode);
            int descriptor = open(local.c_str(), O_WRONLY | O_CLOEXEC | (regular ? O_APPEND : 0));
            if (descriptor < 0)
                return FailErrno(state, "opening it", errno);
            return OpenStream(state, descriptor, "opening it");
        }

        size_t cut = NameStart(state.target);
        state.folder = cut == 0 ? "." : state.target.substr(0, cut);
        mode_t mode = exists ? 0600 : 0666;   // a new file: 0666 less the umask
        int descriptor = -1;
#if defined(O_TMPFILE)
        // Unnamed until Commit links it in: only where /proc lends it a path for that.
        if (access("/proc/self/fd", X_OK) == 0)
        {
            descriptor = open(state.folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
            state.anonymous = descriptor >= 0;
        }
#endif
        for (int attempt = 0; descriptor < 0; ++attempt)
        {
            std::string name = TemporaryName(state.target);
            descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
            if (descriptor >= 0)
                state.temporary = name;
            else if (errno != EEXIST || attempt == kNameAttempts)
                return FailErrno(state, "creating the temporary file", errno);
        }
        if (exists)
        {
            // Owner and group where this process may set them (a group of its own, at
            // least), then the permission bits, which a change of owner may have cleared.
            if (fchown(descriptor, info.st_uid, info.st_gid) != 0 && fchown(descriptor, (uid_t)-1, info.st_gid) != 0)
            {
                // Neither: the new file keeps this process's owner and group.
            }
            if (fchmod(descriptor, info.st_mode & 07777) != 0)
            {
                int error = errno;
                close(descriptor);
                return FailErrno(state, "giving the new file the old one's permissions", error);
            }
        }
        if (OpenStream(state, descriptor, "opening the temporary file") < 0)
            return SVF_ERR_SAVE;
        state.readPath = state.anonymous ? "/proc/self/fd/" + std::to_string(descriptor) : state.temporary;
#endif
        return 0;
    }
    catch (const std::bad_alloc&)
    {
        Fail(state, "preparing it", strerror(ENOMEM));
        return SVF_ERR_NO_MEMORY;
    }
}

int SVFSafeFile::Write(const void* bytes, size_t count)
{
    if (m_pState == nullptr || m_pState->closed || m_pState->finished)
        return SVF_ERR_SAVE;
    FILE* stream = m_pState->stream;
    errno = 0;
#if defined(_WIN32)
    // The stream is in text mode for the handler's text; these bytes go as they are.
    if (fflush(stream) != 0)
        return FailErrno(*m_pState, "writing the new text", errno);
    _setmode(_fileno(stream), _O_BINARY);
    bool written = count == 0 || (fwrite(bytes, 1, count, stream) == count && fflush(stream) == 0);
    _setmode(_fileno(stream), _O_TEXT);
#else
    bool written = count == 0 || fwrite(bytes, 1, count, stream) == count;
#endif
    return written ? 0 : FailErrno(*m_pState, "writing the new text", errno);
}

int SVFSafeFile::WriteModel(SVFPlusData* model, bool expressions)
{
    if (model == nullptr)
        return SVF_ERR_NO_DATA;
    if (m_pState == nullptr || m_pState->closed || m_pState->finished)
        return SVF_ERR_SAVE;
    int error = WriteDocumentText(m_pState->stream, model, expressions);
    return error != 0 ? FailErrno(*m_pState, "writing the new text", error) : 0;
}

int SVFSafeFile::Finish()
{
    if (m_pState == nullptr || m_pState->closed)
        return SVF_ERR_SAVE;
    SVFSafeFileState& state = *m_pState;
    if (state.finished)
        return 0;
    errno = 0;
    if (fflush(state.stream) != 0)
        return FailErrno(state, "writing the new text", errno);
#if defined(_WIN32)
    if (_commit(_fileno(state.stream)) != 0)
        return FailErrno(state, "syncing the new text to the disk", errno);
#else
    // Pipes and devices have nothing to sync.
    if (fsync(fileno(state.stream)) != 0 && !(state.direct && (errno == EINVAL || errno == ENOTSUP)))
        return FailErrno(state, "syncing the new text to the disk", errno);
#endif
    state.finished = true;
    return 0;
}

const char* SVFSafeFile::GetReadPath() const
{
    if (m_pState == nullptr || m_pState->closed || m_pState->direct || !m_pState->finished)
        return nullptr;
    return m_pState->readPath.c_str();
}

const char* SVFSafeFile::GetTemporaryName() const
{
    if (m_pState == nullptr || m_pState->temporary.empty())
        return nullptr;
    return m_pState->temporary.c_str();
}

int SVFSafeFile::Commit()
{
    int result = Finish();
    if (result < 0)
        return result;
    SVFSafeFileState& state = *m_pState;
    try
    {
        if (state.direct)
        {
            errno = 0;
            int closed = fclose(state.stream);
            state.stream = nullptr;
            if (closed != 0)
                return FailErrno(state, "closing it", errno);
            state.closed = true;
            return 0;
        }
#if defined(_WIN32)
        errno = 0;
        int closed = fclose(state.stream);
        state.stream = 0;
        if (closed != 0)
            return FailErrno(state, "closing the temporary file", errno);
        if (!MoveFileExW(Wide(state.temporary).c_str(), Wide(state.target).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return Fail(state, "putting the new file in its place", WindowsReason(GetLastError()).c_str());
        state.temporary.clear();
#else
        SignalBlock block;
        if (state.anonymous)
        {
            // The unnamed file gets a name beside the target for the rename.
            for (int attempt = 0; state.temporary.empty(); ++attempt)
            {
                std::string name = TemporaryName(state.target);
                if (linkat(AT_FDCWD, state.readPath.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
                    state.temporary = name;
                else if (errno != EEXIST || attempt == kNameAttempts)
                    return FailErrno(state, "giving the new file a name", errno);
            }
        }
        errno = 0;
        int closed = fclose(state.stream);
        state.stream = nullptr;
        if (closed != 0)
            return FailErrno(state, "closing the temporary file", errno);
        if (rename(state.temporary.c_str(), state.target.c_str()) != 0)
            return FailErrno(state, "putting the new file in its place", errno);
        state.temporary.clear();
        state.closed = true;
        return SyncFolder(state);
#endif
        state.closed = true;
        return 0;
    }
    catch (const std::bad_alloc&)
    {
        Fail(state, "putting the new file in its place", strerror(ENOMEM));
        return SVF_ERR_NO_MEMORY;
    }
}

void SVFSafeFile::Abandon()
{
    if (m_pState != nullptr && !m_pState->closed)
        Discard(*m_pState);
}

int SaveSVFPlusData(SVFPlusData* model, const char* path, bool expressions, ErrorHandler* errors)
{
    const char* shown = path != nullptr ? path : "";
    if (model == nullptr)
    {
        if (errors != nullptr)
            errors->AddReport(SVF_ERR_NO_DATA, ERROR_LIST_OUTPUT, shown, shown, 0, 0, "nothing was written");
        return SVF_ERR_NO_DATA;
    }
    int result = CheckSVFPlusData(model, expressions, shown, errors);
    if (result < 0)
        return result;
    SVFSafeFile file;
    result = file.Open(path, errors);
    if (result == 0)
        result = file.WriteModel(model, expressions);
    if (result == 0)
        result = file.Commit();
    return result;
}
