// `rizeroz convert`: reads IN (a data file, or JSON by its name or --from) and writes OUT
// the same way (--to), through the library's safe save (SafeSave.h): the new text goes to
// a temporary file beside OUT while IN is read, is synced, with --verify read back and
// compared first, and only then takes OUT's place. On any failure, or when a signal ends
// the tool, OUT is left as it was and no temporary file stays behind. A FIFO or a device
// as OUT, and standard output ("-"), receive the text directly once IN is read; on
// Windows standard output gets a copy of a temporary file.
#include "Commands.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <memory>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include "DataFile.h"
#include "Diagnostics.h"
#include "PendingFile.h"
#include "ModelCompare.h"
#include "Progress.h"
#include "SVFWriter.h"
#include "SafeSave.h"
#include "Utf8CommandLine.h"

namespace
{
// Windows has no name for standard output: the text is saved to a temporary file (with
// --verify checked there), copied to standard output, and the file removed.
#if defined(_WIN32)
struct StandardOutputCopy
{
    std::string path;
    ~StandardOutputCopy()
    {
        if (!path.empty())
            remove(path.c_str());
    }
    bool CopyOut() const
    {
        FILE* in = fopen(path.c_str(), "rb");
        bool done = in != nullptr;
        _setmode(_fileno(stdout), _O_BINARY);
        char chunk[65536];
        for (size_t got; done && (got = fread(chunk, 1, sizeof(chunk), in)) > 0;)
            done = fwrite(chunk, 1, got, stdout) == got;
        done = done && !ferror(in) && fflush(stdout) == 0;
        if (in != nullptr)
            fclose(in);
        return done;
    }
};
#endif

// Writes OUT while IN is read, so that the disk takes the text as it is made: once the
// reader begins a later block, the blocks before it are complete and are written (the
// library's writers write a document or its JSON text in parts, SVFWriter.h). Holds
// then tells whether the model read whole still holds what was written with them (a JSON
// text may give a field's name after its blocks; a data file's comment gets its CR LF as
// line feeds once read); where it does not, the text is written again whole.
class StreamedText : public RowObserver
{
public:
    StreamedText(SVFSafeFile& file, bool json, bool expressions)
        : m_file(file), m_format(json ? SVF_FORMAT_JSON : SVF_FORMAT_DATA_FILE), m_bExpressions(expressions),
          m_pWriter(new SVFWriter(m_format, expressions))
    {
    }
    void Row(SVFPlusData* model, int field, int block, int, UtByteBuffer* bytes) override
    {
        // A part is written once a megabyte of rows waits, so that small blocks cost no
        // call each.
        m_nWaiting += bytes != nullptr ? bytes->GetTotalSize() : 0;
        if ((field == m_nField && block == m_nBlock) || m_nWaiting < kPart)
            return;
        m_nField = field;
        m_nBlock = block;
        m_nWaiting = 0;
        // A failure sticks to the file, and is reported when the rest is written.
        m_pWriter->WritePart(model, m_file, field, block);
    }
    bool Holds(SVFPlusData* model) const { return m_pWriter->Holds(model); }
    // The text begun afresh, in a file opened afresh.
    void Restart() { m_pWriter.reset(new SVFWriter(m_format, m_bExpressions)); }
    // Writes what is left of the text: true when the file took it.
    bool WriteRest(SVFPlusData* model) { return m_pWriter->Write(model, m_file) == 0; }

private:
    SVFSafeFile& m_file;
    SVFFormat m_format;
    bool m_bExpressions;
    std::unique_ptr<SVFWriter> m_pWriter;
    static const unsigned long long kPart = 1 << 20;
    int m_nField = -1;   // where the last part ended
    int m_nBlock = -1;
    unsigned long long m_nWaiting = 0;   // bytes of the rows read since
};

class FirstDifference : public DifferenceSink
{
public:
    void Add(const Difference& difference) override
    {
        if (!m_bFound)
            m_first = difference;
        m_bFound = true;
    }
    bool m_bFound = false;
    Difference m_first;
};

// The text at `readPath` (JSON when `json`), read back and compared row by row with the
// model written as each row comes in: a data file's by what a data file carries (a null
// text comes back empty and so on: ModelCompare.h), JSON exactly. The first difference as
// a phrase, or "" when there is none.
std::string CheckWritten(SVFPlusData* model, const std::string& readPath, const std::string& shown, bool json)
{
    RowComparison comparison(model, json ? VIEW_EXACT : VIEW_CARRIED, false);
    ToolReader reader(&comparison);
    Progress progress("checking " + shown);
    SVFPlusData reread;
    std::string problem;
    if ((json ? reader.ReadJson(readPath, shown, reread, &progress, problem)
              : reader.Read(readPath, shown, &progress, problem)) < 0)
        return "reading it gives: " + problem;
    FirstDifference found;
    comparison.Finish(json ? &reread : reader.GetSVFPlusData(), json, found);
    return found.m_bFound ? DescribeReadBack(found.m_first) : std::string();
}

// With `verify`, reads the flushed text back and compares it with `model`; then puts it in
// OUT's place. The tool's exit code.
int VerifyAndCommit(bool verify, bool json, SVFPlusData* model, SVFSafeFile& file, const std::string& shown,
                    ErrorHandler& errors)
{
    // A FIFO or a device has nothing to read back.
    const char* readPath = verify ? file.GetReadPath() : nullptr;
    if (readPath != nullptr)
    {
        std::string difference = CheckWritten(model, readPath, shown, json);
        if (!difference.empty())
            return ReportError(FileError(shown, "the converted file does not read back as written (" + difference +
                                                    "); " + shown + " is left as it was"));
    }
    return file.Commit() < 0 ? ReportError(SaveError(errors, shown)) : TOOL_EXIT_OK;
}

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
    const std::string& output = request.output;
    const std::string shown = ShownName(output, true);
    bool json = IsJsonFile(output, request.to);
    bool standard = IsStandardStream(output);
    if (!standard && !request.force && IsWriteProtected(output))
        return ReportError(FileError(output, std::string("the file is write-protected (") + strerror(EACCES) +
                                                 "); give --force to replace it anyway"));
    std::string target = output, error;
#if defined(_WIN32)
    StandardOutputCopy copy;
    FILE* made = standard ? CreateTemporaryFile(copy.path) : nullptr;
    if (standard && made == nullptr)
        return ReportError(FileError("<stdout>", std::string("a temporary file for the text cannot be made (") +
                                                     strerror(errno) + ")"));
    if (standard)
        target = copy.path, fclose(made);
#else
    if (standard)
        target = "/dev/stdout";
#endif

