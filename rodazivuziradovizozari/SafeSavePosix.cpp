// The safe save on POSIX systems (SafeSavePlatform.h): symbolic links are followed to the
// file they name, the temporary file is created beside it with the old file's owner and
// permissions, synced with fsync, renamed over the target and its folder synced. On Linux
// the temporary file is unnamed (O_TMPFILE) until the moment it is renamed, so that not
// even a killed process leaves it behind; elsewhere it gets a random name, created
// exclusively, and the signals that end a process are held back while it has that name.
// Every call that changes a file goes through safe_save::Calls(), whose system table,
// kSystemCalls, is at the end. Compiled on every system but Windows (CMakeLists.txt).
#include "SafeSavePlatform.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <new>
#include <thread>

namespace
{
using safe_save::Calls;
using safe_save::FailErrno;

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
    target = buffer[0] == '/' ? buffer : link.substr(0, safe_save::NameStart(link)) + buffer;
    return true;
}

// True when `path` lies in /proc, whose links (/proc/self/fd/1, which /dev/stdout names)
// stand for open descriptors, not for files to replace.
bool InsideProc(const std::string& path)
{
    size_t cut = safe_save::NameStart(path);
    std::string folder = cut == 0 ? "." : path.substr(0, cut);
    char resolved[PATH_MAX];
    if (realpath(folder.c_str(), resolved) == nullptr)
        return false;
    return strcmp(resolved, "/proc") == 0 || strncmp(resolved, "/proc/", 6) == 0;
}

// The signals that end a process by default, held back while a temporary file has a name.
const int kHeldSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
const int kHeldCount = (int)(sizeof(kHeldSignals) / sizeof(kHeldSignals[0]));

// The signals of `bits` (bit i for kHeldSignals[i]).
sigset_t HeldSet(unsigned bits)
{
    sigset_t set;
    sigemptyset(&set);
    for (int i = 0; i < kHeldCount; ++i)
        if ((bits & (1u << i)) != 0)
            sigaddset(&set, kHeldSignals[i]);
    return set;
}

// True when the held signals are this thread's to look at and let go: the mask is the
// thread's own (pthread_sigmask, not sigprocmask, whose effect in a threaded program is
// unspecified), so a step taken on another thread leaves them.
bool HoldsHere(const SVFSafeFileState& state)
{
    return state.held != 0 && state.holder == std::this_thread::get_id();
}

// The held signals that wait (bits as state.held), and whether one of them would end the
// process: its action is the default one.
unsigned LookForSignals(const SVFSafeFileState& state, bool& ends)
{
    sigset_t waiting;
    unsigned found = 0;
    ends = false;
    if (sigpending(&waiting) != 0)
        return 0;
    for (int i = 0; i < kHeldCount; ++i)
    {
        struct sigaction action;
        if ((state.held & (1u << i)) == 0 || sigismember(&waiting, kHeldSignals[i]) != 1)
            continue;
        found |= 1u << i;
        if (sigaction(kHeldSignals[i], nullptr, &action) == 0 && (action.sa_flags & SA_SIGINFO) == 0 &&
            action.sa_handler == SIG_DFL)
            ends = true;
    }
    return found;
}

// Follows symbolic links from `local` to the file they name, into state.target: the link
// stays, its file changes. A link into /proc stands for a descriptor: state.direct.
int FollowLinks(SVFSafeFileState& state, const std::string& local)
{
    state.target = local;
    for (int hops = 0;; ++hops)
    {
        struct stat link;
        if (lstat(state.target.c_str(), &link) != 0)
            return errno != ENOENT ? FailErrno(state, "looking at it", errno) : 0;
        if (InsideProc(state.target))
        {
            state.direct = true;
            return 0;
        }
        if (!S_ISLNK(link.st_mode))
            return 0;
        if (hops == 40)
            return FailErrno(state, "following its links", ELOOP);
        std::string next;
        if (!ReadLink(state.target, next))
            return FailErrno(state, "following its links", errno);
        state.target = next;
    }
}

// The text stream on `descriptor`; on failure the descriptor is closed.
int OpenStream(SVFSafeFileState& state, int descriptor, const char* step)
{
    state.stream = Calls().openStream(descriptor, "w");
    if (state.stream != nullptr)
        return 0;
    int error = errno;
    Calls().closeDescriptor(descriptor);
    return FailErrno(state, step, error);
}

// A FIFO or a device takes the text as it comes; a regular file reached through a
// descriptor's link (a redirected /dev/stdout) is appended to, as that descriptor was
// opened.
int OpenDirect(SVFSafeFileState& state, const std::string& local, bool regular)
{
    state.direct = true;
    int descriptor = Calls().openDirect(local.c_str(), regular ? O_APPEND : 0);
    if (descriptor < 0)
        return FailErrno(state, "opening it", errno);
    return OpenStream(state, descriptor, "opening it");
}

