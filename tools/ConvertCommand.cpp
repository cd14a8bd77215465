// `rizeroz convert`: reads IN (a data file, or JSON by its name) and writes OUT the same
// way. The new file is written beside OUT under a temporary name, read back and
// compared, and only then renamed over OUT; on any failure, or on an interrupt, the
// temporary file is removed and OUT is left as it was.
#include "Commands.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
#  include <process.h>
#  define RIZEROZ_GETPID _getpid
#else
#  include <unistd.h>
#  define RIZEROZ_GETPID getpid
#endif

#include "DataFile.h"
#include "JsonModel.h"
#include "ModelCompare.h"

namespace
{
// The temporary file of a conversion under way, for the interrupt handler.
char g_szPendingFile[4096];

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

// A file beside the target, removed again unless it has been renamed over the target.
class TemporaryFile
{
public:
    explicit TemporaryFile(const std::string& target)
        : m_target(target), m_bPending(false), m_bIntercepting(false), m_pPreviousInterrupt(SIG_DFL),
          m_pPreviousTerminate(SIG_DFL)
    {
        std::string base = target.substr(SiblingPath(target, "").size());
        for (int attempt = 0; attempt < 1000 && !m_bPending; ++attempt)
        {
            std::string name = "." + base + ".rizeroz-" + std::to_string((long)RIZEROZ_GETPID()) + "-" +
                               std::to_string(attempt) + ".tmp";
            std::string path = SiblingPath(target, name);
            FILE* existing = fopen(path.c_str(), "rb");
            if (existing != nullptr)
            {
                fclose(existing);
                continue;
            }
            m_path = path;
            m_bPending = true;
        }
        if (m_bPending && m_path.size() < sizeof(g_szPendingFile))
        {
            memcpy(g_szPendingFile, m_path.c_str(), m_path.size() + 1);
            m_pPreviousInterrupt = Intercept(SIGINT);
            m_pPreviousTerminate = Intercept(SIGTERM);
            m_bIntercepting = true;
        }
    }

    ~TemporaryFile()
    {
        if (m_bPending)
            remove(m_path.c_str());
        Forget();
    }

    bool IsReady() const { return m_bPending; }
    const std::string& GetPath() const { return m_path; }

    // Renames the file over the target; false with a sentence in `error` when that fails.
    bool Commit(std::string& error)
    {
#if defined(_WIN32)
        if (!MoveFileExA(m_path.c_str(), m_target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        {
            error = m_target + ": the converted file cannot take its place (Windows error " +
                    std::to_string((unsigned long)GetLastError()) + ").";
            return false;
        }
#else
        if (rename(m_path.c_str(), m_target.c_str()) != 0)
        {
            error = m_target + ": the converted file cannot take its place (" + strerror(errno) + ").";
            return false;
        }
#endif
        m_bPending = false;
        Forget();
        return true;
    }

private:
    typedef void (*SignalHandler)(int);

    // Removes the file when the signal comes, unless the signal is ignored (as it is
    // for a job started in the background by a shell).
    static SignalHandler Intercept(int signalNumber)
    {
        SignalHandler previous = signal(signalNumber, RemovePendingFile);
        if (previous == SIG_IGN)
            signal(signalNumber, SIG_IGN);
        return previous;
    }

    void Forget()
    {
        if (m_bIntercepting)
        {
            signal(SIGINT, m_pPreviousInterrupt);
            signal(SIGTERM, m_pPreviousTerminate);
            m_bIntercepting = false;
        }
        g_szPendingFile[0] = '\0';
    }

    std::string m_target;
    std::string m_path;
    bool m_bPending;
    bool m_bIntercepting;
    SignalHandler m_pPreviousInterrupt;
    SignalHandler m_pPreviousTerminate;
};

bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string& error)
{
    errno = 0;
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
    {
        error = path + ": the file cannot be created (" + strerror(errno) + ").";
        return false;
    }
    size_t written = fwrite(bytes.data(), 1, bytes.size(), file);
    bool closed = fclose(file) == 0;
    if (written != bytes.size() || !closed)
    {
        error = path + ": writing the file failed.";
        return false;
    }
    return true;
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

// Writes the JSON text and reads it back: the file must hold the text, and the text must
// give a model whose JSON is the text again.
bool WriteJson(SVFPlusData& model, const std::string& path, std::string& error, std::string& difference)
{
    std::string text = ModelToJson(&model);
    if (!WriteWholeFile(path, text, error))
        return false;
    std::string back;
    if (!ReadWholeFile(path, back, error))
        return false;
    SVFPlusData reread;
    std::string problem;
    if (back != text)
        difference = "the file does not hold the text written";
    else if (JsonToModel(back, reread, problem) != 0)
        difference = problem;
    else if (ModelToJson(&reread) != text)
        difference = "the model it gives differs";
    return true;
}

// Writes the data file with the handler and reads it back with the handler: the model
// read must be the one written, in what a data file carries (ModelCompare.h).
bool WriteData(SVFPlusData& model, const std::string& path, bool expressions, std::string& error,
               std::string& difference)
{
    if (WriteDataFile(&model, path, expressions, error) < 0)
        return false;
    RODAzivUzirAdovIzozari reader;
    std::string problem;
    if (ReadDataFile(reader, path, problem) < 0)
    {
        difference = "reading it gives: " + problem;
        return true;
    }
    difference = FirstDifference(CarriedByDataFile(&model), CarriedByDataFile(reader.GetSVFPlusData()));
    if (!difference.empty() && expressions && HasRowBeyondWidth(model))
        difference += "; a row longer than its row width does not survive as an expression, so convert "
                      "without --expressions";
    return true;
}
}

int RunConvert(const std::string& input, const std::string& output, bool expressions)
{
    SVFPlusData model;
    std::string error;
    if (LoadModel(input, model, error) < 0)
        return ReportError(error);

    bool json = IsJsonName(output);
    std::string problem;
    if (!json && !CanWriteTexts(&model, problem))
        return ReportError(output + ": " + problem + ", which the data file writer would put out unescaped; " +
                           "nothing was written.");

    TemporaryFile temporary(output);
    if (!temporary.IsReady())
        return ReportError(output + ": no free name for a temporary file beside it.");
    std::string difference;
    bool written = json ? WriteJson(model, temporary.GetPath(), error, difference)
                        : WriteData(model, temporary.GetPath(), expressions, error, difference);
    if (!written)
    {
        while (!error.empty() && error.back() == '.')
            error.pop_back();
        return ReportError(error + "; " + output + " is left as it was.");
    }
    if (!difference.empty())
        return ReportError(output + ": the converted file does not read back as written (" + difference + "); " +
                           output + " is left as it was.");
    if (!temporary.Commit(error))
        return ReportError(error);
    return TOOL_EXIT_OK;
}
