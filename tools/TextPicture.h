// Pictures on a terminal, for `rizeroz render --text`: Unicode half blocks, two pixel
// rows to a line, each line cut to the terminal's width.
#ifndef RIZEROZ_TOOLS_TEXTPICTURE_H
#define RIZEROZ_TOOLS_TEXTPICTURE_H

#include <string>

#include "RenderPicture.h"

// The width of the terminal in characters: COLUMNS when it holds a positive number, else
// the width of the terminal that stdout shows, else 80.
long long TerminalColumns();

// Whether to print in colour, for "always", "never" or "auto": auto is a terminal on
// stdout, NO_COLOR unset or empty and TERM not "dumb". Also makes a Windows console take
// UTF-8 and, for colour, escape sequences.
bool PrepareTerminal(const std::string& when);

// Prints the picture's rows, each line cut to `columns` characters. In colour each
// character is an upper half block in its two pixels' colours; without, a set bit (and,
// in a comparison, a differing bit) is ink, any other bit a dot and the rest blank.
void PrintTextPicture(FieldPicture& picture, long long columns, bool colour);

#endif
