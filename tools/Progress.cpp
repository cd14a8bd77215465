// The progress line: the tool's start time, whether stderr is a terminal, and the line
// that stands there, if any.
#include "Progress.h"

#include <stdio.h>

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

// "312 bytes", "12.0 KB", "52.4 MB", "1.3 GB" (in units of 1024).
std::string Amount(double bytes)
{
    char text[32];
    if (bytes < 1024)
    {
        snprintf(text, sizeof(text), "%.0f bytes", bytes);
        return text;
    }
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
    int unit = 0;
    for (bytes /= 1024; bytes >= 1024 && unit < 3; bytes /= 1024)
        ++unit;
    snprintf(text, sizeof(text), "%.1f %s", bytes, kUnits[unit]);
    return text;
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

Progress::Progress(const std::string& work) : m_work(work), m_started(Clock::now()) {}

void Progress::Update(unsigned long long done, unsigned long long total)
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
    {
        double seconds = std::chrono::duration<double>(now - m_started).count();
        line += Amount((double)done) + ", " + Amount(seconds > 0 ? (double)done / seconds : 0) + "/s";
    }
    Draw(line);
}
