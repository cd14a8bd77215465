/* A stand-in for a few system calls, preloaded (LD_PRELOAD) under the safe save's tests
 * (the test save_test_named): an unnamed temporary file (O_TMPFILE) is refused, as a
 * file system without them refuses it, so that the save takes its named temporary file;
 * and each fsync and rename is noted, in order, for rizeroz_shim_log. Everything else
 * goes to the system's own functions. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdbool.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

static char events[4096];

/* What was noted since the last clearing, one word per call ("fsync-file rename
   fsync-folder"); with `clear`, the notes start afresh. */
const char* rizeroz_shim_log(int clear)
{
    if (clear)
        events[0] = '\0';
    return events;
}

static void note(const char* event)
{
    size_t used = strlen(events);
    snprintf(events + used, sizeof events - used, "%s%s", used > 0 ? " " : "", event);
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
    int (*real)(const char*, int, ...) = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
    return real(path, flags, mode);
}

int fsync(int descriptor)
{
    struct stat info;
    int known = fstat(descriptor, &info) == 0;
    note(!known                  ? "fsync-unknown"
         : S_ISDIR(info.st_mode) ? "fsync-folder"
         : S_ISREG(info.st_mode) ? "fsync-file"
                                 : "fsync-other");
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    return real(descriptor);
}

int rename(const char* from, const char* to)
{
    note("rename");
    int (*real)(const char*, const char*) = (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
    return real(from, to);
}