    // The guard is there before the temporary file: the save holds the ending signals back
    // from the file's creation until Watch, which lets them through to the guard's handler.
    PendingFileGuard guard;
    SVFSafeFile file;
    ErrorHandler errors;
    if (file.Open(target.c_str(), &errors, !json) < 0)
        return ReportError(SaveError(errors, shown));
    guard.Watch(file.GetTemporaryName());
    // A temporary file takes the text while IN is read; a FIFO or a device once IN is read whole.
    bool streaming = !file.WritesDirectly();
    StreamedText streamed(file, json, request.expressions);
    LoadedModel loaded;
    if (loaded.Load(request.input, request.from, error, streaming ? &streamed : nullptr) < 0)
        return ReportError(error);
    SVFPlusData* model = loaded.Get();

    // What a data file would not give back (a text the writer puts out unescaped, a row an
    // expression cannot hold) is refused with the library's sentence; OUT stays as it was.
    if (!json && CheckSVFPlusData(model, request.expressions, shown.c_str(), &errors) != 0)
        return ReportError(SaveError(errors, shown));
    if (!streamed.Holds(model))
    {
        // The model changed where it was already written: the text is begun afresh.
        if (file.Open(target.c_str(), &errors, !json) < 0)
            return ReportError(SaveError(errors, shown));
        guard.Watch(file.GetTemporaryName());
        streamed.Restart();
    }
    bool written = streamed.WriteRest(model);
    // With --verify the text is read back while the disk takes it; Commit waits for the sync.
    if (!written || file.Flush() < 0)
        return ReportError(SaveError(errors, shown));
    int result = VerifyAndCommit(request.verify, json, model, file, shown, errors);
#if defined(_WIN32)
    if (result == TOOL_EXIT_OK && standard && !copy.CopyOut())
        return ReportError(FileError("<stdout>", std::string("the text cannot be written (") + strerror(errno) + ")"));
#endif
    return result;
}
