// The temporary file of a save under way, removed when a signal ends the tool.
#ifndef RIZEROZ_TOOLS_PENDINGFILE_H
#define RIZEROZ_TOOLS_PENDINGFILE_H

#if !defined(_WIN32)
#include <signal.h>
#endif

// While it lives, a signal that would end the tool by default (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT) first removes the temporary file it watches, then ends the tool as the signal
// would; a signal the tool inherited as ignored stays ignored (a job a shell started in
// the background). One guard at a time, made before the safe file is opened.
//
// The safe save holds those signals back from the moment its temporary file gets a name
// (SafeSave.h), so that one coming before Watch waits; Watch takes the name and lets them
// through again, and the tool is interrupted at once from then on, even where the save
// itself would look for them only at its next megabyte of text or at its rename.
class PendingFileGuard
{
public:
    typedef void (*SignalHandler)(int);

    PendingFileGuard();
    ~PendingFileGuard();
    // The file to remove, from Open of the safe file on; null for none (an unnamed
    // temporary file needs no removing). Then the signals that the save held back act.
    void Watch(const char* name);

private:
    PendingFileGuard(const PendingFileGuard&) = delete;
    PendingFileGuard& operator=(const PendingFileGuard&) = delete;

    SignalHandler m_previous[4];
#if !defined(_WIN32)
    sigset_t m_free;   // of those signals, the ones the tool did not hold back when the guard was made
#endif
};

#endif
