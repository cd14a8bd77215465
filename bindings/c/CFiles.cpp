// Reading data files (by name, from memory, from a pull function) and writing them through
// the handler, and evaluating row expressions, for the C interface.
#include "CApi.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <vector>

#include "RODAzivUzirAdovIzozari.h"
#include "SVFJson.h"
#include "ReadBack.h"
#include "SVFWriter.h"
#include "UtByteSink.h"
#include "UtUtility.h"

namespace
{
SVFFormat FormatOf(unsigned flags)
{
    return (flags & RZ_WRITE_JSON) != 0 ? SVF_FORMAT_JSON : SVF_FORMAT_DATA_FILE;
}

// A caller's rz_write_callback as the writer's sink.
struct WriteCallback
{
    rz_write_callback write;
    void* context;
    static long long Put(void* self, const void* bytes, size_t count)
    {
        WriteCallback& callback = *(WriteCallback*)self;
        return callback.write(callback.context, bytes, count);
    }
};

// Writes `model` to `sink` as `name`: 0 or a code with its error object.
int WriteToSink(const rz_model* model, unsigned flags, UtByteSink& sink, const char* name, rz_error** error)
{
    ErrorHandler reports;
    int result =
        SVFWriteSink(ModelOf(model), sink, name, FormatOf(flags), (flags & RZ_WRITE_EXPRESSIONS) != 0, &reports);
    if (result == SVF_ERR_NO_MEMORY)
        return SetCodeError(error, RZ_ERR_MEMORY, name);
    return result < 0 ? SetFailureError(error, reports, result, name) : 0;
}

// A C callback as the handler's read hook; told of the rows too unless `flags` hold
// RZ_READ_PROGRESS_ONLY. With RZ_READ_STOPPABLE the context begins with an
// rz_read_control, whose `stop` is looked at after each call.
class CallbackHook : public SVFReadHook
{
public:
    CallbackHook(rz_read_callback callback, void* context, unsigned flags)
        : m_callback(callback), m_pContext(context),
          m_pControl((flags & RZ_READ_STOPPABLE) != 0 ? static_cast<rz_read_control*>(context) : nullptr),
          m_bRows((flags & RZ_READ_PROGRESS_ONLY) == 0), m_nDone(0), m_nTotal(0)
    {
    }
    bool Stopped() override { return m_pControl != nullptr && m_pControl->stop != 0; }
    void OnRow(int field, int block, int row, UtByteBuffer* bytes) override
    {
        if (m_bRows)
            m_callback(m_pContext, field, block, row, bytes->GetTotalSize(), m_nDone, m_nTotal);
    }
    void OnProgress(unsigned long long done, unsigned long long total) override
    {
        m_nDone = done;
        m_nTotal = total;
        m_callback(m_pContext, -1, -1, -1, 0, done, total);
    }

private:
    rz_read_callback m_callback;
    void* m_pContext;
    rz_read_control* m_pControl;
    bool m_bRows;
    unsigned long long m_nDone;
    unsigned long long m_nTotal;
};

// Reads the document that `open` opens the handler on into a new model in *model, the
// document named `shown` in the error; the rest as rz_read_with_callback.
template <typename Open>
int ReadModel(Open open, const char* shown, unsigned flags, rz_read_callback callback, void* context, rz_model** model,
              rz_error** error)
{
    return Guarded(RZ_ERR_MEMORY, [&]() {
        RODAzivUzirAdovIzozari handler;
        handler.EnableWarnings((flags & RZ_READ_WARNINGS) != 0);
        CallbackHook hook(callback, context, flags);
        handler.SetReadHook(callback != nullptr ? &hook : nullptr);
        int result = open(handler);
        if (result >= 0)
            result = handler.ReadModel();
        if (result < 0)
            return SetFailureError(error, *handler.GetErrorHandler(), result, shown);
        SVFPlusData* read = handler.GetSVFPlusData();
        // Take the handler's model as it is rather than copying it, with the warnings.
        std::unique_ptr<rz_model> taken(new rz_model());
        const ErrorHandler* reports = handler.GetErrorHandler();
        for (int i = 0; i < reports->GetWarningCount(); ++i)
            taken->warnings.push_back(ErrorOf(*reports->GetWarning(i)));
        taken->omitted = (long)reports->GetOmittedWarningCount();
        taken->oModel.Swap(*read);
        *model = taken.release();
        return 0;
    });
}

// Reads the JSON text that `source` gives (for a path: null, and the file `shown` is
// opened) into a new model in *model; the rest as rz_read_with_callback. JSON has no
// warnings.
int ReadJsonModel(UtByteSource* source, const char* shown, unsigned flags, rz_read_callback callback, void* context,
                  rz_model** model, rz_error** error)
{
    return Guarded(RZ_ERR_MEMORY, [&]() {
        std::unique_ptr<rz_model> taken(new rz_model());
        ErrorHandler reports;
        CallbackHook hook(callback, context, flags);
        SVFReadHook* told = callback != nullptr ? &hook : nullptr;
        int result = source != nullptr ? ReadJsonSVFPlusData(*source, shown, taken->oModel, &reports, told)
                                       : ReadJsonSVFPlusDataFile(shown, taken->oModel, &reports, told);
        if (result < 0)
            return SetFailureError(error, reports, result, shown);
        *model = taken.release();
        return 0;
    });
}

const unsigned kReadFlags = RZ_READ_WARNINGS | RZ_READ_JSON | RZ_READ_PROGRESS_ONLY | RZ_READ_STOPPABLE;

// Flags a read takes, with the context RZ_READ_STOPPABLE needs.
bool BadReadFlags(unsigned flags, const void* context)
{
    return (flags & ~kReadFlags) != 0 || ((flags & RZ_READ_STOPPABLE) != 0 && context == nullptr);
}

// Reads the document `source` gives, named `shown`, as JSON or as a data file by `flags`;
// the rest as rz_read_with_callback.
int ReadSource(UtByteSource& source, const char* shown, unsigned flags, rz_read_callback callback, void* context,
               rz_model** model, rz_error** error)
{
    if ((flags & RZ_READ_JSON) != 0)
        return ReadJsonModel(&source, shown, flags, callback, context, model, error);
    auto open = [&](RODAzivUzirAdovIzozari& handler) { return handler.InitSvfPlusDataSource(&source, shown); };
    return ReadModel(open, shown, flags, callback, context, model, error);
}
}

