// rizeroz: the command-line tool of the RIZ Eroz data file library. The command line is
// CLI11's, its commands declared in one table: name, summary, the options they share, their
// own options and the function that runs them (Commands.h). docs/cli.md is the user's guide.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <climits>
#include <new>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <RizErozVersion.h>

#include "Commands.h"
#include "DataFile.h"
#include "Diagnostics.h"
#include "Progress.h"
#include "ToolText.h"
#include "Utf8CommandLine.h"
#include "XmlCheck.h"

namespace
{
// What the command line gives, for every command.
struct Values
{
    std::vector<std::string> files;   // info, check and dump
    std::string file;
    std::vector<std::string> from;   // --from, once for every input or once per input
    std::string to;
    bool json = false;
    bool jsonLines = false;
    bool quiet = false;
    bool noValid = false;
    std::string colour = "auto";
    std::string expression;
    int width = 0;
    ConvertRequest conversion;
    DiffRequest comparison;
    RenderRequest picture;
};

// The options several commands share, each declared in one place.
enum SharedOption
{
    SHARED_FROM = 1,         // --from xml|json
    SHARED_QUIET = 2,        // -q, --quiet
    SHARED_JSON = 4,         // --json
    SHARED_COLOR = 8,        // --color auto|always|never
    SHARED_JSON_LINES = 16   // --json-lines, for the commands that take several files
};

struct Command
{
    const char* name;
    std::string summary;
    unsigned shared;   // SharedOption bits
    void (*declare)(CLI::App& command, Values& values);
    int (*run)(Values& values, CLI::App& command);
};

// --from and --to: "xml" or "json", or nothing for the choice by name.
FileFormat FormatNamed(const std::string& name)
{
    return name.empty() ? FORMAT_BY_NAME : name == "json" ? FORMAT_JSON : FORMAT_DATA_FILE;
}

// How input `index` is read: the --from given for it, else the one given for all.
FileFormat FormatOf(const Values& values, size_t index)
{
    return values.from.empty() ? FORMAT_BY_NAME : FormatNamed(values.from[std::min(index, values.from.size() - 1)]);
}

// A usage error as one sentence of ours, citing the help of `command` (the tool's, when null).
int UsageError(std::string sentence, const char* command)
{
    while (!sentence.empty() && (sentence.back() == '\n' || sentence.back() == '.'))
        sentence.pop_back();
    std::string help = command != nullptr ? std::string("rizeroz ") + command + " --help" : "rizeroz --help";
    fflush(stdout);
    fprintf(stderr, "%s\n", ToolError(sentence + " (see '" + help + "')").c_str());
    return TOOL_EXIT_USAGE;
}

// Edits that turn `a` into `b`: a character added, dropped, changed, or two neighbours
// swapped (so "inof" is one edit from "info").
size_t EditDistance(const std::string& a, const std::string& b)
{
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i)
        for (size_t j = 0; j <= b.size(); ++j)
        {
            if (i == 0 || j == 0)
            {
                d[i][j] = i + j;
                continue;
            }
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1] ? 1 : 0)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

// The sentence for a word that names no command, with the command it most likely meant:
// the one nearest by edits, when two edits or fewer reach it and no other is as near.
std::string NoSuchCommand(const std::string& word, const std::vector<Command>& commands)
{
    std::string sentence = "there is no command \"" + word + "\"";
    size_t best = 3, ties = 0;
    const char* meant = nullptr;
    for (const Command& command : commands)
    {
        size_t distance = EditDistance(word, command.name);
        ties = distance == best ? ties + 1 : distance < best ? 1 : ties;
        meant = distance < best ? command.name : meant;
        best = std::min(best, distance);
    }
    return meant != nullptr && ties == 1 ? sentence + "; did you mean \"" + meant + "\"?" : sentence;
}

