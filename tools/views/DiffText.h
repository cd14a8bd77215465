// The text `rizeroz diff` prints for the differences of two models, shared by the tool and
// the viewer page's module (web/), so that both tell a difference in the same words.
#ifndef RIZEROZ_TOOLS_DIFFTEXT_H
#define RIZEROZ_TOOLS_DIFFTEXT_H

#include <string>

#include "ModelCompare.h"

// The line of a difference, as docs/cli.md shows it; with `colour`, what the first file
// has in red, what the second has in green and a row's place in cyan, as git inks them.
std::string DifferenceLine(const Difference& difference, bool colour);

// The bytes of a row that differs, under its line: '-' and the first file's (`side` 0) or
// '+' and the second's, "..." where the row goes on beyond them. In colour, the bytes that
// differ from the other row's stand out in reverse.
std::string ExcerptLine(const Difference& difference, int side, bool colour);

// The last line: "3 differences.", or "25 differences (20 shown)." when more than `max`.
std::string DifferenceSummary(long long count, int max);

#endif
