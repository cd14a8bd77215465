// The guard of PendingFile.h.
#include "PendingFile.h"

#include <signal.h>
#include <stdio.h>
#include <string.h>

#if !defined(_WIN32)
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
    for (int i = 0; i < kSignalCount; ++i)
    {
        m_previous[i] = signal(kEndingSignals[i], RemovePendingFile);
        if (m_previous[i] == SIG_IGN)
            signal(kEndingSignals[i], SIG_IGN);
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
}
