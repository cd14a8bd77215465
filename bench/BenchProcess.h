// What the benchmark programs share: the clock, a file loaded whole, and a measurement run
// in a fresh child process of its own, so that what one run took from the system (memory
// it made resident, pages it faulted in) never serves the next.
#ifndef RIZEROZ_BENCH_PROCESS_H
#define RIZEROZ_BENCH_PROCESS_H

#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <type_traits>
#include <vector>

namespace bench
{
inline double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The whole file in memory; empty when it cannot be read.
inline std::vector<char> LoadFile(const char* path)
{
    std::vector<char> bytes;
    FILE* file = fopen(path, "rb");
    if (file == nullptr)
        return bytes;
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && info.st_size > 0)
    {
        bytes.resize((size_t)info.st_size);
        if (fread(bytes.data(), 1, bytes.size(), file) != bytes.size())
            bytes.clear();
    }
    fclose(file);
    return bytes;
}

// Runs `work(result)` in a fresh child process and takes `result` back through a pipe.
// False (with `result` zeroed) when the child could not run or did not answer.
template <class Result, class Work>
bool RunInChild(Work work, Result& result)
{
    static_assert(std::is_trivially_copyable<Result>::value, "the result crosses a pipe as bytes");
    memset(&result, 0, sizeof(result));
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    fflush(stdout);
    pid_t child = fork();
    if (child == 0)
    {
        close(fds[0]);
        work(result);
        ssize_t sent = write(fds[1], &result, sizeof(result));
        _exit(sent == (ssize_t)sizeof(result) ? 0 : 1);
    }
    close(fds[1]);
    ssize_t got = child > 0 ? read(fds[0], &result, sizeof(result)) : -1;
    close(fds[0]);
    if (child > 0)
        waitpid(child, nullptr, 0);
    if (got != (ssize_t)sizeof(result))
    {
        memset(&result, 0, sizeof(result));
        return false;
    }
    return true;
}
}

#endif
