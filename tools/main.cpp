// rizeroz: the command-line tool of the RIZ Eroz data file library. The command line is
// CLI11's; each command is a function of Commands.h. docs/cli.md is the user's guide.
#include <stdio.h>

#include <climits>
#include <new>
#include <string>

#include <CLI/CLI.hpp>
#include <RizErozVersion.h>

#include "Commands.h"
#include "DataFile.h"
#include "Diagnostics.h"
#include "Progress.h"
#include "XmlCheck.h"

namespace
{
// CLI11's message as one sentence of ours.
std::string UsageSentence(const std::string& what)
{
    std::string sentence = what;
    while (!sentence.empty() && (sentence.back() == '\n' || sentence.back() == '.'))
        sentence.pop_back();
    return ToolError(sentence + " (see 'rizeroz --help')");
}

// --from and --to: "xml" or "json", or nothing for the choice by name.
FileFormat FormatNamed(const std::string& name)
{
    return name.empty() ? FORMAT_BY_NAME : name == "json" ? FORMAT_JSON : FORMAT_DATA_FILE;
}

CLI::Option* AddFormat(CLI::App* command, const char* name, std::string& format, const char* what)
{
    return command->add_option(name, format, what)->check(CLI::IsMember({"xml", "json"}));
}

const char kFromHelp[] = "Read the input as xml (a data file) or json, whatever its name";
const char kQuietHelp[] = "Show no progress on stderr";
}

int ReportError(const std::string& message)
{
    Progress::Clear();
    fflush(stdout);
    fprintf(stderr, "%s\n", message.c_str());
    return TOOL_EXIT_ERROR;
}

