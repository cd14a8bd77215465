// `rizeroz expr`: evaluates a row expression for a row width and prints the row the
// reader would make of it, in hexadecimal. Exit 0 when the row fills its width exactly,
// 1 (with a warning) when the expression stands for fewer or more bytes, 2 when it does
// not evaluate.
#include "Commands.h"

#include <stdio.h>

#include <vector>

#include "DataFile.h"
#include "ToolText.h"
#include "ErrorHandler.h"
#include "Diagnostics.h"
#include "ReadBack.h"
#include "UtUtility.h"

int RunExpr(const std::string& expression, int width)
{
    // The row is the library's to make, as the reader makes it, and its error to word.
    ErrorHandler reports;
    long long kept = 0;
    long long count = SVFEvaluateRow(expression.c_str(), width, nullptr, 0, &kept, &reports);
    if (count < 0)
        return ReportError(reports.GetFailure() != nullptr ? ReportDiagnostic(*reports.GetFailure(), std::string())
                                                           : ToolError(ErrorHandler::DescribeCode((int)count)));
    std::vector<unsigned char> row((size_t)kept);
    SVFEvaluateRow(expression.c_str(), width, row.data(), row.size(), &kept, nullptr);
    std::string digits;
    for (unsigned char byte : row)
        digits += {util_HexDigit(byte >> 4), util_HexDigit(byte & 15)};
    printf("%s\n", digits.c_str());

    long long widthBytes = SVFRowBytes(width);
    if (count == widthBytes)
        return TOOL_EXIT_OK;
    std::string keptNote =
        count > widthBytes ? "; the row keeps the first " + std::to_string(widthBytes) + ", as printed" : std::string();
    fflush(stdout);
    fprintf(stderr, "rizeroz: warning: the expression stands for %s, but a row of %d bits holds %s%s.\n",
            Counted(count, "byte", "bytes").c_str(), width, Counted(widthBytes, "byte", "bytes").c_str(),
            keptNote.c_str());
    return TOOL_EXIT_WARNINGS;
}