// Creates the temporary file in state.folder with `mode`: unnamed where the system allows,
// else under a free random name. The descriptor, or -1 with the failure reported.
int CreateTemporary(SVFSafeFileState& state, mode_t mode)
{
    int descriptor = -1;
    // Unnamed until Commit links it in: only where /proc lends it a path for that.
    if (access("/proc/self/fd", X_OK) == 0)
    {
        descriptor = Calls().createUnnamed(state.folder.c_str(), mode);
        state.anonymous = descriptor >= 0;
    }
    // The name exists from the open on: the signals are held back before it.
    if (descriptor < 0)
        safe_save::HoldSignals(state);
    for (int attempt = 0; descriptor < 0; ++attempt)
    {
        std::string name = safe_save::TemporaryName(state.target);
        descriptor = Calls().createNamed(name.c_str(), mode);
        if (descriptor >= 0)
            state.temporary = name;
        else if (errno != EEXIST || attempt == safe_save::kNameAttempts)
        {
            FailErrno(state, "creating the temporary file", errno);
            return -1;
        }
    }
    return descriptor;
}

// Gives the new file the old one's owner and group where this process may set them (a
// group of its own, at least), then its permission bits, which a change of owner may have
// cleared. On failure the descriptor is closed.
int CopyOwnership(SVFSafeFileState& state, int descriptor, const struct stat& info)
{
    const SVFSaveCalls& calls = Calls();
    if (calls.setOwner(descriptor, info.st_uid, info.st_gid) != 0 &&
        calls.setOwner(descriptor, (uid_t)-1, info.st_gid) != 0)
    {
        // Neither: the new file keeps this process's owner and group.
    }
    if (calls.setMode(descriptor, info.st_mode & 07777) == 0)
        return 0;
    int error = errno;
    calls.closeDescriptor(descriptor);
    return FailErrno(state, "giving the new file the old one's permissions", error);
}

// Syncs the folder of a target just renamed, so that the rename lasts. The new file is in
// place already, so a failure, opening the folder (one this process may write to but not
// read, say) or syncing it, is reported as such; a file system that cannot sync folders
// (EINVAL, ENOTSUP) has nothing to do.
int SyncFolder(SVFSafeFileState& state)
{
    const SVFSaveCalls& calls = Calls();
    errno = 0;
    int folder = calls.openFolder(state.folder.c_str());
    int synced = folder >= 0 ? calls.syncFolder(folder) : -1;
    int error = errno != 0 ? errno : EIO;
    if (folder >= 0)
        calls.closeDescriptor(folder);
    if (synced == 0 || (folder >= 0 && (error == EINVAL || error == ENOTSUP)))
        return 0;
    char detail[256];
    snprintf(detail, sizeof(detail), "the new file took the old one's place, but %s its folder failed: %s",
             folder < 0 ? "opening" : "syncing", strerror(error));
    safe_save::Report(state, detail, error);
    return SVF_ERR_SAVE;
}

// Gives the unnamed temporary file a free name beside the target for the rename.
int NameAnonymous(SVFSafeFileState& state)
{
    safe_save::HoldSignals(state);
    for (int attempt = 0; state.temporary.empty(); ++attempt)
    {
        std::string name = safe_save::TemporaryName(state.target);
        if (Calls().link(state.readPath.c_str(), name.c_str()) == 0)
            state.temporary = name;
        else if (errno != EEXIST || attempt == safe_save::kNameAttempts)
            return FailErrno(state, "giving the new file a name", errno);
    }
    return 0;
}
}

namespace safe_save
{
// The target is a path of the system's by now (links followed): a backslash there is a
// character of a name.
size_t NameStart(const std::string& path)
{
    size_t separator = path.rfind('/');
    return separator == std::string::npos ? 0 : separator + 1;
}

int OpenTarget(SVFSafeFileState& state)
{
    // On this system a backslash reads as the separator.
    std::string local = state.shown;
    for (char& c : local)
        if (c == '\\')
            c = '/';
    if (FollowLinks(state, local) < 0)
        return SVF_ERR_SAVE;
    struct stat info;
    bool exists = stat(state.target.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode))
        return FailErrno(state, "opening it", EISDIR);
    if (state.direct || (exists && !S_ISREG(info.st_mode)))
        return OpenDirect(state, local, exists && S_ISREG(info.st_mode));