int main(int argc, char** argv)
{
    CLI::App app{"Reads, checks, converts and compares RIZ Eroz data files. A file whose name ends in \".json\" "
                 "is read and written as JSON; \"-\" is standard input or output (a data file, unless --from or "
                 "--to says json).",
                 "rizeroz"};
    // The version of the library loaded, which is what reads and writes the files.
    app.set_version_flag("--version", std::string("rizeroz ") + rz_version(), "Print the version and exit");
    app.require_subcommand(1);
    // On Windows CLI11 would take "/path/file.xml" for an option "/path"; options are
    // written with dashes everywhere.
    app.allow_windows_style_options(false);
    app.footer("Exit codes: 0 success; 1 warnings (check, expr) or differences (diff); 2 error; 64 wrong command "
               "line.\n"
               "See docs/cli.md for the commands, the JSON shape and the exit codes.");

    std::string file;
    std::string from;
    bool json = false;
    bool quiet = false;
    CLI::App* info = app.add_subcommand("info", "Print the version, the comment, each data field with its "
                                                "blocks, and the totals.");
    info->add_option("FILE", file, "Data file (or .json file) to describe; - for standard input")->required();
    info->add_flag("--json", json, "Print the summary as JSON");
    AddFormat(info, "--from", from, kFromHelp);
    info->add_flag("-q,--quiet", quiet, kQuietHelp);

    CLI::App* dump = app.add_subcommand("dump", "Print every row, one per line, as FIELD[block][row] = HEX.");
    dump->add_option("FILE", file, "Data file (or .json file) to print; - for standard input")->required();
    AddFormat(dump, "--from", from, kFromHelp);
    dump->add_flag("-q,--quiet", quiet, kQuietHelp);

    bool noValid = false;
    CLI::App* check = app.add_subcommand(
        "check", std::string("Report, in document order, the library reader's error and what it takes leniently "
                             "(its warnings)") +
                     (CanCheckXml() ? ", and what libxml2 finds: well-formedness errors, and validity problems "
                                      "against the installed SVF_Plus_Data.dtd as warnings."
                                    : ". This build has no libxml2 (it is the Windows build): XML well-formedness "
                                      "and validity are not checked.") +
                     " Exit 0 when clean, 1 on warnings only, 2 on errors.");
    check->add_option("FILE", file, "Data file to check; - for standard input")->required();
    check->add_flag("--json", json, "Print the findings as one JSON object");
    check->add_flag("--no-valid", noValid, "Do not check validity against the document type");
    AddFormat(check, "--from", from, kFromHelp);

    ConvertRequest conversion;
    std::string to;
    CLI::App* convert = app.add_subcommand("convert", "Read IN and write OUT, each as JSON when its name ends in "
                                                      "\".json\". OUT is replaced only once the new file has been "
                                                      "read back and compared.");
    convert->add_option("IN", conversion.input, "File to read; - for standard input")->required();
    convert->add_option("OUT", conversion.output, "File to write; - for standard output")->required();
    convert->add_flag("--expressions", conversion.expressions,
                      "Write rows as expressions where those are shorter "
                      "(data file output only)");
    convert->add_flag("--force", conversion.force, "Replace OUT even when it is write-protected");
    AddFormat(convert, "--from", from, "Read IN as xml (a data file) or json, whatever its name");
    AddFormat(convert, "--to", to, "Write OUT as xml (a data file) or json, whatever its name");
    convert->add_flag("-q,--quiet", quiet, kQuietHelp);

    DiffRequest comparison;
    CLI::App* diff = app.add_subcommand("diff", "Compare two files (data files or JSON) by what a data file carries: "
                                                "one line per difference. Exit 0 when equal, 1 when they differ, 2 "
                                                "on errors.");
    diff->add_option("A", comparison.first, "The first file; - for standard input")->required();
    diff->add_option("B", comparison.second, "The second file; - for standard input")->required();
    diff->add_flag("--exact", comparison.exact,
                   "Compare the models as they are, also in what a data file does not "
                   "keep (blocks of one width apart, blocks without rows, missing texts)");
    diff->add_option("--max", comparison.max, "Print at most N differences, then their number (default 20)")
        ->check(CLI::Range(0, INT_MAX));
    diff->add_flag("--json", comparison.json, "Print the differences as one JSON object");
    AddFormat(diff, "--from", from, "Read A and B as xml (data files) or json, whatever their names");
    diff->add_flag("-q,--quiet", quiet, kQuietHelp);

    std::string expression;
    int width = 0;
    CLI::App* expr = app.add_subcommand("expr", "Evaluate a row expression and print the row in hexadecimal.");
    expr->add_option("EXPRESSION", expression, "The expression, such as \"(00*16+A5C3*8)\"")->required();
    expr->add_option("--width", width, "Row width in bits")->required()->check(CLI::Range(1, INT_MAX));

    RenderRequest picture;
    CLI::App* render = app.add_subcommand(
        "render", std::string("Draw data fields as pictures: a pixel per bit, a set bit dark, a clear bit light, rows "
                              "top to bottom, blocks one below the other. Writes a PNG file (-o; with several "
                              "fields, OUT-NAME.png for each) or prints the picture with block characters "
                              "(--text).") +
                      (CanWritePng() ? ""
                                     : " This build has no PNG support (it was built without libpng): "
                                       "only --text draws."));
    render->add_option("FILE", picture.file, "Data file (or .json file) to draw; - for standard input")->required();
    CLI::Option* pictureFile = render->add_option("-o,--output", picture.output,
                                                  "PNG file to write; - for "
                                                  "standard output");
    CLI::Option* text = render->add_flag("--text", picture.text, "Print the picture on the terminal instead");
    pictureFile->excludes(text);
    render->add_option("--field", picture.field, "Draw only the data field of this name");
    render->add_option("--block", picture.block, "Draw only this block of each field (numbered from 0)")
        ->check(CLI::Range(0, INT_MAX));
    render->add_option("--diff", picture.other,
                       "Show the bits that differ from this file in red over a faded "
                       "picture of FILE");
    render->add_option("--scale", picture.scale, "Pixels per bit, across and down (1 to 100)")
        ->check(CLI::Range(1, 100));
    render
        ->add_option("--columns", picture.columns,
                     "Number of side-by-side columns of rows (default: one, or as "
                     "many as keep a tall field near square)")
        ->check(CLI::Range(1, INT_MAX));
    render
        ->add_option("--max-pixels", picture.maxPixels,
                     "Write no picture of more pixels than this (default 1000000000); larger ones are refused")
        ->check(CLI::Range(1LL, LLONG_MAX));
    render->add_option("--color", picture.colour, "With --text: auto (colours on a terminal), always or never")
        ->check(CLI::IsMember({"auto", "always", "never"}))
        ->needs(text);
    AddFormat(render, "--from", from, "Read FILE and OTHER as xml (data files) or json, whatever their names");
    render->add_flag("-q,--quiet", quiet, kQuietHelp);

    // CLI11 would call an unknown command a missing one.
    if (argc > 1 && argv[1][0] != '-')
    {
        bool known = false;
        for (const CLI::App* command : app.get_subcommands({}))
            known = known || command->get_name() == argv[1];
        if (!known)
        {
            fprintf(stderr, "%s\n", UsageSentence(std::string("there is no command \"") + argv[1] + "\"").c_str());
            return TOOL_EXIT_USAGE;
        }
    }

    try
    {
        app.parse(argc, argv);
    }
    catch (const CLI::ParseError& failure)
    {
        if (failure.get_exit_code() == 0)
            return app.exit(failure);   // --help or --version
        fflush(stdout);
        fprintf(stderr, "%s\n", UsageSentence(failure.what()).c_str());
        return TOOL_EXIT_USAGE;
    }
    if (render->parsed() && picture.output.empty() && !picture.text)
    {
        fprintf(stderr, "%s\n", UsageSentence("render needs -o OUT or --text").c_str());
        return TOOL_EXIT_USAGE;
    }

    // Standard input can be read once only.
    if ((diff->parsed() && IsStandardStream(comparison.first) && IsStandardStream(comparison.second)) ||
        (render->parsed() && IsStandardStream(picture.file) && IsStandardStream(picture.other)))
    {
        fprintf(stderr, "%s\n", UsageSentence("standard input (-) can be only one of the files").c_str());
        return TOOL_EXIT_USAGE;
    }

    // Every file named on the command line must be one the library opens as named.
    for (const std::string* path : {&file, &conversion.input, &conversion.output, &comparison.first, &comparison.second,
                                    &picture.file, &picture.other, &picture.output})
    {
        std::string problem;
        if (!IsUsablePath(*path, problem))
            return ReportError(problem);
    }

    Progress::SetQuiet(quiet);
    FileFormat format = FormatNamed(from);
    try
    {
        if (info->parsed())
            return RunInfo(file, format, json);
        if (dump->parsed())
            return RunDump(file, format);
        if (check->parsed())
            return RunCheck(file, format, json, !noValid);
        if (convert->parsed())
        {
            conversion.from = format;
            conversion.to = FormatNamed(to);
            return RunConvert(conversion);
        }
        if (diff->parsed())
        {
            comparison.from = format;
            return RunDiff(comparison);
        }
        if (render->parsed())
        {
            picture.hasField = render->count("--field") > 0;
            picture.from = format;
            return RunRender(picture);
        }
        return RunExpr(expression, width);
    }
    catch (const std::bad_alloc&)
    {
        return ReportError(ToolError("there is not enough memory for the task"));
    }
}
