// What the handler (RODAzivUzirAdovIzozari.h) and the JSON form (SVFJson.h) share: their
// result codes (ResultCodes.h), the limits of one read (docs/limits.md) and the hook told
// of each row and of the progress as a read goes.
#ifndef RIZEROZ_SVFREADTYPES_H
#define RIZEROZ_SVFREADTYPES_H

#include "ResultCodes.h"
#include "UtByteBuffer.h"

// Result codes of the handler and the JSON form (failures are negative; ResultCodes.h,
// docs/error-codes.md).
enum
{
    RIZEROZ_HANDLER_RESULTS(RIZEROZ_RESULT_ENUM)
};

// The most bytes one row holds, and the default row limit.
const unsigned int SVF_MAX_ROW = 0x7FFFFFFFu;

// What one Read takes at most (docs/limits.md). A field of 0 stands for its default.
struct SVFReadLimits
{
    unsigned int nElementText;   // bytes of one element's text; default XML_MAX_TEXT
    unsigned int nTag;           // bytes of one tag, attribute values included; default XML_MAX_TAG
    unsigned int nRow;           // bytes of one row; default SVF_MAX_ROW
    unsigned long long
        nExpressionBytes;   // bytes expression rows add in one Read; default max(1 GiB, 64 x document size)
};

// Told of a read as it goes (the handler's SetReadHook, the JSON reader's hook), for progress
// and for rows handled as they come. Its calls come from inside the read, on the reading
// thread; they must not touch the reader.
class SVFReadHook
{
public:
    virtual ~SVFReadHook() {}
    // Row `row` of block `block` of field `field` (all from 0, as the model numbers them)
    // is complete: the reader does not look at it again, and the hook may empty it
    // (bytes->Shrink(0)) to keep memory low. Rows are told in the document's order.
    virtual void OnRow(int field, int block, int row, UtByteBuffer* bytes) = 0;
    // After each field block element: `done` bytes of the document have been read, of
    // `total` (the file's size; for a pipe, what has been read so far).
    virtual void OnProgress(unsigned long long done, unsigned long long total) = 0;
    // Asked after each OnRow and OnProgress: true ends the read there, promptly, with
    // SVF_ERR_STOPPED (the model read so far is dropped, as after any failure).
    virtual bool Stopped() { return false; }
};

#endif