void DeclareRender(CLI::App& render, Values& values)
{
    RenderRequest& picture = values.picture;
    render.add_option("FILE", picture.file, "Data file (or .json file) to draw; - for standard input")->required();
    CLI::Option* output = render.add_option("-o,--output", picture.output, "PNG file to write; - for standard output");
    render.add_flag("--text", picture.text, "Print the picture on the terminal instead")->excludes(output);
    render.add_option("--field", picture.field, "Draw only the data field of this name");
    render.add_option("--block", picture.block, "Draw only this block of each field (numbered from 0)")
        ->check(CLI::Range(0, INT_MAX));
    render.add_option("--diff", picture.other,
                      "Show the bits that differ from this file in red over a faded picture of FILE");
    render
        .add_option("--scale", picture.scale,
                    "Pixels per bit, across and down (1 to 100; default: for -o, the least that makes the picture "
                    "at least 512 pixels wide, within --max-pixels; for --text, 1)")
        ->check(CLI::Range(1, 100));
    render
        .add_option("--columns", picture.columns,
                    "Number of side-by-side columns of rows (default: one, or as many as keep a tall field near "
                    "square)")
        ->check(CLI::Range(1, INT_MAX));
    render
        .add_option("--max-pixels", picture.maxPixels,
                    "Write no picture of more pixels than this (default 1000000000); larger ones are refused")
        ->check(CLI::Range(1LL, LLONG_MAX));
}

int Render(Values& values, CLI::App& render)
{
    RenderRequest& picture = values.picture;
    if (picture.output.empty() && !picture.text)
        return UsageError("render needs -o OUT or --text", "render");
    if (IsStandardStream(picture.file) && IsStandardStream(picture.other))
        return UsageError("standard input (-) can be only one of the files", "render");
    picture.hasField = render.count("--field") > 0;
    picture.colour = values.colour;
    picture.from = FormatOf(values, 0);
    picture.fromOther = FormatOf(values, 1);
    return RunRender(picture);
}

void DeclareDiff(CLI::App& diff, Values& values)
{
    DiffRequest& comparison = values.comparison;
    diff.add_option("A", comparison.first, "The first file; - for standard input")->required();
    diff.add_option("B", comparison.second, "The second file; - for standard input")->required();
    diff.add_flag("--exact", comparison.exact,
                  "Compare the models as they are, also in what a data file does not keep (blocks of one width "
                  "apart, blocks without rows, missing texts)");
    diff.add_option("--max", comparison.max, "Print at most N differences, then their number (default 20)")
        ->check(CLI::Range(0, INT_MAX));
    diff.add_flag("--stat", comparison.stat,
                  "Print a line per field that differs (its rows and bits that differ, what else differs), then the "
                  "sum, instead of the differences");
}

int Diff(Values& values, CLI::App&)
{
    DiffRequest& comparison = values.comparison;
    if (IsStandardStream(comparison.first) && IsStandardStream(comparison.second))
        return UsageError("standard input (-) can be only one of the files", "diff");
    if (comparison.stat && values.json)
        return UsageError("--stat and --json cannot be given together", "diff");
    comparison.from = FormatOf(values, 0);
    comparison.fromSecond = FormatOf(values, 1);
    comparison.json = values.json;
    comparison.quiet = values.quiet;
    return RunDiff(comparison);
}

// Dumps each file given in turn; with several, each after a line naming it, a blank line
// between two. The exit code is the worst of the files'.
int DumpFiles(const Values& values)
{
    int worst = TOOL_EXIT_OK;
    bool several = values.files.size() > 1;
    for (size_t i = 0; i < values.files.size(); ++i)
    {
        if (several)
            printf("%sFile: %s\n", i > 0 ? "\n" : "", ShownName(values.files[i]).c_str());
        int code = RunDump(values.files[i], FormatOf(values, 0));
        worst = code > worst ? code : worst;
    }
    return worst;
}

