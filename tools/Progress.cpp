// The progress line: the tool's start time, whether stderr is a terminal, and the line
// that stands there, if any.
#include "Progress.h"

#include <stdio.h>

#include <chrono>

#include "Diagnostics.h"

namespace
{
typedef std::chrono::steady_clock Clock;

// Set while static objects are made, before main: the time the tool started.
const Clock::time_point g_started = Clock::now();
const Clock::duration kQuietSpell = std::chrono::seconds(1);
const Clock::duration kRedrawEvery = std::chrono::milliseconds(100);

bool g_bQuiet = false;
Clock::time_point g_lastDrawn;
size_t g_nShownLength = 0;   // characters of the line on the terminal; 0 for none

void Draw(const std::string& line)
{
    std::string text = "\r" + line;
    if (line.size() < g_nShownLength)
        text.append(g_nShownLength - line.size(), ' ');
    fputs(text.c_str(), stderr);
    fflush(stderr);
    g_nShownLength = line.size();
}
}

void Progress::SetQuiet(bool quiet)
{
    g_bQuiet = quiet;
}

void Progress::Clear()
{
    if (g_nShownLength == 0)
        return;
    Draw(std::string());
    fputs("\r", stderr);
    fflush(stderr);
    g_nShownLength = 0;
}

void Progress::Update(unsigned long long done, unsigned long long total, const char* unit)
{
    if (g_bQuiet)
        return;
    static const bool terminal = IsTerminal(stderr);
    Clock::time_point now = Clock::now();
    if (now - g_started < kQuietSpell || (g_nShownLength > 0 && now - g_lastDrawn < kRedrawEvery) || !terminal)
        return;
    g_lastDrawn = now;
    std::string line = "rizeroz: " + m_work + ": ";
    if (total != 0)
        line += std::to_string(done >= total ? 100 : done * 100 / total) + " %";
    else
        line += std::to_string(done) + " " + unit;
    Draw(line);
}
