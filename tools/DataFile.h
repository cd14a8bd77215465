// The tool's side of files: where a path given on the command line lies for the handler,
// loading a model from a data file or a JSON file, and writing one out.
#ifndef RIZEROZ_TOOLS_DATAFILE_H
#define RIZEROZ_TOOLS_DATAFILE_H

#include <string>

#include "RODAzivUzirAdovIzozari.h"

// A path from the command line as the handler takes it: a default directory and a file
// name. `composed` is the path the handler makes of the two and names in its reports.
struct ToolPath
{
    std::string shown;      // the path as the user wrote it
    std::string directory;  // the handler's default directory
    std::string name;       // the handler's file name
    std::string composed;   // what the handler opens and reports
};

ToolPath LocateToolPath(const std::string& path);

// True when the library opens `path` as the file it names. On systems whose separator is
// '/', the library reads a backslash as '/', so a name holding one is refused, with one
// sentence in `problem`, rather than opened as another file.
bool IsUsablePath(const std::string& path, std::string& problem);

// True for a name ending in ".json", in any letter case.
bool IsJsonName(const std::string& path);

// The handler's report as the user reads it: the last report's sentence with the
// handler's composed path replaced by the path as given. `fallback` when there is none.
std::string HandlerError(RODAzivUzirAdovIzozari& handler, const ToolPath& path, const char* fallback);

// Opens and reads a data file with `handler`. On success the model is the handler's
// (never null), with line ends in its comment read as line feeds, as XML reads them.
// On failure returns a negative code and sets `error` to one sentence, which names the
// file `shown` when that is given (a copy read in place of the file the user named).
int ReadDataFile(RODAzivUzirAdovIzozari& handler, const std::string& path, std::string& error,
                 const std::string& shown = std::string());

// Where an input can be read as often as a command needs: a regular file where it is; a
// pipe, a FIFO or a device (/dev/stdin) copied once into a temporary file, removed again
// with this object. The copy stops early once the handler, reading what was copied, has
// stopped before its end, so that an endless input such as /dev/zero costs little.
class RereadableInput
{
public:
    RereadableInput() {}
    ~RereadableInput();
    // False with one sentence in `error` when the input cannot be read or copied.
    bool Open(const std::string& path, std::string& error);
    const std::string& GetPath() const { return m_path; }

private:
    RereadableInput(const RereadableInput&);
    RereadableInput& operator=(const RereadableInput&);

    std::string m_path;   // what to read
    std::string m_copy;   // the temporary copy to remove, or empty
};

// A whole file into `bytes`; false with one sentence in `error` when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error);

// Loads a model from a JSON file (by its name) or a data file into `model`.
int LoadModel(const std::string& path, SVFPlusData& model, std::string& error);

#endif