// How info and check print: --json gives one object, so it takes one file; --json-lines
// gives a line for each file. -1 after a usage error.
int FormOf(const Values& values, const char* command)
{
    if (values.json && values.jsonLines)
        return UsageError("--json and --json-lines cannot be given together", command);
    if (values.json && values.files.size() > 1)
        return UsageError("--json prints one JSON object, for one file; give --json-lines for a line of JSON for each "
                          "of several files",
                          command);
    return values.json ? OUTPUT_JSON : values.jsonLines ? OUTPUT_JSON_LINE : OUTPUT_TEXT;
}

// Runs `run` on each of the files given, in the form --json or --json-lines asks for;
// with several, a summary line follows (unless --json-lines or --quiet), and the exit
// code is the worst of them.
template <typename Run>
int EachFile(const Values& values, const char* command, Run run)
{
    int form = FormOf(values, command);
    if (form == TOOL_EXIT_USAGE)
        return form;
    bool text = form == OUTPUT_TEXT && !values.quiet;
    int worst = TOOL_EXIT_OK;
    int counts[3] = {0, 0, 0};   // files that gave exit code 0, 1 and 2
    for (size_t i = 0; i < values.files.size(); ++i)
    {
        if (i > 0 && text)
            printf("\n");
        int code = run(values.files[i], (OutputForm)form);
        ++counts[code < 3 ? code : 2];
        worst = code > worst ? code : worst;
    }
    if (values.files.size() > 1 && text)
        printf("%s: %d clean, %d with warnings, %d with errors.\n",
               Counted((long long)values.files.size(), "file", "files").c_str(), counts[0], counts[1], counts[2]);
    return worst;
}

std::string CheckSummary()
{
    return std::string("Report, in document order, the library reader's error and what it takes leniently (its "
                       "warnings)") +
           (kCanCheckXml ? ", and what libxml2 finds: well-formedness errors, and validity problems against the "
                           "installed SVF_Plus_Data.dtd as warnings."
                         : ". This build has no libxml2 (it is the Windows build): XML well-formedness and validity "
                           "are not checked.") +
           " Exit 0 when clean, 1 on warnings only, 2 on errors.";
}

