// Printing pictures as text with half blocks, and what the terminal takes.
#include "TextPicture.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "Diagnostics.h"

namespace
{
const char kUpperHalf[] = "\xE2\x96\x80";   // U+2580
const char kLowerHalf[] = "\xE2\x96\x84";   // U+2584
const char kFullBlock[] = "\xE2\x96\x88";   // U+2588
const char kDot[] = "\xC2\xB7";             // U+00B7

enum Ink
{
    INK_NONE,    // no bit
    INK_PAPER,   // a bit drawn as a dot
    INK_FULL     // a set or differing bit
};

// The ink of each paint: set and differing bits are ink, the other bits dots, the rest blank.
const Ink kInks[PAINT_COUNT] = {INK_PAPER, INK_FULL,  INK_NONE, INK_NONE, INK_NONE,
                                INK_PAPER, INK_PAPER, INK_NONE, INK_FULL};
static_assert(PAINT_COUNT == 9 && PAINT_DIFFERS == 8, "an ink for every paint");

// The character of two pixels, one over the other, by their inks: a block or half block
// for ink, else a dot where there is a bit.
const char* const kGlyphs[3][3] = {
    {" ", kDot, kLowerHalf}, {kDot, kDot, kLowerHalf}, {kUpperHalf, kUpperHalf, kFullBlock}};

void AppendColour(std::string& line, const char* kind, int colour)
{
    line += std::string("\x1b[") + kind + ";5;" + std::to_string(colour) + "m";
}
}

long long TerminalColumns()
{
    const char* columns = getenv("COLUMNS");
    if (columns != nullptr && atol(columns) > 0)
        return atol(columns);
#if defined(_WIN32)
    CONSOLE_SCREEN_BUFFER_INFO screen;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &screen))
        return screen.srWindow.Right - screen.srWindow.Left + 1;
#else
    struct winsize size;
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#endif
    return 80;
}

bool PrepareTerminal(const std::string& when)
{
#if defined(_WIN32)
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    bool terminal = GetConsoleMode(output, &mode) != 0;
    if (terminal)
        SetConsoleOutputCP(CP_UTF8);
    // Escape sequences need a console that understands them (Windows 10 and later).
    bool escapes = terminal && SetConsoleMode(output, mode | 0x0004 /* ENABLE_VIRTUAL_TERMINAL_PROCESSING */) != 0;
#else
    bool escapes = IsTerminal(stdout);
#endif
    return WantColour(when, escapes);
}

void PrintTextPicture(FieldPicture& picture, long long columns, bool colour)
{
    long long width = std::max(1LL, std::min(picture.GetWidth(), columns));
    const PaintColour* colours = kPaintPalette;
    std::vector<unsigned char> top((size_t)width);
    std::vector<unsigned char> bottom((size_t)width);
    std::string line;
    for (long long y = 0; y < picture.GetHeight(); y += 2)
    {
        bool hasBottom = y + 1 < picture.GetHeight();
        picture.NextRow(top.data(), width);
        if (hasBottom)
            picture.NextRow(bottom.data(), width);
        line.clear();
        int foreground = -1;
        int background = -1;
        for (long long x = 0; x < width; ++x)
        {
            if (!colour)
            {
                line += kGlyphs[kInks[top[x]]][hasBottom ? kInks[bottom[x]] : INK_NONE];
                continue;
            }
            if (colours[top[x]].terminal != foreground)
                AppendColour(line, "38", foreground = colours[top[x]].terminal);
            if (hasBottom && colours[bottom[x]].terminal != background)
                AppendColour(line, "48", background = colours[bottom[x]].terminal);
            line += kUpperHalf;
        }
        if (colour)
            line += "\x1b[0m";
        else
            line.erase(line.find_last_not_of(' ') + 1);
        line += '\n';
        fwrite(line.data(), 1, line.size(), stdout);
    }
}
