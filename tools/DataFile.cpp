// Paths, formats, and loading the model of a file for the rizeroz tool. Every data file
// is read through the handler; JSON files go through the library's JSON reader (SVFJson.h).
#include "DataFile.h"

#include "SVFJson.h"
#include "UtByteSource.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#include <io.h>
#endif

#include "Diagnostics.h"
#include "Progress.h"
#include "ModelCompare.h"
#include "ToolText.h"

#if defined(_WIN32)
const bool kWindows = true;
#else
const bool kWindows = false;
#endif

bool IsUsablePath(const std::string& path, std::string& problem)
{
    if (kWindows || path.find('\\') == std::string::npos)
        return true;
    problem = FileError(path, "a file name holding a backslash cannot be used, since the library reads '\\' as a "
                              "folder separator; rename the file");
    return false;
}

bool IsJsonFile(const std::string& path, FileFormat format)
{
    return format != FORMAT_BY_NAME
               ? format == FORMAT_JSON
               : !IsStandardStream(path) && SVFTextFormOf(path.c_str(), nullptr, 0, false) == SVF_FORM_JSON;
}

bool IsJsonInput(const std::string& path, FileFormat format)
{
    return format == FORMAT_BY_NAME && IsStandardStream(path) ? StandardInputFormat() == FORMAT_JSON
                                                              : IsJsonFile(path, format);
}

FileFormat FormatOfText(const char* bytes, size_t count, bool whole)
{
    int form = SVFTextFormOf(nullptr, bytes, count, !whole);
    return form == SVF_FORM_JSON ? FORMAT_JSON : form == SVF_FORM_DATA_FILE ? FORMAT_DATA_FILE : FORMAT_BY_NAME;
}
std::string ShownName(const std::string& path, bool written)
{
    return !IsStandardStream(path) ? path : written ? "<stdout>" : "<stdin>";
}

int StreamSource::Read(char* buffer, size_t capacity, size_t* count)
{
    errno = 0;
    *count = fread(buffer, 1, capacity, m_pStream);
    return *count == 0 && ferror(m_pStream) ? (errno != 0 ? errno : EIO) : 0;
}

int ReadWithHandler(RODAzivUzirAdovIzozari& handler, const std::string& path)
{
    if (IsStandardStream(path))
    {
        PrepareStandardStream(stdin);
        StreamSource source(stdin);
        int opened = handler.InitSvfPlusDataSource(&source, "<stdin>");
        return opened >= 0 ? handler.ReadModel() : opened;
    }
    int result = handler.InitSvfPlusDataPath(path.c_str(), "read");
    return result >= 0 ? handler.ReadModel() : result;
}

void PrepareStandardStream(FILE* stream)
{
#if defined(_WIN32)
    _setmode(_fileno(stream), _O_BINARY);
#elif defined(F_SETPIPE_SZ)
    // A pipe holds 1 MB instead of 64 KB, so that its writer and the tool take turns less
    // often; anything else refuses, and nothing changes.
    fcntl(fileno(stream), F_SETPIPE_SZ, 1 << 20);
#else
    (void)stream;
#endif
}

int ToolReader::Read(const std::string& path, const std::string& shown, Progress* progress, std::string& error)
{
    m_pProgress = progress;
    // The reader's total is the file's size, or for a pipe what it has read so far.
    m_bSized = IsRegularFile(path);
    m_handler.SetReadHook(this);
    int result = ReadWithHandler(m_handler, path);
    m_handler.SetReadHook(nullptr);
    m_pProgress = nullptr;
    if (result < 0)
    {
        const ErrorReport* report = m_handler.GetErrorHandler()->GetFailure();
        error = report != nullptr ? ReportDiagnostic(*report, shown) : FileError(shown, "the file cannot be read");
        return result;
    }
    return 0;
}

int ToolReader::ReadJson(const std::string& path, const std::string& shown, SVFPlusData& model, Progress* progress,
                         std::string& error)
{
    m_pProgress = progress;
    m_pJson = &model;
    m_jsonErrors.ClearReports();
    int result;
    if (IsStandardStream(path))
    {
        PrepareStandardStream(stdin);
        StreamSource source(stdin);
        m_bSized = false;   // what has been read is the total
        result = ReadJsonSVFPlusData(source, shown.c_str(), model, &m_jsonErrors, this);
    }
    else
    {
        m_bSized = IsRegularFile(path);
        result = ReadJsonSVFPlusDataFile(path.c_str(), model, &m_jsonErrors, this);
    }
    m_pProgress = nullptr;
    if (result < 0)
    {
        const ErrorReport* report = m_jsonErrors.GetFailure();
        error = report != nullptr ? ReportDiagnostic(*report, shown) : FileError(shown, "the file cannot be read");
    }
    return result;
}

int ToolReader::Load(const std::string& path, FileFormat format, std::string& error)
{
    if (IsJsonInput(path, format))
    {
        Progress progress("reading " + ShownName(path));
        return ReadJson(path, ShownName(path), m_json, &progress, error);
    }
    Progress progress("reading " + ShownName(path));
    int result = Read(path, ShownName(path), &progress, error);
    // Standard input that could not be looked at was taken for a data file: it may be JSON
    // (a message ends in '.').
    if (result < 0 && IsStandardStream(path) && format == FORMAT_BY_NAME && StandardInputFormat() == FORMAT_BY_NAME)
        error = error.substr(0, error.size() - 1) + "; if standard input is JSON, give --from json.";
    return result;
}

void ToolReader::OnRow(int field, int block, int row, UtByteBuffer* bytes)
{
    if (m_pObserver != nullptr)
        m_pObserver->Row(GetSVFPlusData(), field, block, row, bytes);
}

void ToolReader::OnProgress(unsigned long long done, unsigned long long total)
{
    if (m_pProgress != nullptr)
        m_pProgress->Update(done, m_bSized ? total : 0);
}

int LoadedModel::Load(const std::string& path, FileFormat format, std::string& error, RowObserver* observer)
{
    ToolReader reader(observer);
    int result = reader.Load(path, format, error);
    // The model is taken over whole, nothing copied, and the handler goes with its open
    // document, which Windows would not let a conversion onto itself replace.
    if (result >= 0)
        Swap(*reader.GetSVFPlusData());
    else if (const ErrorReport* failure = reader.GetFailure())
        m_failure = *failure;
    return result;
}
