// The tool's messages, in the form editors and CI read:
//   FILE:LINE:COLUMN: error: TEXT      (FILE: error: TEXT where the place is not known)
//   rizeroz: error: TEXT               (when no file is concerned)
// and the same with "warning". One sentence each, saying what was found and what was due.
#ifndef RIZEROZ_TOOLS_DIAGNOSTICS_H
#define RIZEROZ_TOOLS_DIAGNOSTICS_H

#include <stdio.h>

#include <string>

class ErrorHandler;
class ErrorReport;

// One message line (without its line end). `file` empty: the tool's own; `line` 0: no place.
std::string Diagnostic(const std::string& file, long line, long column, const char* severity, const std::string& text);

inline std::string FileError(const std::string& file, const std::string& text)
{
    return Diagnostic(file, 0, 0, "error", text);
}

inline std::string ToolError(const std::string& text)
{
    return Diagnostic(std::string(), 0, 0, "error", text);
}

// A failure the library reported about the document `file`, as the library words it
// ("FILE:LINE:COLUMN: error: SENTENCE (error CODE)."); one about no document (an
// expression's) is the tool's: "rizeroz: error: SENTENCE (error CODE).".
std::string ReportDiagnostic(const ErrorReport& report, const std::string& file);

// Colour for the messages, as --color says ("auto", "always" or "never"): auto colours
// what goes to a terminal, unless NO_COLOR is set (to anything but "") or TERM is "dumb".
// `terminal` tells whether the stream is one.
bool WantColour(const std::string& when, bool terminal);
// True when `stream` is a terminal (a console on Windows).
bool IsTerminal(FILE* stream);
// Chooses colour for stdout and stderr, once, before anything is printed.
void SetColour(const std::string& when);
// A message line for stdout (`toStdout`) or stderr, its "error:" or "warning:" in bold
// red or bold magenta when that stream has colour, as compilers show them.
std::string Painted(const std::string& line, bool toStdout);
// True when what goes to stdout is coloured.
bool StdoutHasColour();
// `text` for stdout in the colour of `ink`, a code of the terminal's ("31" red, "32" green,
// "36" cyan), when stdout has colour; else as it is.
std::string Inked(const std::string& text, const char* ink);

// The failure of a save recorded on `errors` (ErrorHandler::GetFailure) as a message about `output`.
std::string SaveError(ErrorHandler& errors, const std::string& output);

#endif