std::vector<Command> Commands()
{
    return {
        {"info", "Print the version, the comment, each data field with its blocks, and the totals, for each FILE.",
         SHARED_FROM | SHARED_QUIET | SHARED_JSON | SHARED_JSON_LINES | SHARED_COLOR,
         [](CLI::App& c, Values& v) {
             c.add_option("FILE", v.files, "Data files (or .json files) to describe; - for standard input")->required();
         },
         [](Values& v, CLI::App&) {
             return EachFile(v, "info", [&v](const std::string& file, OutputForm form) {
                 return RunInfo(file, FormatOf(v, 0), form);
             });
         }},
        {"dump",
         "Print every row, one per line, as FIELD[block][row] = HEX; with several files, each after a line "
         "\"File: NAME\" and a blank line between two.",
         SHARED_FROM | SHARED_QUIET | SHARED_COLOR,
         [](CLI::App& c, Values& v) {
             c.add_option("FILE", v.files, "Data files (or .json files) to print; - for standard input")->required();
         },
         [](Values& v, CLI::App&) { return DumpFiles(v); }},
        {"check", CheckSummary(), SHARED_FROM | SHARED_QUIET | SHARED_JSON | SHARED_JSON_LINES | SHARED_COLOR,
         [](CLI::App& c, Values& v) {
             c.add_option("FILE", v.files, "Data files to check; - for standard input")->required();
             c.add_flag("--no-valid", v.noValid, "Do not check validity against the document type");
         },
         [](Values& v, CLI::App&) {
             return EachFile(v, "check", [&v](const std::string& file, OutputForm form) {
                 return RunCheck(file, FormatOf(v, 0), form, !v.noValid, v.quiet);
             });
         }},
        {"convert",
         "Read IN and write OUT, each as JSON when its name ends in \".json\". OUT is replaced only once the new "
         "file is on the disk.",
         SHARED_FROM | SHARED_QUIET | SHARED_COLOR,
         [](CLI::App& c, Values& v) {
             c.add_option("IN", v.conversion.input, "File to read; - for standard input")->required();
             c.add_option("OUT", v.conversion.output, "File to write; - for standard output")->required();
             c.add_flag("--expressions", v.conversion.expressions,
                        "Write rows as expressions where those are shorter (data file output only)");
             c.add_flag("--force", v.conversion.force, "Replace OUT even when it is write-protected");
             c.add_flag("--verify", v.conversion.verify,
                        "Read the new file back and compare it before it replaces OUT");
             c.add_option("--to", v.to, "Write OUT as xml (a data file) or json, whatever its name")
                 ->check(CLI::IsMember({"xml", "json"}));
         },
         [](Values& v, CLI::App&) {
             v.conversion.from = FormatOf(v, 0);
             v.conversion.to = FormatNamed(v.to);
             return RunConvert(v.conversion);
         }},
        {"diff",
         "Compare two files (data files or JSON) by what a data file carries: one line per difference, a row that "
         "differs followed by its bytes in each file (--stat: a line per field). Exit 0 when equal, 1 when they "
         "differ, 2 on errors.",
         SHARED_FROM | SHARED_QUIET | SHARED_JSON | SHARED_COLOR, DeclareDiff, Diff},
        {"expr", "Evaluate a row expression and print the row in hexadecimal.", 0,
         [](CLI::App& c, Values& v) {
             c.add_option("EXPRESSION", v.expression, "The expression, such as \"(00*16+A5C3*8)\"")->required();
             c.add_option("--width", v.width, "Row width in bits")->required()->check(CLI::Range(1, INT_MAX));
         },
         [](Values& v, CLI::App&) { return RunExpr(v.expression, v.width); }},
        {"render",
         "Draw data fields as pictures: a square of pixels per bit, a set bit dark, a clear bit light, "
         "rows top to bottom, blocks one below the other. Writes a PNG file (-o; with several fields, OUT-NAME.png "
         "for each) or prints the picture with block characters (--text).",
         SHARED_FROM | SHARED_QUIET | SHARED_COLOR, DeclareRender, Render},
    };
}

// The command's own options, then the shared ones it takes.
void Declare(CLI::App& app, const Command& command, Values& values)
{
    CLI::App* sub = app.add_subcommand(command.name, command.summary);
    command.declare(*sub, values);
    if (command.shared & SHARED_JSON)
        sub->add_flag("--json", values.json,
                      std::string("Print the result as one JSON object") +
                          (command.shared & SHARED_JSON_LINES ? " (for one file)" : ""));
    if (command.shared & SHARED_JSON_LINES)
        sub->add_flag("--json-lines", values.jsonLines,
                      "Print each file's result as one JSON object on a line of its own (JSON Lines)");
    if (command.shared & SHARED_FROM)
    {
        // Said of the inputs the command takes: several, two, or one (which takes it once).
        const std::string name = command.name;
        bool two = name == "diff" || name == "render", several = name == "info" || name == "check";
        CLI::Option* from = sub->add_option(
            "--from", values.from,
            two ? "Read the input files as xml (data files) or json, whatever their names; given twice, the first "
                  "is for the first file, the second for the other"
            : several ? "Read the input files as xml (data files) or json, whatever their names"
                      : "Read the input as xml (a data file) or json, whatever its name");
        from->check(CLI::IsMember({"xml", "json"}));
        if (!two && !several)
            from->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    }
    if (command.shared & SHARED_COLOR)
        sub->add_option("--color", values.colour,
                        "Colour for errors, warnings, differences and --text pictures: auto (on a terminal, unless "
                        "NO_COLOR is set), always or never")
            ->check(CLI::IsMember({"auto", "always", "never"}));
    if (command.shared & SHARED_QUIET)
        sub->add_flag("-q,--quiet", values.quiet,
                      std::string("Show no progress on stderr") +
                          (command.name == std::string("check") || command.name == std::string("diff")
                               ? "; print nothing at all: the exit code tells"
                               : ""));
}
}

