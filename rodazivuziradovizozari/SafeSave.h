// Saving a data file without ever destroying the old one. The new text goes to a
// temporary file in the target's folder and takes the target's place only once every
// byte of it is on the disk; on any failure the temporary file is removed and the old
// file stays as it was. The text is byte for byte what the handler's Write writes; a
// model whose document would not read back as written is refused before any file is
// touched (CheckSVFPlusData).
//
//     ErrorHandler errors;
//     if (SaveSVFPlusData(model, "data/out.xml", false, &errors) < 0)
//     {
//         const ErrorReport* report = errors.GetFailure();   // null when memory ran out
//         fprintf(stderr, "%s\n", report != nullptr ? report->GetMessage() : "data/out.xml: not saved");
//     }
//
// Paths are the library's, used as given (no default directory is put in front): on
// systems whose separator is '/', a backslash reads as '/'. docs/saving.md tells more.
#ifndef RIZEROZ_SAFESAVE_H
#define RIZEROZ_SAFESAVE_H

#include <stddef.h>
#include "RODAzivUzirAdovIzozari.h"
#include "UtByteSink.h"

struct SVFSafeFileState;

// One safe replacement, in steps, for callers that look at the new text before it takes
// the old one's place. Every step returns 0 or SVF_ERR_SAVE; a failure is reported on the
// ErrorHandler given to Open (list ERROR_LIST_OUTPUT, one sentence naming the path and the
// system's reason, with its errno; no offset), removes the temporary file, and leaves only
// the destructor to call.
//
// The safe file is a byte sink (UtByteSink.h): the writers (SVFWriter.h) write into it
// with Put, and its Finish commits. Put fails with the errno of a failed step, after the
// step's report; Finish gives 0 once the new file is in place, else that errno.
class RIZEROZ_API SVFSafeFile : public UtByteSink
{
public:
    SVFSafeFile();
    // Abandons a replacement that was not committed.
    ~SVFSafeFile() override;

    // Starts replacing `path`: a symbolic link is followed to the file it names, and the
    // temporary file is created beside that file, unnamed where the system allows, else
    // exclusively under a name no one can guess. An existing file's permission bits (and
    // owner and group, where the caller may set them) go to the new one; a new file gets
    // 0666 less the umask. A target that is not a regular file (a FIFO, a device such as
    // /dev/stdout) is opened and written directly. `errors` may be null.
    //
    // On POSIX systems, while the temporary file has a name (from just before Open creates
    // it until Commit renames it or it is removed), SIGINT, SIGTERM, SIGHUP and SIGQUIT
    // are held back in the calling thread: take the steps from Open to Commit or Abandon
    // on that one thread. They are looked for each megabyte of text written
    // and before the rename: one whose action is the default ends the save there (the
    // temporary file removed, the target untouched) and then the process, as it would
    // have; one with a handler is let through, its handler runs, and the save goes on.
    // Between two steps they wait: a caller whose own handler removes GetTemporaryName()
    // may let them through once it has that name. In a program with several threads a
    // signal sent to the process may go to another thread instead; a caller that needs the
    // guarantee there blocks those signals in its other threads (or takes them in one
    // thread of its own, with sigwait). docs/saving.md tells more.
    // `lineEnds`: the text's line feeds are put out as the system's line ends (CR LF on
    // Windows), as the handler's Write puts a data file out; else the bytes go as they are.
    int Open(const char* path, ErrorHandler* errors, bool lineEnds = false);
    // Appends `count` bytes to the new text (Put, with a result code).
    int Write(const void* bytes, size_t count);
    // Hands the new text to the system, not yet synced, and starts writing it to the disk
    // where the system allows (Linux); then it can be read at GetReadPath while the disk
    // catches up, and Sync or Commit waits for the rest. No more text can be written.
    int Flush();
    // Flushes the new text and syncs it to the disk; then it can be read at GetReadPath.
    int Sync();
    // True once Open found a target that is written directly (a FIFO, a device): its text
    // cannot be read back, and what was written of it cannot be taken back.
    bool WritesDirectly() const;
    // Where the flushed text can be read before Commit; null for a target written directly.
    const char* GetReadPath() const;
    // The temporary file's name while it has one (null for an unnamed one or none): the
    // file to remove should the process have to end before Commit.
    const char* GetTemporaryName() const;
    // Syncs if need be and puts the new text in the target's place, syncing its folder;
    // a signal held back since Open (above) that would end the process ends the save
    // before the rename instead.
    int Commit();
    // Removes the temporary file; the target stays as it was.
    void Abandon();

protected:
    int Take(const void* bytes, size_t count) override;
    int End() override;

private:
    SVFSafeFile(const SVFSafeFile&) = delete;
    SVFSafeFile& operator=(const SVFSafeFile&) = delete;

    SVFSafeFileState* m_pState;   // owned
};

// Whether the document of `model` reads back as `model` holds it, rows as expressions
// where `expressions` allows. The writer puts texts out as they are, so these are refused:
// in the version and the field names '"'; anywhere '<', a '&' that begins no reference
// ("&name;" with an XML name, "&#digits;" or "&#xhex;" naming a character XML allows),
// and control characters other than the tab (the comment may hold line ends too); in the comment "]]>". With
// `expressions`, a row the writer would put out as an expression while it holds more
// bytes than its block's row_width holds ((row_width + 7) / 8, none for 0 or less): an
// expression row reads back no more than that. 0 when nothing is refused (a null model
// too); SVF_ERR_UNWRITABLE, reported on `errors` (may be null; list ERROR_LIST_OUTPUT) in
// one sentence naming `path` and the first text or row refused; or SVF_ERR_NO_MEMORY.
RIZEROZ_API int CheckSVFPlusData(SVFPlusData* model, bool expressions, const char* path, ErrorHandler* errors);

// Saves `model` to `path` safely in one call: SVFWriteFile (SVFWriter.h) with `safe`, for
// a data file. 0, or a negative code with one sentence naming `path` reported on `errors`
// (may be null; list ERROR_LIST_OUTPUT), unless memory for it ran out: SVF_ERR_NO_DATA
// for a null model and SVF_ERR_UNWRITABLE (CheckSVFPlusData), both with nothing touched;
// SVF_ERR_SAVE when saving failed; SVF_ERR_NO_MEMORY.
RIZEROZ_API int SaveSVFPlusData(SVFPlusData* model, const char* path, bool expressions, ErrorHandler* errors);

#endif
