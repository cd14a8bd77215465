// The code tables of docs/error-codes.md and docs/warnings.md against the library's
// (ResultCodes.h, ReadWarnings.h): every code with its name and the sentence its reports
// give, row for row. A code the library gains, renames or rewords must be documented,
// and the pages list no code the library does not have.
#include <ctype.h>
#include <stdio.h>

#include <fstream>
#include <set>
#include <string>

#include "ErrorHandler.h"

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
}

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        fprintf(stderr, "usage: %s ERROR-CODES.md WARNINGS.md\n", argv[0]);
        return 2;
    }
    Rows results, warnings;
#define RIZEROZ_RESULT_ROW(code, name, sentence) \
    results.insert(Row(code, ErrorHandler::GetCodeName(code), ErrorHandler::DescribeCode(code)));
    RIZEROZ_RESULTS(RIZEROZ_RESULT_ROW)
#undef RIZEROZ_RESULT_ROW
#define RIZEROZ_WARNING_ROW(code, name, sentence) \
    warnings.insert(Row(code, ErrorHandler::GetWarningName(code), ErrorHandler::DescribeWarning(code)));
    RIZEROZ_READ_WARNINGS(RIZEROZ_WARNING_ROW)
#undef RIZEROZ_WARNING_ROW
    int failures = Compare(argv[1], results);
    failures += Compare(argv[2], warnings);
    return failures == 0 ? 0 : 1;
}