extern "C" {

int rz_text_form(const char* name, const void* data, size_t size, int more)
{
    return SVFTextFormOf(name, data != nullptr ? data : "", data != nullptr ? size : 0, more != 0);
}

int rz_read(const char* path, unsigned flags, rz_model** model, rz_error** error)
{
    return rz_read_with_callback(path, flags, nullptr, nullptr, model, error);
}

int rz_read_with_callback(const char* path, unsigned flags, rz_read_callback callback, void* context, rz_model** model,
                          rz_error** error)
{
    if (error != nullptr)
        *error = nullptr;
    if (model != nullptr)
        *model = nullptr;
    if (path == nullptr || *path == '\0' || model == nullptr || BadReadFlags(flags, context))
        return SetCodeError(error, RZ_ERR_ARGUMENT, path);
    if ((flags & RZ_READ_JSON) != 0)
        return ReadJsonModel(nullptr, path, flags, callback, context, model, error);
    auto open = [&](RODAzivUzirAdovIzozari& handler) { return handler.InitSvfPlusDataPath(path, "read"); };
    return ReadModel(open, path, flags, callback, context, model, error);
}

int rz_read_memory(const void* data, size_t size, const char* name, unsigned flags, rz_read_callback callback,
                   void* context, rz_model** model, rz_error** error)
{
    if (error != nullptr)
        *error = nullptr;
    if (model != nullptr)
        *model = nullptr;
    const char* shown = name != nullptr && *name != '\0' ? name : "<memory>";
    if ((data == nullptr && size > 0) || model == nullptr || BadReadFlags(flags, context))
        return SetCodeError(error, RZ_ERR_ARGUMENT, shown);
    UtMemorySource source(data, size);
    return ReadSource(source, shown, flags, callback, context, model, error);
}

int rz_read_stream(rz_read_function read, void* read_context, const char* name, unsigned flags,
                   rz_read_callback callback, void* context, rz_model** model, rz_error** error)
{
    if (error != nullptr)
        *error = nullptr;
    if (model != nullptr)
        *model = nullptr;
    const char* shown = name != nullptr && *name != '\0' ? name : "<stream>";
    if (read == nullptr || model == nullptr || BadReadFlags(flags, context))
        return SetCodeError(error, RZ_ERR_ARGUMENT, shown);
    UtCallbackSource source(read, read_context);
    return ReadSource(source, shown, flags, callback, context, model, error);
}

int rz_write(const rz_model* model, const char* path, unsigned flags, rz_error** error)
{
    if (error != nullptr)
        *error = nullptr;
    if (model == nullptr || path == nullptr || *path == '\0' ||
        (flags & ~(unsigned)(RZ_WRITE_EXPRESSIONS | RZ_WRITE_SAFE | RZ_WRITE_JSON)) != 0)
        return SetCodeError(error, RZ_ERR_ARGUMENT, path);
    return Guarded(RZ_ERR_MEMORY, [&]() {
        ErrorHandler reports;
        int result = SVFWriteFile(ModelOf(model), path, FormatOf(flags), (flags & RZ_WRITE_EXPRESSIONS) != 0,
                                  (flags & RZ_WRITE_SAFE) != 0, &reports);
        if (result == SVF_ERR_NO_MEMORY)
            return SetCodeError(error, RZ_ERR_MEMORY, path);
        return result < 0 ? SetFailureError(error, reports, result, path) : 0;
    });
}

int rz_write_memory(const rz_model* model, unsigned flags, void** data, size_t* size, rz_error** error)
{
    if (error != nullptr)
        *error = nullptr;
    if (data != nullptr)
        *data = nullptr;
    if (size != nullptr)
        *size = 0;
    if (model == nullptr || data == nullptr || size == nullptr ||
        (flags & ~(unsigned)(RZ_WRITE_EXPRESSIONS | RZ_WRITE_JSON)) != 0)
        return SetCodeError(error, RZ_ERR_ARGUMENT, "<memory>");
    return Guarded(RZ_ERR_MEMORY, [&]() {
        UtMemorySink sink;
        int result = WriteToSink(model, flags, sink, "<memory>", error);
        if (result == SVF_ERR_WRITE)   // only memory fails a memory sink
            return SetCodeError(error, RZ_ERR_MEMORY, "<memory>");
        if (result == 0)
            *data = sink.Release(size);
        return result;
    });
}

void rz_free(void* data)
{
    free(data);
}

int rz_write_stream(const rz_model* model, unsigned flags, rz_write_callback write, void* context, const char* name,
                    rz_error** error)
{
    if (error != nullptr)
        *error = nullptr;
    const char* shown = name != nullptr ? name : "<stream>";
    if (model == nullptr || write == nullptr || (flags & ~(unsigned)(RZ_WRITE_EXPRESSIONS | RZ_WRITE_JSON)) != 0)
        return SetCodeError(error, RZ_ERR_ARGUMENT, shown);
    int result = Guarded(RZ_ERR_MEMORY, [&]() {
        WriteCallback callback = {write, context};
        UtCallbackSink sink(&WriteCallback::Put, &callback);
        return WriteToSink(model, flags, sink, shown, error);
    });
    // The callback freed the model it was handed the text of.
    if (model->bFreeWhenWritten && !ModelOf(model)->IsHeld())
        delete model;
    return result;
}

int rz_evaluate(const char* expression, int row_width, unsigned char* row, size_t capacity, rz_error** error)
{
    if (error != nullptr)
        *error = nullptr;
    if (expression == nullptr || (row == nullptr && capacity > 0))
        return SetCodeError(error, RZ_ERR_ARGUMENT, nullptr);
    return Guarded(RZ_ERR_MEMORY, [&]() {
        ErrorHandler reports;
        long long kept = 0;
        long long stands = SVFEvaluateRow(expression, row_width, row, capacity, &kept, &reports);
        if (stands < 0)
            return SetFailureError(error, reports, (int)stands, nullptr);
        // A row's length is an int: longer rows are more than the model holds.
        return kept <= (long long)INT_MAX ? (int)kept : SetCodeError(error, RZ_ERR_MEMORY, nullptr);
    });
}
}
