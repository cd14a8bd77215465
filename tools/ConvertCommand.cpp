// `rizeroz convert`: reads IN (a data file, or JSON by its name) and writes OUT the same
// way, through the library's safe save (SafeSave.h): the new text goes to a temporary
// file beside OUT, is read back and compared, and only then takes OUT's place. On any
// failure, or when a signal ends the tool, OUT is left as it was and no temporary file
// stays behind. A FIFO or a device as OUT receives the text directly, unread.
#include "Commands.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#  include <io.h>
#else
#  include <unistd.h>
#endif

#include "DataFile.h"
#include "Diagnostics.h"
#include "JsonModel.h"
#include "ModelCompare.h"
#include "SafeSave.h"

namespace
{
// The named temporary file of a conversion under way, for the signal handler.
char g_szPendingFile[4096];

// The signals that end the tool by default.
const int kEndingSignals[] = {
    SIGINT, SIGTERM,
#if !defined(_WIN32)
    SIGHUP, SIGQUIT,
#endif
};
const int kSignalCount = (int)(sizeof(kEndingSignals) / sizeof(kEndingSignals[0]));

void RemovePendingFile(int signalNumber)
{
    if (g_szPendingFile[0] != '\0')
    {
#if defined(_WIN32)
        remove(g_szPendingFile);
#else
        unlink(g_szPendingFile);
#endif
    }
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

// While it lives, a signal that would end the tool first removes the temporary file it
// watches (unless the signal is ignored, as for a job a shell started in the background).
class PendingFileGuard
{
public:
    typedef void (*SignalHandler)(int);

    PendingFileGuard()
    {
        g_szPendingFile[0] = '\0';
        for (int i = 0; i < kSignalCount; ++i)
        {
            m_previous[i] = signal(kEndingSignals[i], RemovePendingFile);
            if (m_previous[i] == SIG_IGN)
                signal(kEndingSignals[i], SIG_IGN);
        }
    }
    ~PendingFileGuard()
    {
        Watch(nullptr);
        for (int i = 0; i < kSignalCount; ++i)
            signal(kEndingSignals[i], m_previous[i]);
    }
    // The file to remove; null for none (an unnamed temporary file needs no removing).
    void Watch(const char* name)
    {
        size_t length = name != nullptr ? strlen(name) : 0;
        g_szPendingFile[0] = '\0';
        if (length > 0 && length < sizeof(g_szPendingFile))
            memcpy(g_szPendingFile, name, length + 1);
    }

private:
    SignalHandler m_previous[kSignalCount];
};

// The sentence of the last report on `errors`, or `fallback`.
std::string LastReport(ErrorHandler& errors, const std::string& output)
{
    const ErrorReport* report = errors.GetLastReport();
    return report != nullptr ? ReportDiagnostic(*report, output, "error") : FileError(output, "the file cannot be written");
}

// True when a row holds more bytes than its width: an expression read back gives no
// more than the width holds.
bool HasRowBeyondWidth(SVFPlusData& model)
{
    for (int i = 0; i < model.GetDataFieldCount(); ++i)
    {
        SVFDataField* field = model.GetDataField(i);
        for (int j = 0; j < field->GetFieldBlockCount(); ++j)
        {
            SVFDataField::DataBlock* block = field->GetDataBlock(j);
            long long widthBytes = block->m_nRowWidth > 0 ? ((long long)block->m_nRowWidth + 7) / 8 : 0;
            for (int k = 1; k <= block->GetNumberOfRows(); ++k)
                if ((long long)block->GetRow(k)->GetTotalSize() > widthBytes)
                    return true;
        }
    }
    return false;
}

// Reads the finished JSON text back: the file must hold the text, and the text must give
// a model whose JSON is the text again. Returns the difference, or "".
std::string CheckJson(const std::string& text, const char* readPath)
{
    std::string back, error, problem;
    if (!ReadWholeFile(readPath, back, error))
        return "reading it gives: " + error;
    if (back != text)
        return "the file does not hold the text written";
    SVFPlusData reread;
    if (JsonToModel(text, reread, problem) != 0)
        return problem;
    return ModelToJson(&reread) != text ? "the model it gives differs" : "";
}

// Reads the finished data file back with the handler: the model read must be the one
// written, in what a data file carries (ModelCompare.h). Returns the difference, or "".
std::string CheckData(SVFPlusData& model, const char* readPath, const std::string& output, bool expressions)
{
    RODAzivUzirAdovIzozari reader;
    std::string problem;
    if (ReadDataFile(reader, readPath, problem, output) < 0)
        return "reading it gives: " + problem;
    std::string difference = FirstDifference(CarriedByDataFile(&model), CarriedByDataFile(reader.GetSVFPlusData()));
    if (!difference.empty() && expressions && HasRowBeyondWidth(model))
        difference += "; a row longer than its row width does not survive as an expression, so convert "
                      "without --expressions";
    return difference;
}

// True when `path` names a file this process may not write to, as cp would refuse it.
bool IsWriteProtected(const std::string& path)
{
#if defined(_WIN32)
    return _access(path.c_str(), 0) == 0 && _access(path.c_str(), 2) != 0;
#else
    return access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0 && errno == EACCES;
#endif
}
}

int RunConvert(const std::string& input, const std::string& output, bool expressions, bool force)
{
    SVFPlusData model;
    std::string error;
    if (LoadModel(input, model, error) < 0)
        return ReportError(error);

    bool json = IsJsonName(output);
    std::string problem;
    if (!json && !CanWriteTexts(&model, problem))
        return ReportError(FileError(output, problem + ", which the data file writer would put out unescaped; " +
                                             "nothing was written"));
    if (!force && IsWriteProtected(output))
        return ReportError(FileError(output, std::string("the file is write-protected (") + strerror(EACCES) +
                                             "); give --force to replace it anyway"));

    PendingFileGuard guard;
    ErrorHandler errors;
    SVFSafeFile file;
    if (file.Open(output.c_str(), &errors) < 0)
        return ReportError(LastReport(errors, output));
    guard.Watch(file.GetTemporaryName());
    std::string text = json ? ModelToJson(&model) : std::string();
    int written = json ? file.Write(text.data(), text.size()) : file.WriteModel(&model, expressions);
    if (written < 0 || file.Finish() < 0)
        return ReportError(LastReport(errors, output));

    // A FIFO or a device has nothing to read back.
    if (const char* readPath = file.GetReadPath())
    {
        std::string difference = json ? CheckJson(text, readPath) : CheckData(model, readPath, output, expressions);
        if (!difference.empty())
            return ReportError(FileError(output, "the converted file does not read back as written (" + difference +
                                                 "); " + output + " is left as it was"));
    }
    if (file.Commit() < 0)
        return ReportError(LastReport(errors, output));
    return TOOL_EXIT_OK;
}
