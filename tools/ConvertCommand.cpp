// `rizeroz convert`: reads IN (a data file, or JSON by its name or --from) and writes OUT
// the same way (--to), through the library's safe save (SafeSave.h): the new text goes to
// a temporary file beside OUT, is synced, with --verify read back and compared first
// (ReadBack.h), and only then takes OUT's place. On any failure, or when a signal ends the tool, OUT is left as it was
// and no temporary file stays behind. A FIFO or a device as OUT, and standard output ("-"), receive the text directly,
// unread; on Windows standard output gets a copy of a checked temporary file.
#include "Commands.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include "DataFile.h"
#include "Diagnostics.h"
#include "JsonModel.h"
#include "PendingFile.h"
#include "Progress.h"
#include "ReadBack.h"
#include "SafeSave.h"
#include "Utf8CommandLine.h"

namespace
{
// The JSON text, into the safe file.
class SafeFileOutput : public JsonOutput
{
public:
    explicit SafeFileOutput(SVFSafeFile& file) : m_file(file) {}
    bool Put(const char* data, size_t length) override { return m_file.Write(data, length) == 0; }

private:
    SVFSafeFile& m_file;
};

void ShowRowsWritten(void* progress, long long rows)
{
    Progress* shown = (Progress*)progress;
    shown->Update((unsigned long long)rows, 0, "rows");
}

// Windows has no name for standard output: the text is saved to a temporary file, checked
// there, and then copied to standard output.
#if defined(_WIN32)
class StandardOutputCopy
{
public:
    ~StandardOutputCopy()
    {
        if (!m_path.empty())
            remove(m_path.c_str());
    }
    bool Create(std::string& error)
    {
        FILE* file = CreateTemporaryFile(m_path);
        if (file == nullptr)
        {
            error = FileError("<stdout>",
                              std::string("a temporary file for the text cannot be made (") + strerror(errno) + ")");
            return false;
        }
        fclose(file);
        return true;
    }
    const std::string& GetPath() const { return m_path; }
    bool CopyOut(std::string& error)
    {
        FILE* in = fopen(m_path.c_str(), "rb");
        bool done = in != nullptr;
        _setmode(_fileno(stdout), _O_BINARY);
        char chunk[65536];
        size_t got;
        while (done && (got = fread(chunk, 1, sizeof(chunk), in)) > 0)
            done = fwrite(chunk, 1, got, stdout) == got;
        done = done && !ferror(in) && fflush(stdout) == 0;
        if (in != nullptr)
            fclose(in);
        if (!done)
            error = FileError("<stdout>", std::string("the text cannot be written (") + strerror(errno) + ")");
        return done;
    }

private:
    std::string m_path;
};
#endif

// True when `path` names a file this process may not write to, as cp would refuse it.
bool IsWriteProtected(const std::string& path)
{
#if defined(_WIN32)
    std::wstring wide = WidePath(path);
    return _waccess(wide.c_str(), 0) == 0 && _waccess(wide.c_str(), 2) != 0;
#else
    return access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0 && errno == EACCES;
#endif
}
}

int RunConvert(const ConvertRequest& request)
{
    LoadedModel loaded;
    std::string error;
    if (loaded.Load(request.input, request.from, error) < 0)
        return ReportError(error);
    SVFPlusData* model = loaded.Get();

    const std::string& output = request.output;
    const std::string shown = ShownName(output, true);
    bool json = IsJsonFile(output, request.to);
    // What a data file would not give back (a text the writer puts out unescaped, a row an
    // expression cannot hold) is refused with the library's sentence, before anything is written.
    ErrorHandler errors;
    if (!json && CheckSVFPlusData(model, request.expressions, shown.c_str(), &errors) != 0)
        return ReportError(SaveError(errors, shown));
    bool standard = IsStandardStream(output);
    if (!standard && !request.force && IsWriteProtected(output))
        return ReportError(FileError(output, std::string("the file is write-protected (") + strerror(EACCES) +
                                                 "); give --force to replace it anyway"));

    std::string target = output;
#if defined(_WIN32)
    StandardOutputCopy copy;
    if (standard && !copy.Create(error))
        return ReportError(error);
    if (standard)
        target = copy.GetPath();
#else
    if (standard)
        target = "/dev/stdout";
#endif

    PendingFileGuard guard;
    SVFSafeFile file;
    if (file.Open(target.c_str(), &errors) < 0)
        return ReportError(SaveError(errors, shown));
    guard.Watch(file.GetTemporaryName());
    bool written;
    {
        // No progress beside the text itself on standard output, which may be the same terminal.
        Progress progress("writing " + shown);
        SafeFileOutput text(file);
        written = json ? WriteJsonModel(model, text, standard ? nullptr : ShowRowsWritten, &progress)
                       : file.WriteModel(model, request.expressions) == 0;
    }
    // With --verify the text is read back while the disk takes it; Commit waits for the sync.
    if (!written || file.Flush() < 0)
        return ReportError(SaveError(errors, shown));

    // A FIFO or a device has nothing to read back.
    const char* readPath = request.verify ? file.GetReadPath() : nullptr;
    if (readPath != nullptr)
    {
        std::string difference =
            json ? CheckWrittenJson(model, readPath, shown) : CheckWrittenDataFile(model, readPath, shown);
        if (!difference.empty())
            return ReportError(FileError(shown, "the converted file does not read back as written (" + difference +
                                                    "); " + shown + " is left as it was"));
    }
    if (file.Commit() < 0)
        return ReportError(SaveError(errors, shown));
#if defined(_WIN32)
    if (standard && !copy.CopyOut(error))
        return ReportError(error);
#endif
    return TOOL_EXIT_OK;
}
