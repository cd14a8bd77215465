// The safe save's private parts: the state of one replacement, the steps every system
// shares (SafeSave.cpp: reports, temporary names, closing), and the small interface whose
// two implementations hold what differs by system, each compiled only there:
// SafeSavePosix.cpp (open, fsync, rename, the folder's fsync) and SafeSaveWindows.cpp
// (CreateFileW, _commit, MoveFileExW). Each of them, and SafeSave.cpp, calls the system
// through the table of SafeSaveCalls.h. Not a public header.
#ifndef RIZEROZ_SAFESAVEPLATFORM_H
#define RIZEROZ_SAFESAVEPLATFORM_H

#include <stddef.h>
#include <stdio.h>

#include <string>
#include <thread>

#include "RODAzivUzirAdovIzozari.h"
#include "SafeSaveCalls.h"

struct SVFSafeFileState
{
    std::string shown;       // the path as the caller gave it, named in reports
    std::string target;      // the file that receives the text, links followed
    std::string folder;      // the target's folder
    std::string temporary;   // the temporary file's name while it has one
    std::string readPath;    // where the finished text can be read
    ErrorHandler* errors = nullptr;
    FILE* stream = nullptr;
    bool direct = false;        // the target itself is written (not a regular file)
    bool anonymous = false;     // the temporary file has no name yet (O_TMPFILE)
    long long written = 0;      // bytes written through Write
    long long kicked = 0;       // of which the system was asked to start writing these
    bool flushed = false;       // the text is with the system: nothing more is written
    bool finished = false;      // and synced
    bool closed = true;         // committed or abandoned: nothing more to do
    unsigned held = 0;          // the signals HoldSignals holds back, as its bits; 0 for none
    std::thread::id holder;     // the thread that holds them back
    long long looked = 0;       // bytes written when waiting signals were last looked for
    bool interrupted = false;   // a signal came that ends the process: the save stops
    bool lineEnds = false;      // line feeds go out as the system's line ends (text mode)
    int failure = 0;            // the errno of the step that failed, once one did
};

namespace safe_save
{
// Attempts at a free temporary name before giving up.
const int kNameAttempts = 100;
// Why a save stops when a signal that ends the process came while its file had a name.
const char kInterrupted[] = "a signal interrupted it";

// Shared by every system (SafeSave.cpp).

// Reports a failed step ("No space left on device while writing the new text"), with
// the system's errno of it (0 when it has none), discards the temporary file and returns
// SVF_ERR_SAVE. Without memory for the sentence, the failure goes unreported but is
// still returned.
int Fail(SVFSafeFileState& state, const char* step, const char* reason, int error);
// Fail with the system's words for `error` (EIO for 0).
int FailErrno(SVFSafeFileState& state, const char* step, int error);
// Reports `detail` about the target, with the errno of the failure, without discarding
// anything (the new file is in place).
void Report(SVFSafeFileState& state, const char* detail, int error);
// A temporary name beside `target`: ".NAME.RANDOM.tmp", no one can guess.
std::string TemporaryName(const std::string& target);
// Closes the stream; on failure reports the step and discards the temporary file.
int CloseStream(SVFSafeFileState& state, const char* step);

// One implementation per system (SafeSavePosix.cpp, SafeSaveWindows.cpp).

// Where the name part of `path`, a path of the system's, begins, after its folder and
// the separator.
size_t NameStart(const std::string& path);
// Finds the file to replace from state.shown (not empty) and opens the stream the text
// goes to: a temporary file beside it (state.temporary or state.anonymous, and
// state.readPath), or the target itself (state.direct). 0 or a failure reported by Fail.
int OpenTarget(SVFSafeFileState& state);
// Writes `count` bytes (none too) as they are, with no line-end translation; false with
// errno set.
bool WriteAsIs(FILE* stream, const void* bytes, size_t count);
// Starts writing the pages the stream has handed to the system from byte `from` on to the
// disk, without waiting for them, so that a later Sync has less to wait for; where the
// system cannot, nothing.
void StartWriteback(SVFSafeFileState& state, long long from);
// Syncs the flushed stream to the disk; false with errno set. A target written directly
// that cannot be synced (a pipe, a device) has nothing to sync.
bool Sync(FILE* stream, bool direct);
// Closes the finished temporary file and puts it in the target's place, making the move
// last (the folder's sync where the system needs one); marks the state closed. 0 or
// SVF_ERR_SAVE, reported.
int PutInPlace(SVFSafeFileState& state);
// Removes a temporary file by name, quietly.
void Remove(const std::string& name);
// While the temporary file has a name, the signals that end a process by default (SIGINT,
// SIGTERM, SIGHUP, SIGQUIT) are held back in the calling thread: HoldSignals just before
// the name is made, ReleaseSignals once it is renamed or removed, which lets any that
// came act then. Only those the thread did not hold back already; nothing on Windows.
void HoldSignals(SVFSafeFileState& state);
void ReleaseSignals(SVFSafeFileState& state);
// Looks for held signals that came meanwhile, so that a long save still ends promptly.
// One that would end the process (its action is the default) ends the save first: the
// temporary file is removed and the signals released, and the signal ends the process.
// Should the process live on (its action changed meanwhile), state.interrupted is set and
// the save fails at its next step. A signal with a handler is let through for a moment,
// so that the handler runs now, and the save goes on.
void LetSignalsAct(SVFSafeFileState& state);
}

#endif