    size_t cut = NameStart(state.target);
    state.folder = cut == 0 ? "." : state.target.substr(0, cut);
    mode_t mode = exists ? 0600 : 0666;   // a new file: 0666 less the umask
    int descriptor = CreateTemporary(state, mode);
    if (descriptor < 0 || (exists && CopyOwnership(state, descriptor, info) < 0))
        return SVF_ERR_SAVE;
    if (OpenStream(state, descriptor, "opening the temporary file") < 0)
        return SVF_ERR_SAVE;
    state.readPath = state.anonymous ? "/proc/self/fd/" + std::to_string(descriptor) : state.temporary;
    return 0;
}

bool WriteAsIs(FILE* stream, const void* bytes, size_t count)
{
    return count == 0 || fwrite(bytes, 1, count, stream) == count;
}

// Asks the system to start writing the text from a byte on to the disk: the request only
// queues the writes, on the caller's thread, so that the sync has less to wait for. Only
// a hint: a failure shows again, and is reported, at the sync.
void StartWriteback(SVFSafeFileState& state, long long from)
{
    Calls().startWriteback(fileno(state.stream), (off_t)from);
}

bool Sync(FILE* stream, bool direct)
{
    return Calls().sync(fileno(stream)) == 0 || (direct && (errno == EINVAL || errno == ENOTSUP));
}

int PutInPlace(SVFSafeFileState& state)
{
    if (state.anonymous && NameAnonymous(state) < 0)
        return SVF_ERR_SAVE;
    if (CloseStream(state, "closing the temporary file") < 0)
        return SVF_ERR_SAVE;
    // A signal that came while the text was written or synced ends the save here, before
    // the old file is replaced.
    LetSignalsAct(state);
    if (state.interrupted)
        return Fail(state, "putting the new file in its place", kInterrupted, EINTR);
    if (Calls().rename(state.temporary.c_str(), state.target.c_str()) != 0)
        return FailErrno(state, "putting the new file in its place", errno);
    state.temporary.clear();
    state.closed = true;
    ReleaseSignals(state);
    return SyncFolder(state);
}

void Remove(const std::string& name)
{
    Calls().remove(name.c_str());
}

void HoldSignals(SVFSafeFileState& state)
{
    if (state.held != 0)
        return;
    sigset_t previous, all = HeldSet((1u << kHeldCount) - 1);
    if (pthread_sigmask(SIG_BLOCK, &all, &previous) != 0)
        return;
    for (int i = 0; i < kHeldCount; ++i)
        if (sigismember(&previous, kHeldSignals[i]) != 1)
            state.held |= 1u << i;
    state.holder = std::this_thread::get_id();
}

void ReleaseSignals(SVFSafeFileState& state)
{
    bool here = HoldsHere(state);
    sigset_t held = HeldSet(state.held);
    state.held = 0;
    if (here)
        pthread_sigmask(SIG_UNBLOCK, &held, nullptr);
}

void LetSignalsAct(SVFSafeFileState& state)
{
    bool ends = false;
    unsigned waiting = HoldsHere(state) ? LookForSignals(state, ends) : 0;
    if (ends)
    {
        if (!state.temporary.empty())
            Remove(state.temporary);
        state.temporary.clear();
        state.interrupted = true;
        ReleaseSignals(state);
    }
    else if (waiting != 0)
    {
        // Only those that wait: one that would end the process may come meanwhile.
        sigset_t handled = HeldSet(waiting);
        pthread_sigmask(SIG_UNBLOCK, &handled, nullptr);
        pthread_sigmask(SIG_BLOCK, &handled, nullptr);
    }
}
}

// The system's calls, as SafeSaveCalls.h describes them.
namespace
{
int SystemCreateUnnamed(const char* folder, mode_t mode)
{
#if defined(O_TMPFILE)
    return open(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
#else
    (void)folder;
    (void)mode;
    errno = EOPNOTSUPP;
    return -1;
#endif
}

int SystemCreateNamed(const char* path, mode_t mode)
{
    return open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

int SystemOpenDirect(const char* path, int flags)
{
    return open(path, O_WRONLY | O_CLOEXEC | flags);
}

int SystemOpenFolder(const char* path)
{
    return open(path, O_RDONLY | O_CLOEXEC);
}

int SystemStartWriteback(int descriptor, off_t from)
{
#if defined(__linux__)
    return sync_file_range(descriptor, from, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)descriptor;
    (void)from;
    return 0;
#endif
}

int SystemLink(const char* from, const char* to)
{
    return linkat(AT_FDCWD, from, AT_FDCWD, to, AT_SYMLINK_FOLLOW);
}
}

// clang-format off
const SVFSaveCalls safe_save::kSystemCalls = {
    fwrite, fflush, fclose,
    SystemCreateUnnamed, SystemCreateNamed, SystemOpenDirect, SystemOpenFolder, fdopen, close, fchown, fchmod,
    SystemStartWriteback, fsync, SystemLink, rename, unlink, fsync,
};
// clang-format on
