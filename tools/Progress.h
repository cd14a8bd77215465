// A progress line on stderr for long work: shown only when stderr is a terminal, once the
// tool has run for a second, and not at all after SetQuiet(true). It stands on one line
// that is rewritten in place at most ten times a second and wiped when the work ends, so
// that nothing of it stays between the tool's real output and messages.
#ifndef RIZEROZ_TOOLS_PROGRESS_H
#define RIZEROZ_TOOLS_PROGRESS_H

#include <chrono>
#include <string>

class Progress
{
public:
    // Silences every progress line of this run (--quiet).
    static void SetQuiet(bool quiet);
    // Wipes a line that is shown, before a message goes to stderr.
    static void Clear();

    // The work's name, such as "reading big.xml"; the work starts now.
    explicit Progress(const std::string& work);
    ~Progress() { Clear(); }

    // How far the work is: `done` of `total`, shown as a percentage. A total of 0 is not
    // known (a pipe gives its bytes until it ends): `done` is then a number of bytes,
    // shown with the rate since the work started ("reading <stdin>: 52.4 MB, 26.2 MB/s").
    // Cheap enough to call for every row: it reads a clock and returns, but for the
    // tenth of a second when the line is redrawn.
    void Update(unsigned long long done, unsigned long long total);

private:
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    std::string m_work;
    std::chrono::steady_clock::time_point m_started;
};

#endif
