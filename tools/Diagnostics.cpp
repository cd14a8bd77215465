// The tool's message form (Diagnostics.h).
#include "Diagnostics.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "ErrorHandler.h"

namespace
{
bool g_bColourOut = false;   // stdout has colour
bool g_bColourErr = false;   // stderr has colour
}

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

std::string ReportDiagnostic(const ErrorReport& report, const std::string& file)
{
    if (!file.empty())
        return report.GetMessage();
    return Diagnostic(file, 0, 0, "error",
                      std::string(report.GetSentence()) + " (error " + std::to_string(report.GetCode()) + ")");
}

std::string SaveError(ErrorHandler& errors, const std::string& output)
{
    const ErrorReport* report = errors.GetFailure();
    return report != nullptr ? ReportDiagnostic(*report, output) : FileError(output, "the file cannot be written");
}

bool WantColour(const std::string& when, bool terminal)
{
    if (when != "auto")
        return when == "always";
    const char* noColour = getenv("NO_COLOR");
    const char* term = getenv("TERM");
    return terminal && (noColour == nullptr || noColour[0] == '\0') && (term == nullptr || strcmp(term, "dumb") != 0);
}

bool IsTerminal(FILE* stream)
{
#if defined(_WIN32)
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

void SetColour(const std::string& when)
{
    g_bColourOut = WantColour(when, IsTerminal(stdout));
    g_bColourErr = WantColour(when, IsTerminal(stderr));
}

std::string Painted(const std::string& line, bool toStdout)
{
    if (!(toStdout ? g_bColourOut : g_bColourErr))
        return line;
    for (const char* severity : {": error: ", ": warning: "})
    {
        size_t at = line.find(severity);
        if (at == std::string::npos)
            continue;
        const char* ink = severity[2] == 'e' ? "\x1b[1;31m" : "\x1b[1;35m";
        size_t word = strlen(severity) - 3;   // "error:" or "warning:"
        return line.substr(0, at + 2) + ink + line.substr(at + 2, word) + "\x1b[0m" + line.substr(at + 2 + word);
    }
    return line;
}

bool StdoutHasColour()
{
    return g_bColourOut;
}

std::string Inked(const std::string& text, const char* ink)
{
    return g_bColourOut ? std::string("\x1b[") + ink + "m" + text + "\x1b[0m" : text;
}
