// The temporary file of a save under way, removed when a signal ends the tool.
#ifndef RIZEROZ_TOOLS_PENDINGFILE_H
#define RIZEROZ_TOOLS_PENDINGFILE_H

// While it lives, a signal that would end the tool by default (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT) first removes the temporary file it watches, then ends the tool as the signal
// would; a signal the tool inherited as ignored stays ignored (a job a shell started in
// the background). One guard at a time.
class PendingFileGuard
{
public:
    typedef void (*SignalHandler)(int);

    PendingFileGuard();
    ~PendingFileGuard();
    // The file to remove; null for none (an unnamed temporary file needs no removing).
    void Watch(const char* name);

private:
    PendingFileGuard(const PendingFileGuard&) = delete;
    PendingFileGuard& operator=(const PendingFileGuard&) = delete;

    SignalHandler m_previous[4];
};

#endif