int ReportError(const std::string& message)
{
    Progress::Clear();
    fflush(stdout);
    fprintf(stderr, "%s\n", Painted(message, false).c_str());
    return TOOL_EXIT_ERROR;
}

int main(int argc, char** argv)
{
    UseUtf8CommandLine(argc, argv);
    CLI::App app{"Reads, checks, converts and compares RIZ Eroz data files. A file whose name ends in \".json\" "
                 "is read and written as JSON; \"-\" is standard input (JSON when it begins with '{', else a data "
                 "file, unless --from says otherwise) or output (a data file, unless --to says json).",
                 "rizeroz"};
    // The version of the library loaded, which is what reads and writes the files.
    app.set_version_flag("--version", std::string("rizeroz ") + rz_version(), "Print the version and exit");
    app.require_subcommand(1);
    // On Windows CLI11 would take "/path/file.xml" for an option "/path"; options are
    // written with dashes everywhere.
    app.allow_windows_style_options(false);
    app.footer("Exit codes: 0 success; 1 warnings (check, expr) or differences (diff); 2 error; 64 wrong command "
               "line.\n"
               "See 'man rizeroz', or docs/cli.md (installed as share/doc/rizeroz/docs/cli.md), for the commands, "
               "the JSON shape and the exit codes.");

    Values values;
    const std::vector<Command> commands = Commands();
    for (const Command& command : commands)
        Declare(app, command, values);

    // CLI11 would call an unknown command a missing one.
    const Command* chosen = nullptr;
    for (const Command& command : commands)
        chosen = argc > 1 && command.name == std::string(argv[1]) ? &command : chosen;
    if (argc > 1 && argv[1][0] != '-' && chosen == nullptr)
        return UsageError(NoSuchCommand(argv[1], commands), nullptr);
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc > 1 && argv[1][0] == '-' && first != "-h" && first != "--help" && first != "--version")
        return UsageError("there is no option " + first + " before the command", nullptr);
    try
    {
        app.parse(argc, argv);
    }
    catch (const CLI::ParseError& failure)
    {
        if (failure.get_exit_code() == 0)
            return app.exit(failure);   // --help or --version
        // CLI11 takes an unknown option for an argument too many.
        std::string what = failure.what();
        const std::string extra = "The following argument was not expected: -";
        if (what.compare(0, extra.size(), extra) == 0)
            what = "there is no option " + what.substr(extra.size() - 1);
        return UsageError(what, chosen != nullptr ? chosen->name : nullptr);
    }

    // Every file named on the command line must be one the library opens as named.
    for (const std::string* path :
         {&values.file, &values.conversion.input, &values.conversion.output, &values.comparison.first,
          &values.comparison.second, &values.picture.file, &values.picture.other, &values.picture.output})
    {
        std::string problem;
        if (!IsUsablePath(*path, problem))
            return ReportError(problem);
    }

    bool twoInputs = chosen->name == std::string("diff") || chosen->name == std::string("render");
    if (values.from.size() > (twoInputs ? 2u : 1u))
        return UsageError(std::string("--from is given at most ") + (twoInputs ? "twice" : "once"), chosen->name);
    Progress::SetQuiet(values.quiet);
    SetColour(values.colour);
    try
    {
        int code = chosen->run(values, *app.get_subcommand(chosen->name));
        // What was printed must have reached standard output: a full disk is an error, as
        // it is to cp or sort, not a short file and success.
        errno = 0;
        if (fflush(stdout) != 0 || ferror(stdout))
            return ReportError(
                FileError("<stdout>", std::string("the output cannot be written") +
                                          (errno != 0 ? std::string(" (") + strerror(errno) + ")" : "")));
        return code;
    }
    catch (const std::bad_alloc&)
    {
        return ReportError(ToolError("there is not enough memory for the task"));
    }
}
