/* A stand-in for a few system calls, preloaded (LD_PRELOAD) under the tool's test of its
 * named temporary file (test_named_temporary_file, the test cli_named_temporary), where
 * the tool runs as a program of its own and the library's calls cannot be swapped in its
 * process (the safe save's own tests do that: save_test): an unnamed temporary file
 * (O_TMPFILE) is refused, as a file system without them refuses it, so that the save takes
 * its named temporary file. Switches in the environment, for the test:
 * RIZEROZ_SHIM_FAIL=fsync makes the fsync of every regular file fail with EIO, so that the
 * save fails as it is committed; RIZEROZ_SHIM_PAUSE=FIFO makes the fsync of a regular file
 * first wait until a writer has opened that FIFO and closed it again, so that the test
 * holds the save at that point, its temporary file written and named, and sends a signal;
 * with RIZEROZ_SHIM_PAUSE_AT=fdopen the wait comes in fdopen instead, where the save makes
 * the stream of a temporary file just created, and with fdopen:N (or fsync:N) only in the
 * Nth such call; RIZEROZ_SHIM_FAIL=corrupt changes one hexadecimal digit of the text at each
 * sync_file_range, as a faulty disk or another writer would, for the checks that read a
 * file back. Everything else goes to the system's own functions. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

/* True when RIZEROZ_SHIM_FAIL names `call`. */
static bool failing(const char* call)
{
    const char* failed = getenv("RIZEROZ_SHIM_FAIL");
    return failed != NULL && strcmp(failed, call) == 0;
}

static int real_open(const char* path, int flags, mode_t mode)
{
    int (*real)(const char*, int, ...) = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
    return real(path, flags, mode);
}

/* Reads the FIFO RIZEROZ_SHIM_PAUSE names, when it is set, to its end (until its writer
   closes it), in the call `call` that RIZEROZ_SHIM_PAUSE_AT names (fsync when unset), or
   only in its Nth, counted in `calls`, for "CALL:N". */
static void pause_in(const char* call, int* calls)
{
    const char* fifo = getenv("RIZEROZ_SHIM_PAUSE");
    const char* at = getenv("RIZEROZ_SHIM_PAUSE_AT");
    size_t length = strlen(call);
    if (at == NULL)
        at = "fsync";
    if (fifo == NULL || strncmp(at, call, length) != 0 || (at[length] != '\0' && at[length] != ':'))
        return;
    ++*calls;
    if (at[length] == ':' && atoi(at + length + 1) != *calls)
        return;
    int descriptor = real_open(fifo, O_RDONLY | O_CLOEXEC, 0);
    if (descriptor < 0)
        return;
    char byte;
    while (read(descriptor, &byte, 1) > 0)
    {
    }
    close(descriptor);
}

int open(const char* path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    bool unnamed = (flags & O_TMPFILE) == O_TMPFILE;
    mode_t mode = (flags & O_CREAT) == O_CREAT || unnamed ? va_arg(arguments, mode_t) : 0;
    va_end(arguments);
    if (unnamed)
    {
        errno = EOPNOTSUPP;
        return -1;
    }
    return real_open(path, flags, mode);
}

int fsync(int descriptor)
{
    struct stat info;
    if (fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode))
    {
        static int calls = 0;
        pause_in("fsync", &calls);
        if (failing("fsync"))
        {
            errno = EIO;
            return -1;
        }
    }
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    return real(descriptor);
}

FILE* fdopen(int descriptor, const char* mode)
{
    static int calls = 0;
    pause_in("fdopen", &calls);
    FILE* (*real)(int, const char*) = (FILE * (*)(int, const char*)) dlsym(RTLD_NEXT, "fdopen");
    return real(descriptor, mode);
}

/* The first hexadecimal digit from the middle of the file on, made another one (through a
   descriptor of its own: the save's may be open for writing only). */
static void corrupt(int descriptor)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/self/fd/%d", descriptor);
    int own = real_open(path, O_RDWR | O_CLOEXEC, 0);
    struct stat info;
    char byte;
    for (off_t at = fstat(own, &info) == 0 ? info.st_size / 2 : 0; own >= 0 && pread(own, &byte, 1, at) == 1; ++at)
        if (strchr("0123456789ABCDEFabcdef", byte) != NULL)
        {
            byte = byte == '0' ? '1' : '0';
            if (pwrite(own, &byte, 1, at) != 1)
                perror("shim: pwrite");
            break;
        }
    if (own >= 0)
        close(own);
}

int sync_file_range(int descriptor, off_t offset, off_t count, unsigned int flags)
{
    if (failing("corrupt"))
        corrupt(descriptor);
    int (*real)(int, off_t, off_t, unsigned int) =
        (int (*)(int, off_t, off_t, unsigned int))dlsym(RTLD_NEXT, "sync_file_range");
    return real(descriptor, offset, count, flags);
}
