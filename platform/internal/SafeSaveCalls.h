// The calls the safe save makes to the system, as one table of function pointers: every
// step of a save (SafeSave.cpp, SafeSavePosix.cpp, SafeSaveWindows.cpp) that creates,
// writes, flushes, syncs, links, renames or removes a file, opens or syncs a folder, or
// sets permissions calls through the table in force. Each system has its own table of
// its real calls (safe_save::kSystemCalls, in SafeSavePosix.cpp or SafeSaveWindows.cpp),
// and that is the one in force, unless a test has put one of its own in place
// (safe_save::UseCalls): a table that passes each call on to the system's and fails a
// chosen one, so that every step's failure is tested in the test's own process, on every
// system. Looking at files (stat, readlink, GetFileAttributesW) and the signal mask go to
// the system directly. Internal to the library (neither exported nor installed): seen by
// its parts and by save_test, which links the library's objects.
#ifndef RIZEROZ_SAFESAVECALLS_H
#define RIZEROZ_SAFESAVECALLS_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#if !defined(_WIN32)
#include <sys/types.h>
#endif

// Each call tells a failure as its system's call does: by its result, with errno set, or
// on Windows, for a call of Windows' own, with GetLastError.
struct SVFSaveCalls
{
    // The stream's calls, the C library's on every system.
    size_t (*write)(const void* bytes, size_t size, size_t count, FILE* stream);   // fwrite
    int (*flush)(FILE* stream);                                                    // fflush
    int (*close)(FILE* stream);                                                    // fclose
#if defined(_WIN32)
    // CreateFileW for writing, a new file only (CREATE_NEW): the handle, or
    // INVALID_HANDLE_VALUE.
    void* (*createNamed)(const wchar_t* path);
    int (*openDescriptor)(intptr_t handle, int flags);       // _open_osfhandle
    int (*closeHandle)(void* handle);                        // CloseHandle: nonzero once closed
    FILE* (*openStream)(int descriptor, const char* mode);   // _fdopen
    int (*closeDescriptor)(int descriptor);                  // _close
    int (*sync)(int descriptor);                             // _commit
    // MoveFileExW over an existing file, written through: nonzero once moved.
    int (*rename)(const wchar_t* from, const wchar_t* to);
    int (*remove)(const wchar_t* path);   // DeleteFileW: nonzero once removed
#else
    // open: an unnamed file in `folder` (O_TMPFILE), -1 where the system has none; a new
    // file by name, exclusively and without following a link; the target itself for
    // writing, with `flags` (O_APPEND); a folder for reading, to sync it.
    int (*createUnnamed)(const char* folder, mode_t mode);
    int (*createNamed)(const char* path, mode_t mode);
    int (*openDirect)(const char* path, int flags);
    int (*openFolder)(const char* path);
    FILE* (*openStream)(int descriptor, const char* mode);       // fdopen
    int (*closeDescriptor)(int descriptor);                      // close
    int (*setOwner)(int descriptor, uid_t owner, gid_t group);   // fchown
    int (*setMode)(int descriptor, mode_t mode);                 // fchmod
    // Starts writing a file's pages from `from` on to the disk without waiting for them
    // (sync_file_range on Linux; nothing elsewhere).
    int (*startWriteback)(int descriptor, off_t from);
    int (*sync)(int descriptor);                       // fsync of the file
    int (*link)(const char* from, const char* to);     // linkat, following: names the unnamed file
    int (*rename)(const char* from, const char* to);   // rename
    int (*remove)(const char* path);                   // unlink
    int (*syncFolder)(int descriptor);                 // fsync of the folder
#endif
};

namespace safe_save
{
// The system's real calls (SafeSavePosix.cpp, SafeSaveWindows.cpp).
extern const SVFSaveCalls kSystemCalls;

// The table the safe save calls through: the system's, unless a test put another in place.
const SVFSaveCalls& Calls();

// The tests' seam, and the one global of the library that changes: from this call on,
// every save calls through `calls` (null: through the system's again); the table in
// force until then is returned. Only tests set it, between saves and on one thread, and
// keep the table alive while it is in force; the library itself never sets it.
const SVFSaveCalls* UseCalls(const SVFSaveCalls* calls);
}

#endif
