// The commands of the rizeroz tool, one function each. Every one returns the tool's exit
// code and writes its output to stdout and its errors, one sentence each, to stderr.
// docs/cli.md describes what each prints.
#ifndef RIZEROZ_TOOLS_COMMANDS_H
#define RIZEROZ_TOOLS_COMMANDS_H

#include <string>

// Exit codes of the tool (docs/cli.md).
enum ToolExitCode
{
    TOOL_EXIT_OK = 0,
    TOOL_EXIT_WARNINGS = 1,   // check: warnings only; expr: the row does not fill its width
    TOOL_EXIT_ERROR = 2,      // a file cannot be read or written, or an expression does not evaluate
    TOOL_EXIT_USAGE = 64      // the command line is wrong
};

int RunInfo(const std::string& path, bool json);
int RunDump(const std::string& path);
int RunCheck(const std::string& path, bool json, bool validate);
int RunConvert(const std::string& input, const std::string& output, bool expressions, bool force);
int RunExpr(const std::string& expression, int width);

// What `rizeroz render` draws and where.
struct RenderRequest
{
    std::string file;
    std::string other;        // --diff: the file to compare with, or empty
    std::string output;       // -o: the PNG file, or empty for --text
    bool text = false;        // --text: print on the terminal
    std::string field;        // --field: the one field to draw, or empty for all
    bool hasField = false;
    int block = -1;           // --block: the one block of each field to draw, or -1 for all
    int scale = 1;            // --scale: pixels per bit, across and down
    int columns = 0;          // --columns: the number of columns, or 0 to choose
    std::string colour = "auto";   // --color: auto, always or never
};
int RunRender(const RenderRequest& request);

// True when this build writes PNG files (it was built with libpng).
bool CanWritePng();

// Writes a message of Diagnostics.h ("FILE:LINE:COLUMN: error: ...") to stderr; returns
// TOOL_EXIT_ERROR.
int ReportError(const std::string& message);

#endif
