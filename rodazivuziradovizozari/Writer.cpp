// The writers (SVFWriter.h): the data file's text (DocumentText.h) and the JSON text
// (JsonText.h), each written whole or in parts to any sink; and the two ways every caller
// writes through them: to a caller's sink, and to a file by its path, plainly or safely.
#include "SVFWriter.h"

#include <errno.h>
#include <string.h>

#include <memory>
#include <new>

#include "DocumentText.h"
#include "JsonText.h"
#include "ModelHold.h"
#include "SafeSave.h"
#include "UtByteSink.h"
#include "UtUtility.h"

struct SVFWriterState
{
    SVFFormat format;
    bool expressions;
    SVFDocumentWalk walk;                // how far the document has been written
    std::unique_ptr<SVFJsonText> json;   // the JSON text, once begun
};

SVFWriter::SVFWriter(SVFFormat format, bool expressions)
    : m_pState(new (std::nothrow) SVFWriterState{format, expressions, SVFDocumentWalk(), nullptr})
{
}

SVFWriter::~SVFWriter()
{
    delete m_pState;
}

int SVFWriter::Write(SVFPlusData* model, UtByteSink& sink)
{
    return WritePart(model, sink, -1, 0);
}

int SVFWriter::WritePart(SVFPlusData* model, UtByteSink& sink, int field, int block)
{
    if (m_pState == nullptr)
        return ENOMEM;
    if (m_pState->format == SVF_FORMAT_DATA_FILE)
        return WriteDocumentPart(sink, model, m_pState->expressions, m_pState->walk, field, block);
    try
    {
        if (m_pState->json == nullptr)
            m_pState->json.reset(new SVFJsonText());
        return m_pState->json->Write(sink, model, m_pState->walk, field, block);
    }
    catch (const std::bad_alloc&)
    {
        return ENOMEM;
    }
}

bool SVFWriter::Holds(SVFPlusData* model) const
{
    return m_pState == nullptr || m_pState->walk.Holds(model);
}

namespace
{
// The check before a model is written anywhere: a model, and for a data file one that
// reads back as written.
int CheckBeforeWriting(SVFPlusData* model, const char* shown, SVFFormat format, bool expressions, ErrorHandler* errors)
{
    if (model == nullptr)
    {
        if (errors != nullptr)
            errors->AddReport(SVF_ERR_NO_DATA, ERROR_LIST_OUTPUT, shown, shown, 0, 0, "nothing was written");
        return SVF_ERR_NO_DATA;
    }
    return format == SVF_FORMAT_DATA_FILE ? CheckSVFPlusData(model, expressions, shown, errors) : 0;
}

// Reports the failure `error` (an errno) of the write of `shown`, at `offset` (-1: not known).
int WriteFailed(int error, const char* shown, long long offset, ErrorHandler* errors)
{
    if (error == ENOMEM)
        return SVF_ERR_NO_MEMORY;
    if (errors != nullptr)
        errors->AddReport(SVF_ERR_WRITE, ERROR_LIST_OUTPUT, shown, shown, 0, 0, strerror(error), error, offset);
    return SVF_ERR_WRITE;
}

// Writes `model` into the safe file opened on `path`: the safe file reports its own failures.
int SaveToFile(SVFPlusData* model, const char* path, SVFFormat format, bool expressions, ErrorHandler* errors)
{
    SVFSafeFile file;
    int opened = file.Open(path, errors, format == SVF_FORMAT_DATA_FILE);
    if (opened < 0)
        return opened;
    SVFWriter writer(format, expressions);
    int failure = writer.Write(model, file);
    if (failure != 0 && file.Errno() == 0)
    {
        // The writer's own failure (memory): the text is not whole, and nothing is saved.
        file.Abandon();
        return SVF_ERR_NO_MEMORY;
    }
    return file.Finish() == 0 ? 0 : SVF_ERR_SAVE;
}

// Writes `model` into the file `path`, opened (and truncated) now.
int WriteToFile(SVFPlusData* model, const char* path, SVFFormat format, bool expressions, ErrorHandler* errors)
{
    errno = 0;
    // A data file with the system's line ends, as the handler's Write writes; JSON as it is.
    FILE* file = path[0] != '\0' ? util_fopen(path, format == SVF_FORMAT_DATA_FILE ? "w" : "wb") : nullptr;
    if (file == nullptr)
    {
        int reason = errno != 0 ? errno : ENOENT;
        if (errors != nullptr)
            errors->AddReport(SVF_ERR_OUTPUT, ERROR_LIST_DATA_FILE, path, path, 0, 0, strerror(reason), reason, -1);
        return SVF_ERR_OUTPUT;
    }
    UtStreamSink sink(file, true);
    SVFWriter writer(format, expressions);
    int failure = writer.Write(model, sink);
    // A file's buffers may have lost any byte: the failure has no place.
    int finished = sink.Finish();
    failure = failure != 0 ? failure : finished;
    return failure == 0 ? 0 : WriteFailed(failure, path, -1, errors);
}
}

int SVFWriteSink(SVFPlusData* model, UtByteSink& sink, const char* name, SVFFormat format, bool expressions,
                 ErrorHandler* errors)
{
    const char* shown = name != nullptr ? name : "";
    int result = CheckBeforeWriting(model, shown, format, expressions, errors);
    if (result < 0)
        return result;
    SVFModelHold hold(model, errors, shown, ERROR_LIST_OUTPUT);
    if (hold.Result() < 0)
        return hold.Result();
    // The failure stands at the first byte of the piece the sink did not take whole.
    unsigned long long before = sink.Taken();
    SVFWriter writer(format, expressions);
    int failure = writer.Write(model, sink);
    return failure == 0 ? 0 : WriteFailed(failure, shown, (long long)(sink.Taken() - before), errors);
}

int SVFWriteFile(SVFPlusData* model, const char* path, SVFFormat format, bool expressions, bool safe,
                 ErrorHandler* errors)
{
    const char* shown = path != nullptr ? path : "";
    int result = CheckBeforeWriting(model, shown, format, expressions, errors);
    if (result < 0)
        return result;
    return safe ? SaveToFile(model, shown, format, expressions, errors)
                : WriteToFile(model, shown, format, expressions, errors);
}
