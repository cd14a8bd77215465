// `rizeroz expr`: evaluates a row expression for a row width and prints the row the
// reader would make of it, in hexadecimal. Exit 0 when the row fills its width exactly,
// 1 (with a warning) when the expression stands for fewer or more bytes, 2 when it does
// not evaluate.
#include "Commands.h"

#include <stdio.h>

#include <algorithm>
#include <vector>

#include "DataFile.h"
#include "ToolText.h"
#include "ErrorHandler.h"
#include "Diagnostics.h"
#include "SVPExpression.h"

int RunExpr(const std::string& expression, int width)
{
    SVPExpression evaluator;
    char probe[3];
    int count = evaluator.GetBitStream(expression.c_str(), probe, (int)sizeof(probe));
    if (count < 0)
        return ReportError(ToolError("\"" + expression + "\" does not evaluate: " + ErrorHandler::DescribeCode(count) +
                                     " (error " + std::to_string(count) + ")"));

    // As the reader does: the row holds at most the bytes of its width.
    long long widthBytes = ((long long)width + 7) / 8;
    long long kept = std::min((long long)count, widthBytes);
    std::vector<char> area((size_t)(kept * 2 + 3));
    evaluator.GetBitStream(expression.c_str(), area.data(), (int)area.size());
    printf("%s\n", area.data() + 2);

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
