// Writing a model: one writer per format, over any sink (UtByteSink.h). Every way of
// writing is "choose a sink, choose a writer": a plain file (UtStreamSink over a stream the
// handler or SVFWriteFile opened), the safe file (SVFSafeFile, SafeSave.h: temporary, sync
// and rename when it finishes), memory (UtMemorySink) or a caller's callback
// (UtCallbackSink); the data file (rows as expressions where allowed and shorter) or its
// JSON form (SVFJson.h). The handler's Write, SaveSVFPlusData, the JSON writers, the C
// interface and the tool all write so.
//
//     SVFSafeFile file;                         // or UtMemorySink, ...
//     if (file.Open("out.xml", &errors, true) == 0)
//     {
//         SVFWriter writer(SVF_FORMAT_DATA_FILE, false);
//         writer.Write(&model, file);
//         file.Finish();                        // renames it into place, or reports why not
//     }
#ifndef RIZEROZ_SVFWRITER_H
#define RIZEROZ_SVFWRITER_H

#include <stddef.h>

#include "RODAzivUzirAdovIzozari.h"

class UtByteSink;
struct SVFWriterState;

enum SVFFormat
{
    SVF_FORMAT_DATA_FILE = 0,   // the data file, as the handler's Write writes it
    SVF_FORMAT_JSON = 1         // the JSON form of the model (SVFJson.h)
};

class RIZEROZ_API SVFWriter
{
public:
    // A writer of `format`; `expressions`: rows as expressions where those are shorter
    // (nothing for JSON, whose rows are always hexadecimal).
    SVFWriter(SVFFormat format, bool expressions);
    ~SVFWriter();
    SVFWriter(const SVFWriter&) = delete;
    SVFWriter& operator=(const SVFWriter&) = delete;

    // Writes the document of `model` (not null) to `sink`, unchecked (CheckSVFPlusData
    // says what a data file would not carry). 0, or the errno of the sink's first failure
    // (ENOMEM when memory for JSON's writer runs out), after which nothing more is written.
    int Write(SVFPlusData* model, UtByteSink& sink);
    // Writes that document in parts while the model is still being read, so that a sink
    // takes the text as it is made: each call writes on up to block `block` of field
    // `field`, not included (the blocks written must be complete), always to the same
    // sink; Write, or `field` < 0, writes the rest. Holds tells whether the model still holds
    // what was written: the version, the comment, the names and checksums of the fields
    // begun; where it does not, the text must be written afresh by a new writer.
    int WritePart(SVFPlusData* model, UtByteSink& sink, int field, int block);
    bool Holds(SVFPlusData* model) const;

private:
    SVFWriterState* m_pState;   // owned
};

// Writes `model` to `sink` in `format`, checked first and held while it is written, for
// a caller's sink: nothing is written of a data file that would not read back as written
// (CheckSVFPlusData), and a sink that changes the model meanwhile is refused that
// through the C interface (SVFPlusData::Hold). 0, or a negative code with one sentence
// naming `name` (the name messages show) reported on `errors` (may be null; list
// ERROR_LIST_OUTPUT): SVF_ERR_NO_DATA, SVF_ERR_UNWRITABLE, SVF_ERR_BUSY, SVF_ERR_NO_MEMORY,
// or SVF_ERR_WRITE with the system's reason and errno when the sink failed (it keeps what
// it took), placed at the offset of the first byte of the piece it did not take whole.
// The bytes and line ends are those a file gets on Linux.
RIZEROZ_API int SVFWriteSink(SVFPlusData* model, UtByteSink& sink, const char* name, SVFFormat format, bool expressions,
                             ErrorHandler* errors);

// Writes `model` to the file `path` in `format`: with `safe`, through the safe file
// (SafeSave.h: the old file stays until the new one is whole on the disk); else the file
// is opened, truncated, and written in place. A data file is checked first
// (CheckSVFPlusData) and written with the system's line ends (CR LF on Windows), as the
// handler's Write writes; JSON as it is. 0, or a negative code reported on `errors` (may be
// null) in one sentence naming `path`: SVF_ERR_NO_DATA, SVF_ERR_UNWRITABLE (nothing touched),
// SVF_ERR_OUTPUT (the file does not open), SVF_ERR_WRITE (not every byte reached it),
// SVF_ERR_SAVE (not saved; the old file as it was), SVF_ERR_NO_MEMORY.
RIZEROZ_API int SVFWriteFile(SVFPlusData* model, const char* path, SVFFormat format, bool expressions, bool safe,
                             ErrorHandler* errors);

#endif
