// What the sources of the C interface share: the C handles as the model's own types,
// the error object, and the guard that keeps every exception inside the library.
#ifndef RIZEROZ_BINDINGS_CAPI_H
#define RIZEROZ_BINDINGS_CAPI_H

#include <new>
#include <string>
#include <vector>

#include "rizeroz.h"
#include "ErrorHandler.h"
#include "SVFPlusData.h"

// The library's record of a failure or a warning (ErrorReport), as the C interface gives it.
struct rz_error
{
    int nCode;
    std::string sMessage;
    std::string sPath;
    long nLine;
    long nColumn;
    std::string sSentence;    // what went wrong, without the place and the code
    int nErrno = 0;           // the system's errno; 0 when none
    long long nOffset = -1;   // the byte offset in the document; -1 when not known
};

// A model handle owns its model and, for a model that rz_read made with RZ_READ_WARNINGS,
// the warnings of that read (none for any other model).
struct rz_model
{
    SVFPlusData oModel;
    std::vector<rz_error> warnings;
    long omitted = 0;
    bool bFreeWhenWritten = false;   // rz_model_free was called while the model was being written
};

// The model of a handle; null for null.
inline SVFPlusData* ModelOf(const rz_model* model)
{
    return model != nullptr ? &const_cast<rz_model*>(model)->oModel : nullptr;
}
// Field and block handles are the model's objects themselves: a pointer to an
// SVFDataField or an SVFDataField::DataBlock.
inline SVFDataField* FieldOf(const rz_field* field)
{
    return reinterpret_cast<SVFDataField*>(const_cast<rz_field*>(field));
}
inline SVFDataField::DataBlock* BlockOf(const rz_block* block)
{
    return reinterpret_cast<SVFDataField::DataBlock*>(const_cast<rz_block*>(block));
}

// Stores a copy of `made` in *error (when error is not null) and returns its code. Without
// memory for the error object, *error stays null and the code is still returned.
int SetError(rz_error** error, const rz_error& made);
// The same for an error of the interface's own, with no errno and no offset.
int SetError(rz_error** error, int code, const std::string& message, const char* path, long line, long column,
             const std::string& sentence);
// The same, with the sentence "PATH: what the code means (error CODE)."
int SetCodeError(rz_error** error, int code, const char* path);
// The library's error for a document named `path` that the system could not open, or,
// `reading`, read, for the errno `reason`, as a read by name reports it (XML_ERR_OPEN or
// XML_ERR_READ); a read with no reason known (0 or less) is told as an open.
int SetSystemError(rz_error** error, const char* path, int reason, bool reading);
// A report of the library as it is: its code, message, name shown, place, sentence, errno
// and offset.
rz_error ErrorOf(const ErrorReport& report);
// The failure `reports` recorded (ErrorHandler::GetFailure) as the error of `code`; a code
// it holds no record of (memory for the report ran out) gets SetCodeError's sentence.
int SetFailureError(rz_error** error, const ErrorHandler& reports, int code, const char* path);

// Runs `body`, turning any exception (only exhausted memory can throw) into `failed`.
template <typename Body>
int Guarded(int failed, Body body)
{
    try
    {
        return body();
    }
    catch (...)
    {
        return failed;
    }
}

#endif
