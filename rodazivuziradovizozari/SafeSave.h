// Saving a data file without ever destroying the old one. The new text goes to a
// temporary file in the target's folder and takes the target's place only once every
// byte of it is on the disk; on any failure the temporary file is removed and the old
// file stays as it was. The text is byte for byte what the handler's Write writes.
//
//     ErrorHandler errors;
//     if (SaveSVFPlusData(model, "data/out.xml", false, &errors) < 0)
//         fprintf(stderr, "%s\n", errors.GetLastReport()->GetMessage());
//
// Paths are the library's, used as given (no default directory is put in front): on
// systems whose separator is '/', a backslash reads as '/'. docs/saving.md tells more.
#ifndef RIZEROZ_SAFESAVE_H
#define RIZEROZ_SAFESAVE_H

#include <stddef.h>
#include "RODAzivUzirAdovIzozari.h"

struct SVFSafeFileState;

// One safe replacement, in steps, for callers that look at the new text before it takes
// the old one's place. Every step returns 0 or SVF_ERR_SAVE; a failure is reported on the
// ErrorHandler given to Open (list ERROR_LIST_OUTPUT, one sentence naming the path and the
// system's reason), removes the temporary file, and leaves only the destructor to call.
class RIZEROZ_API SVFSafeFile
{
public:
    SVFSafeFile();
    // Abandons a replacement that was not committed.
    ~SVFSafeFile();

    // Starts replacing `path`: a symbolic link is followed to the file it names, and the
    // temporary file is created beside that file, unnamed where the system allows, else
    // exclusively under a name no one can guess. An existing file's permission bits (and
    // owner and group, where the caller may set them) go to the new one; a new file gets
    // 0666 less the umask. A target that is not a regular file (a FIFO, a device such as
    // /dev/stdout) is opened and written directly. `errors` may be null.
    int Open(const char* path, ErrorHandler* errors);
    // Appends `count` bytes to the new text, as they are (no CR LF on Windows).
    int Write(const void* bytes, size_t count);
    // Appends the document of `model` exactly as the handler's Write writes it (rows as
    // expressions where `expressions` allows). A null model gives SVF_ERR_NO_DATA.
    int WriteModel(SVFPlusData* model, bool expressions);
    // Flushes the new text and syncs it to the disk; then it can be read at GetReadPath.
    int Finish();
    // Where the finished text can be read before Commit; null for a target written directly.
    const char* GetReadPath() const;
    // The temporary file's name while it has one (null for an unnamed one or none): the
    // file to remove should the process have to end before Commit.
    const char* GetTemporaryName() const;
    // Finishes if need be and puts the new text in the target's place, syncing its folder.
    int Commit();
    // Removes the temporary file; the target stays as it was.
    void Abandon();

private:
    SVFSafeFile(const SVFSafeFile&);
    SVFSafeFile& operator=(const SVFSafeFile&);

    SVFSafeFileState* m_pState;   // owned
};

// Saves `model` to `path` safely in one call (Open, WriteModel, Commit). 0; SVF_ERR_SAVE
// with a report on `errors` (may be null); SVF_ERR_NO_DATA for a null model, or
// SVF_ERR_NO_MEMORY, with nothing touched.
RIZEROZ_API int SaveSVFPlusData(SVFPlusData* model, const char* path, bool expressions, ErrorHandler* errors);

#endif
