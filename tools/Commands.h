// The commands of the rizeroz tool, one function each. Every one returns the tool's exit
// code and writes its output to stdout and its errors, one sentence each, to stderr.
// docs/cli.md describes what each prints.
#ifndef RIZEROZ_TOOLS_COMMANDS_H
#define RIZEROZ_TOOLS_COMMANDS_H

#include <string>

#include "DataFile.h"

// Exit codes of the tool (docs/cli.md).
enum ToolExitCode
{
    TOOL_EXIT_OK = 0,
    TOOL_EXIT_WARNINGS = 1,    // check: warnings only; expr: the row does not fill its width
    TOOL_EXIT_DIFFERENT = 1,   // diff: the files differ
    TOOL_EXIT_ERROR = 2,       // a file cannot be read or written, or an expression does not evaluate
    TOOL_EXIT_USAGE = 64       // the command line is wrong
};

// How info and check print what they find of a file: as text, as one JSON object (--json),
// or as one JSON object on a line of its own (--json-lines: JSON Lines, for any number of
// files).
enum OutputForm
{
    OUTPUT_TEXT,
    OUTPUT_JSON,
    OUTPUT_JSON_LINE
};

// FILE, IN and OUT may be "-" for standard input or output; FileFormat is --from or --to.
int RunInfo(const std::string& path, FileFormat from, OutputForm form);
int RunDump(const std::string& path, FileFormat from);
// `quiet`: nothing on stdout, the exit code tells.
int RunCheck(const std::string& path, FileFormat from, OutputForm form, bool validate, bool quiet);
int RunExpr(const std::string& expression, int width);

struct ConvertRequest
{
    std::string input;
    std::string output;
    FileFormat from = FORMAT_BY_NAME;
    FileFormat to = FORMAT_BY_NAME;
    bool expressions = false;   // --expressions
    bool force = false;         // --force
    bool verify = false;        // --verify: read OUT back and compare before it replaces the old one
};
int RunConvert(const ConvertRequest& request);

// What `rizeroz diff` compares and how it tells.
struct DiffRequest
{
    std::string first;
    std::string second;
    FileFormat from = FORMAT_BY_NAME;         // --from: how the first file is read
    FileFormat fromSecond = FORMAT_BY_NAME;   // and the second
    bool exact = false;                       // --exact: the models as they are, not what a data file carries of them
    int max = 20;                             // --max: lines of differences at most
    bool json = false;                        // --json
    bool stat = false;                        // --stat: a line per field that differs, then the sum
    bool quiet = false;                       // --quiet: nothing on stdout, the exit code tells
};
int RunDiff(const DiffRequest& request);

// The largest picture `rizeroz render` writes unless --max-pixels says otherwise: a
// gigapixel, some 500 MB of PNG for random bits.
const long long RENDER_MAX_PIXELS = 1000000000;
// The width a PNG picture is scaled up to at least without --scale (as far as --scale's
// largest, 100, and --max-pixels allow): a field of a few bits is seen, not a speck.
const long long RENDER_LEAST_WIDTH = 512;
// ... and at least this tall, so that a field of few rows is no strip.
const long long RENDER_LEAST_HEIGHT = 64;
// Cells of this many pixels or more are drawn with a grid line.
const int RENDER_GRID_SCALE = 8;

// What `rizeroz render` draws and where.
struct RenderRequest
{
    std::string file;
    std::string other;                       // --diff: the file to compare with, or empty
    FileFormat from = FORMAT_BY_NAME;        // --from: how FILE is read
    FileFormat fromOther = FORMAT_BY_NAME;   // and OTHER
    std::string output;                      // -o: the PNG file, or empty for --text
    bool text = false;                       // --text: print on the terminal
    std::string field;                       // --field: the one field to draw, or empty for all
    bool hasField = false;
    int block = -1;                            // --block: the one block of each field to draw, or -1 for all
    int scale = 0;                             // --scale: pixels per bit, across and down; 0 to choose
    int columns = 0;                           // --columns: the number of columns, or 0 to choose
    long long maxPixels = RENDER_MAX_PIXELS;   // --max-pixels: the largest picture written
    std::string colour = "auto";               // --color: auto, always or never
};
int RunRender(const RenderRequest& request);

// Writes a message of Diagnostics.h ("FILE:LINE:COLUMN: error: ...") to stderr; returns
// TOOL_EXIT_ERROR.
int ReportError(const std::string& message);

#endif
