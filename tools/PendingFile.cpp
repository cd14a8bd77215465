// The guard of PendingFile.h.
#include "PendingFile.h"

#include <signal.h>
#include <stdio.h>
#include <string.h>

#if !defined(_WIN32)
#include <pthread.h>
#include <unistd.h>
#endif

namespace
{
// The named temporary file of a save under way, for the signal handler.
char g_szPendingFile[4096];

// The signals that end the tool by default.
// clang-format off
const int kEndingSignals[] = {
    SIGINT, SIGTERM,
#if !defined(_WIN32)
    SIGHUP, SIGQUIT,
#endif
};
// clang-format on
const int kSignalCount = (int)(sizeof(kEndingSignals) / sizeof(kEndingSignals[0]));

void RemovePendingFile(int signalNumber)
{
    if (g_szPendingFile[0] != '\0')
    {
#if defined(_WIN32)
        remove(g_szPendingFile);
#else
        unlink(g_szPendingFile);
#endif
    }
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}
}

PendingFileGuard::PendingFileGuard()
{
    static_assert(sizeof(m_previous) / sizeof(m_previous[0]) >= sizeof(kEndingSignals) / sizeof(kEndingSignals[0]),
                  "a previous handler for every signal");
    g_szPendingFile[0] = '\0';
#if !defined(_WIN32)
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    sigemptyset(&m_free);
#endif
    for (int i = 0; i < kSignalCount; ++i)
    {
        m_previous[i] = signal(kEndingSignals[i], RemovePendingFile);
        if (m_previous[i] == SIG_IGN)
            signal(kEndingSignals[i], SIG_IGN);
#if !defined(_WIN32)
        if (sigismember(&mask, kEndingSignals[i]) != 1)
            sigaddset(&m_free, kEndingSignals[i]);
#endif
    }
}

PendingFileGuard::~PendingFileGuard()
{
    Watch(nullptr);
    for (int i = 0; i < kSignalCount; ++i)
        signal(kEndingSignals[i], m_previous[i]);
}

void PendingFileGuard::Watch(const char* name)
{
    size_t length = name != nullptr ? strlen(name) : 0;
    g_szPendingFile[0] = '\0';
    if (length > 0 && length < sizeof(g_szPendingFile))
        memcpy(g_szPendingFile, name, length + 1);
#if !defined(_WIN32)
    // The handler now removes the file: what the save held back may act, at once.
    pthread_sigmask(SIG_UNBLOCK, &m_free, nullptr);
#endif
}
