// The C interface's error object and the meaning of codes.
#include "CApi.h"

#include <stdio.h>

#include "ErrorHandler.h"
#include "RODAzivUzirAdovIzozari.h"

// rizeroz.h stands alone, so it declares its codes again: they must be the library's.
#define RIZEROZ_SAME_CODE(code, name, sentence) static_assert(name == code, #name " differs from ResultCodes.h");
RIZEROZ_C_INTERFACE_RESULTS(RIZEROZ_SAME_CODE)
#undef RIZEROZ_SAME_CODE
static_assert((int)RZ_ERR_NO_ROOT == XML_ERR_NO_ROOT && (int)RZ_ERR_WRITE == SVF_ERR_WRITE &&
                  (int)RZ_ERR_SAVE == SVF_ERR_SAVE && (int)RZ_ERR_UNWRITABLE == SVF_ERR_UNWRITABLE &&
                  (int)RZ_ERR_BUSY == SVF_ERR_BUSY && (int)RZ_ERR_STOPPED == SVF_ERR_STOPPED,
              "rizeroz.h passes these library codes on under names of its own");

int SetError(rz_error** error, const rz_error& made)
{
    if (error == nullptr)
        return made.nCode;
    *error = nullptr;
    try
    {
        *error = new rz_error(made);
    }
    catch (...)
    {
    }
    return made.nCode;
}

int SetError(rz_error** error, int code, const std::string& message, const char* path, long line, long column,
             const std::string& sentence)
{
    return Guarded(code, [&]() {
        return SetError(error, rz_error{code, message, path != nullptr ? path : "", line, column, sentence});
    });
}

rz_error ErrorOf(const ErrorReport& report)
{
    return rz_error{report.GetCode(),   report.GetMessage(),  report.GetText(),  report.GetLine(),
                    report.GetColumn(), report.GetSentence(), report.GetErrno(), report.GetOffset()};
}

int SetFailureError(rz_error** error, const ErrorHandler& reports, int code, const char* path)
{
    const ErrorReport* failure = reports.GetFailure();
    if (failure == nullptr || failure->GetCode() != code)
        return SetCodeError(error, code, path);
    return Guarded(code, [&]() { return SetError(error, ErrorOf(*failure)); });
}

namespace
{
// The error of the one report `add(reports)` records on a handler of its own.
template <typename Add>
int SetReportError(rz_error** error, int code, Add add)
{
    return Guarded(code, [&]() {
        ErrorHandler reports;
        add(reports);
        const ErrorReport* made = reports.GetLastReport();
        return made != nullptr ? SetError(error, ErrorOf(*made)) : code;
    });
}
}

int SetCodeError(rz_error** error, int code, const char* path)
{
    // The library's report of the code alone: "PATH: what the code means (error CODE)."
    return SetReportError(error, code, [&](ErrorHandler& reports) {
        reports.AddReport(code, ERROR_LIST_DATA_FILE, path, path, 0, 0, nullptr);
    });
}

int SetSystemError(rz_error** error, const char* path, int reason, bool reading)
{
    const int code = reading && reason > 0 ? XML_ERR_READ : XML_ERR_OPEN;
    return SetReportError(error, code, [&](ErrorHandler& reports) {
        reports.AddSystemFailure(code, ERROR_LIST_DATA_FILE, path, reason, -1);
    });
}

extern "C" {

const char* rz_describe_code(int code)
{
    return code > 0 ? ErrorHandler::DescribeWarning(code) : ErrorHandler::DescribeCode(code);
}

int rz_model_warning_count(const rz_model* model)
{
    return model != nullptr ? (int)model->warnings.size() : 0;
}

const rz_error* rz_model_warning(const rz_model* model, int index)
{
    if (model == nullptr || index < 0 || (size_t)index >= model->warnings.size())
        return nullptr;
    return &model->warnings[(size_t)index];
}

long rz_model_warnings_omitted(const rz_model* model)
{
    return model != nullptr ? model->omitted : 0;
}

int rz_error_code(const rz_error* error)
{
    return error != nullptr ? error->nCode : 0;
}

const char* rz_error_message(const rz_error* error)
{
    return error != nullptr ? error->sMessage.c_str() : "";
}

const char* rz_error_sentence(const rz_error* error)
{
    return error != nullptr ? error->sSentence.c_str() : "";
}

const char* rz_error_path(const rz_error* error)
{
    return error != nullptr ? error->sPath.c_str() : "";
}

long rz_error_line(const rz_error* error)
{
    return error != nullptr ? error->nLine : 0;
}

long rz_error_column(const rz_error* error)
{
    return error != nullptr ? error->nColumn : 0;
}

int rz_error_errno(const rz_error* error)
{
    return error != nullptr ? error->nErrno : 0;
}

long long rz_error_offset(const rz_error* error)
{
    return error != nullptr ? error->nOffset : -1;
}

void rz_error_free(rz_error* error)
{
    delete error;
}
}
