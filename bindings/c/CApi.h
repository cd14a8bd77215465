// What the sources of the C interface share: the C handles as the model's own types,
// the error object, and the guard that keeps every exception inside the library.
#ifndef RIZEROZ_BINDINGS_CAPI_H
#define RIZEROZ_BINDINGS_CAPI_H

#include <new>
#include <string>
#include <vector>

#include "rizeroz.h"
#include "SVFPlusData.h"

// The opaque handles are the model's objects themselves: a handle is a pointer to an
// SVFPlusData, an SVFDataField or an SVFDataField::DataBlock.
inline SVFPlusData* ModelOf(const rz_model* model)
{
    return reinterpret_cast<SVFPlusData*>(const_cast<rz_model*>(model));
}
inline SVFDataField* FieldOf(const rz_field* field)
{
    return reinterpret_cast<SVFDataField*>(const_cast<rz_field*>(field));
}
inline SVFDataField::DataBlock* BlockOf(const rz_block* block)
{
    return reinterpret_cast<SVFDataField::DataBlock*>(const_cast<rz_block*>(block));
}

struct rz_error
{
    int nCode;
    std::string sMessage;
    std::string sPath;
    long nLine;
    long nColumn;
};

// A model that rz_read made: the model with the warnings of its read, if kept.
struct ReadModel : SVFPlusData
{
    std::vector<rz_error> warnings;
    long omitted = 0;
};

// Stores a new error in *error (when error is not null) and returns `code`. Without
// memory for the error object, *error stays null and the code is still returned.
int SetError(rz_error** error, int code, const std::string& message, const char* path, long line, long column);
// The same, with the sentence "PATH: what the code means (error CODE)."
int SetCodeError(rz_error** error, int code, const char* path);

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
