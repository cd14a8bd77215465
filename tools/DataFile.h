// The tool's side of files: where a path given on the command line lies for the handler,
// which files are JSON, "-" for the standard streams, and loading the one model a command
// works on.
#ifndef RIZEROZ_TOOLS_DATAFILE_H
#define RIZEROZ_TOOLS_DATAFILE_H

#include <stdio.h>

#include <string>

#include "ModelRows.h"
#include "RODAzivUzirAdovIzozari.h"
#include "UtByteSource.h"

class Progress;

// True when the library opens `path` as the file it names. On systems whose separator is
// '/', the library reads a backslash as '/', so a name holding one is refused, with one
// sentence in `problem`, rather than opened as another file.
bool IsUsablePath(const std::string& path, std::string& problem);

// How a file is read or written (--from, --to): as its name says, as a data file, or as JSON.
enum FileFormat
{
    FORMAT_BY_NAME,
    FORMAT_DATA_FILE,
    FORMAT_JSON
};

// "-": standard input for a file to read, standard output for one to write.
inline bool IsStandardStream(const std::string& path)
{
    return path == "-";
}

// True when `path` is JSON: as `format` says, else as the library finds it by the name
// (SVFTextFormOf: a name ending in ".json" in any letter case). "-" without a format is a
// data file: this is the rule for a file written.
bool IsJsonFile(const std::string& path, FileFormat format);

// True when `path`, a file to read, is JSON: as IsJsonFile says, but "-" without a format
// is JSON when StandardInputFormat finds it so.
bool IsJsonInput(const std::string& path, FileFormat format);

// How a text that begins with the `count` bytes at `bytes` is read when nothing names its
// kind, as the library finds it (SVFTextFormOf: JSON when its first byte that is no white
// space, after a byte order mark, is '{', else a data file). FORMAT_BY_NAME while that byte
// is still to come: the bytes are all white space and more may follow (`whole` false).
FileFormat FormatOfText(const char* bytes, size_t count, bool whole);

// The kind of standard input by FormatOfText, found once by looking at its first bytes
// without taking them (InputFile.cpp), so that the readers still get all of it:
// FORMAT_DATA_FILE or FORMAT_JSON, or FORMAT_BY_NAME when standard input cannot be looked
// at that way (a terminal, or a pipe filled with white space).
FileFormat StandardInputFormat();

// The name of `path` in messages and output: "<stdin>" (or, for a file written,
// "<stdout>") for "-", else the path as given.
std::string ShownName(const std::string& path, bool written = false);

// A stream (standard input) as the library's byte source: read as it comes, nothing copied.
class StreamSource : public UtByteSource
{
public:
    explicit StreamSource(FILE* stream) : m_pStream(stream) {}
    int Read(char* buffer, size_t capacity, size_t* count) override;

private:
    FILE* m_pStream;
};

// Opens the data file `path` (a path from the command line, where the library opens it
// as named: IsUsablePath; "-" for standard input, read as it comes through a
// StreamSource) with `handler` and reads it: the handler's result.
int ReadWithHandler(RODAzivUzirAdovIzozari& handler, const std::string& path);

// Has standard input or output (`stream`) carry bytes untranslated: Windows would
// translate line ends in text mode. On Linux a pipe's buffer grows to 1 MB, for speed.
void PrepareStandardStream(FILE* stream);

// True when `path` names a regular file (not a pipe, a FIFO or a device): one whose size
// is known before it is read.
bool IsRegularFile(const std::string& path);

// True when `path` can be read only once, as it comes: standard input ("-") that is not a
// regular file (a pipe, a terminal, or closed), or a path that names a pipe, a FIFO or a
// device. A path that does not exist is not: the handler tells what is wrong with it.
bool IsReadOnce(const std::string& path);

#if defined(_WIN32)
// A new, empty temporary file in the user's folder for temporary files, open for writing,
// and its name in `name` (convert's text for standard output). Null on failure, with
// errno set.
FILE* CreateTemporaryFile(std::string& name);
#endif

// Reads a data file with the handler, or JSON with the JSON reader, showing the reading's
// progress in MB and giving every row, as soon as it is complete, to `observer` (when
// given) through the readers' row hook. On failure each returns a negative code and sets
// `error` to one sentence that names the file `shown`.
class ToolReader : public SVFReadHook
{
public:
    explicit ToolReader(RowObserver* observer = nullptr) : m_pObserver(observer) {}

    // Reads the data file `path` with the handler, telling `progress` (may be null). The
    // model is then the handler's (never null: a document of another root element is the
    // library's failure XML_ERR_NO_ROOT).
    int Read(const std::string& path, const std::string& shown, Progress* progress, std::string& error);
    // Reads the JSON file `path` ("-": standard input) into `model`, which must be new and
    // empty, the same way, with the library's JSON reader (SVFJson.h).
    int ReadJson(const std::string& path, const std::string& shown, SVFPlusData& model, Progress* progress,
                 std::string& error);
    // Reads `path` (a data file or JSON, as `format` and its name say; "-" for standard
    // input), showing progress, into a model of its own.
    int Load(const std::string& path, FileFormat format, std::string& error);
    // Why ReadJson failed: the library's report (its sentence, code and place), or null.
    const ErrorReport* GetJsonError() const { return m_jsonErrors.GetLastReport(); }
    // Why the last Read or ReadJson failed: the library's report, or null.
    const ErrorReport* GetFailure()
    {
        return m_pJson != nullptr ? GetJsonError() : m_handler.GetErrorHandler()->GetFailure();
    }
    // The model read: the JSON one, else the handler's.
    SVFPlusData* GetSVFPlusData() { return m_pJson != nullptr ? m_pJson : m_handler.GetSVFPlusData(); }

    void OnRow(int field, int block, int row, UtByteBuffer* bytes) override;
    void OnProgress(unsigned long long done, unsigned long long total) override;

private:
    RODAzivUzirAdovIzozari m_handler;
    SVFPlusData m_json;   // what Load reads of a JSON file
    ErrorHandler m_jsonErrors;
    RowObserver* m_pObserver;
    Progress* m_pProgress = nullptr;
    bool m_bSized = false;   // the readers' total is the size of what they read
    SVFPlusData* m_pJson = nullptr;
};

// The one model a command works on: the handler's own for a data file (taken over from
// it, not copied), or the model the JSON reader builds; empty until loaded.
class LoadedModel : public SVFPlusData
{
public:
    // Reads `path` as ToolReader::Load does, telling `observer` (may be null) of each row.
    int Load(const std::string& path, FileFormat format, std::string& error, RowObserver* observer = nullptr);
    SVFPlusData* Get() { return this; }
    // After a failed Load, the library's report of it (code 0 when the library made none).
    const ErrorReport& Failure() const { return m_failure; }

private:
    ErrorReport m_failure;
};

#endif
