// The tool's message form (Diagnostics.h).
#include "Diagnostics.h"

#include "ErrorHandler.h"

std::string Diagnostic(const std::string& file, long line, long column, const char* severity, const std::string& text)
{
    std::string message = file.empty() ? std::string("rizeroz") : file;
    if (!file.empty() && line > 0)
        message += ":" + std::to_string(line) + ":" + std::to_string(column > 0 ? column : 1);
    message += std::string(": ") + severity + ": " + text;
    if (message.empty() || message.back() != '.')
        message += '.';
    return message;
}

std::string ReportDiagnostic(const ErrorReport& report, const std::string& file, const char* severity)
{
    std::string kind = report.GetList() == ERROR_LIST_WARNINGS ? "warning" : "error";
    return Diagnostic(file, report.GetLine(), report.GetColumn(), severity,
                      std::string(report.GetSentence()) + " (" + kind + " " + std::to_string(report.GetCode()) + ")");
}

std::string SaveError(ErrorHandler& errors, const std::string& output)
{
    const ErrorReport* report = errors.GetLastReport();
    return report != nullptr ? ReportDiagnostic(*report, output, "error")
                             : FileError(output, "the file cannot be written");
}
