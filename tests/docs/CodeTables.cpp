// The code tables of docs/error-codes.md and docs/warnings.md against the library's
// (ResultCodes.h, ReadWarnings.h): every code with its name and the sentence its reports
// give, row for row. A code the library gains, renames or rewords must be documented,
// and the pages list no code the library does not have. The constants that the Python
// package writes out are held to the same table and to rizeroz.h's flags.
#include <ctype.h>
#include <stdio.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "ErrorHandler.h"
#include "rizeroz.h"

namespace
{
typedef std::set<std::string> Rows;

std::string Row(int code, const char* name, const char* sentence)
{
    return "| " + std::to_string(code) + " | `" + name + "` | " + sentence + " |";
}

// The first three cells ("| CODE | `NAME` | SENTENCE |") of every table row of `path`
// that starts with a code; false when the page cannot be read.
bool DocumentedRows(const char* path, Rows& rows)
{
    std::ifstream page(path);
    std::string line;
    while (std::getline(page, line))
    {
        if (line.size() < 3 || line.compare(0, 2, "| ") != 0 || !(isdigit((unsigned char)line[2]) || line[2] == '-'))
            continue;
        size_t end = 0;
        for (int cell = 0; cell < 3 && end != std::string::npos; ++cell)
            end = line.find(" | ", end + 1);
        rows.insert(end == std::string::npos ? line : line.substr(0, end) + " |");
    }
    return !page.bad() && !rows.empty();
}

int Compare(const char* path, const Rows& library)
{
    Rows documented;
    if (!DocumentedRows(path, documented))
    {
        printf("%s: no table of codes can be read\n", path);
        return 1;
    }
    int failures = 0;
    for (const std::string& row : library)
        if (documented.count(row) == 0)
            failures += printf("%s lacks the library's row %s\n", path, row.c_str()) > 0;
    for (const std::string& row : documented)
        if (library.count(row) == 0)
            failures += printf("%s has a row the library does not: %s\n", path, row.c_str()) > 0;
    printf("%s: %zu rows, %d differences\n", path, library.size(), failures);
    return failures;
}

// Every "RZ_NAME = VALUE" line of the Python module at `path` is one of `known`.
int ComparePython(const char* path, const Rows& known)
{
    std::ifstream module(path);
    int constants = 0, failures = 0;
    for (std::string line; std::getline(module, line);)
        if (std::regex_match(line, std::regex("RZ_[A-Z_]+ = -?[0-9]+")) && ++constants > 0 && known.count(line) == 0)
            failures += printf("%s: %s is not the library's value of that name\n", path, line.c_str()) > 0;
    printf("%s: %d constants, %d differences\n", path, constants, failures);
    return constants == 0 ? 1 : failures;
}
}

int main(int argc, char** argv)
{
    if (argc != 4)
    {
        fprintf(stderr, "usage: %s ERROR-CODES.md WARNINGS.md PYTHON-MODULE\n", argv[0]);
        return 2;
    }
    // The Python package's constants: result codes by the table's names, rizeroz.h's flags.
    auto Constant = [](const char* name, int value) { return std::string(name) + " = " + std::to_string(value); };
    Rows results, warnings,
        constants = {Constant("RZ_READ_WARNINGS", RZ_READ_WARNINGS),
                     Constant("RZ_READ_JSON", RZ_READ_JSON),
                     Constant("RZ_READ_PROGRESS_ONLY", RZ_READ_PROGRESS_ONLY),
                     Constant("RZ_READ_STOPPABLE", RZ_READ_STOPPABLE),
                     Constant("RZ_WRITE_EXPRESSIONS", RZ_WRITE_EXPRESSIONS),
                     Constant("RZ_WRITE_SAFE", RZ_WRITE_SAFE),
                     Constant("RZ_WRITE_JSON", RZ_WRITE_JSON),
                     Constant("RZ_ERR_STOPPED", RZ_ERR_STOPPED)};
#define RIZEROZ_RESULT_ROW(code, name, sentence)                                                                       \
    results.insert(Row(code, ErrorHandler::GetCodeName(code), ErrorHandler::DescribeCode(code)));                      \
    constants.insert(Constant(#name, code));
    RIZEROZ_RESULTS(RIZEROZ_RESULT_ROW)
#undef RIZEROZ_RESULT_ROW
#define RIZEROZ_WARNING_ROW(code, name, sentence, pattern)                                                             \
    warnings.insert(Row(code, ErrorHandler::GetWarningName(code), ErrorHandler::DescribeWarning(code)));
    RIZEROZ_READ_WARNINGS(RIZEROZ_WARNING_ROW)
#undef RIZEROZ_WARNING_ROW
    int failures = Compare(argv[1], results);
    failures += Compare(argv[2], warnings);
    failures += ComparePython(argv[3], constants);
    return failures == 0 ? 0 : 1;
}
