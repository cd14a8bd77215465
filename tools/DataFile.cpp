// Paths, formats, and loading the model of a file for the rizeroz tool. Every data file
// is read through the handler; JSON files go through the JSON reader (JsonModel.h).
#include "DataFile.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "Diagnostics.h"
#include "JsonModel.h"
#include "Progress.h"
#include "RowComparison.h"
#include "ToolText.h"

namespace
{
bool IsSeparator(char c)
{
#if defined(_WIN32)
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}
}

ToolPath LocateToolPath(const std::string& path)
{
    ToolPath located;
    located.shown = path;
    size_t cut = path.size();
    while (cut > 0 && !IsSeparator(path[cut - 1]))
        --cut;
    std::string folder = cut == 0 ? std::string() : path.substr(0, cut - 1);

    // The handler takes a name holding ':' (and, on this side of the fence, a name
    // starting with '/') whole; any other name goes after the default directory.
    bool whole = path.find(':') != std::string::npos;
#if !defined(_WIN32)
    whole = whole || (!path.empty() && path[0] == '/');
#endif
    if (whole)
    {
        located.name = path;
        located.directory = folder.empty() ? std::string(".") : folder;
        located.composed = path;
        return located;
    }
    located.name = path.substr(cut);
    // "/x.xml" on Windows: the folder is the root, which an empty directory gives.
    located.directory = cut == 0 ? std::string(".") : folder;
    located.composed = located.directory + "\\" + located.name;
    return located;
}

bool IsUsablePath(const std::string& path, std::string& problem)
{
#if !defined(_WIN32)
    if (path.find('\\') != std::string::npos)
    {
        problem = FileError(path, "a file name holding a backslash cannot be used, since the library reads '\\' as a "
                                  "folder separator; rename the file");
        return false;
    }
#endif
    (void)path;
    (void)problem;
    return true;
}

bool IsJsonFile(const std::string& path, FileFormat format)
{
    if (format != FORMAT_BY_NAME)
        return format == FORMAT_JSON;
    return !IsStandardStream(path) && EndsWithIgnoringCase(path, ".json");
}

std::string ShownName(const std::string& path, bool written)
{
    if (!IsStandardStream(path))
        return path;
    return written ? "<stdout>" : "<stdin>";
}

std::string HandlerError(RODAzivUzirAdovIzozari& handler, const ToolPath& path, const char* fallback)
{
    const ErrorReport* report = OriginReport(*handler.GetErrorHandler());
    return report != nullptr ? ReportDiagnostic(*report, path.shown, "error") : FileError(path.shown, fallback);
}

const ErrorReport* OriginReport(const ErrorHandler& reports)
{
    // A failure is reported where it arises and again by each level above: the first
    // report of its code carries its detail.
    const ErrorReport* last = reports.GetLastReport();
    for (int i = 0; last != nullptr && i < reports.GetReportCount(); ++i)
        if (reports.GetReport(i)->GetCode() == last->GetCode())
            return reports.GetReport(i);
    return last;
}

int ReadDataFile(RODAzivUzirAdovIzozari& handler, const std::string& path, std::string& error, const std::string& shown)
{
    ToolPath located = LocateToolPath(path);
    if (!shown.empty())
        located.shown = shown;
    int result = handler.InitSvfPlusDataFile(located.name.c_str(), located.directory.c_str(), "read");
    if (result >= 0)
        result = handler.Read();
    if (result < 0)
    {
        error = HandlerError(handler, located, "the file cannot be read");
        // Standard input has no name that says JSON.
        if (located.shown == ShownName("-") && !error.empty() && error.back() == '.')
            error.back() = ';';
        if (located.shown == ShownName("-"))
            error += " if standard input is JSON, give --from json.";
        return result;
    }
    SVFPlusData* model = handler.GetSVFPlusData();
    if (model == nullptr)
    {
        // Only an unknown root element, skipped whole, leaves the handler without a model.
        error = FileError(located.shown, "the document has no SVF_Plus_Data root element");
        return -1;
    }
    const char* comment = model->GetComment();
    if (comment != nullptr && strchr(comment, '\r') != nullptr)
        model->SetComment(XmlLineEnds(comment).c_str());
    return 0;
}

int ReadJsonFile(const std::string& path, SVFPlusData& model, SVFReadHook* observer, std::string& error,
                 const std::string& name)
{
    std::string shown = name.empty() ? ShownName(path) : name;
    FILE* file = stdin;
    if (IsStandardStream(path))
    {
#if defined(_WIN32)
        _setmode(_fileno(stdin), _O_BINARY);
#endif
    }
    else
    {
        errno = 0;
        file = fopen(path.c_str(), "rb");
        if (file == nullptr)
        {
            error = FileError(shown, std::string("the file cannot be opened (") + strerror(errno) + ")");
            return -1;
        }
    }
    JsonReadError problem;
    int result;
    {
        JsonFileInput input(file);
        result = ReadJsonModel(input, model, problem, observer);
    }
    if (file != stdin)
        fclose(file);
    if (result != 0)
        error = Diagnostic(shown, problem.nLine, problem.nColumn, "error", problem.message);
    return result;
}

int ToolReader::Read(const std::string& path, const std::string& shown, Progress* progress, std::string& error)
{
    m_pProgress = progress;
    m_handler.SetReadHook(this);
    int result = ReadDataFile(m_handler, path, error, shown);
    m_handler.SetReadHook(nullptr);
    m_pProgress = nullptr;
    return result;
}

int ToolReader::ReadJson(const std::string& path, const std::string& shown, SVFPlusData& model, Progress* progress,
                         std::string& error)
{
    m_pProgress = progress;
    m_pJson = &model;
    int result = ReadJsonFile(path, model, this, error, shown);
    m_pProgress = nullptr;
    return result;
}

void ToolReader::OnRow(int field, int block, int row, UtByteBuffer* bytes)
{
    if (m_pComparison != nullptr)
        m_pComparison->Check(GetSVFPlusData(), field, block, row, bytes);
}

void ToolReader::OnProgress(unsigned long long done, unsigned long long total)
{
    if (m_pProgress != nullptr)
        m_pProgress->Update(done >> 20, total >> 20, "MB");
}

int LoadedModel::Load(const std::string& path, FileFormat format, std::string& error)
{
    m_pModel = nullptr;
    if (IsJsonFile(path, format))
    {
        Progress progress("reading " + ShownName(path));
        ToolReader reader;
        if (reader.ReadJson(path, std::string(), m_built, &progress, error) != 0)
            return -1;
        m_pModel = &m_built;
        return 0;
    }
    InputFile input;
    if (!input.Open(path, false, error))
        return -1;
    Progress progress("reading " + input.GetShown());
    ToolReader reader;
    int result = reader.Read(input.GetPath(), input.GetShown(), &progress, error);
    if (result < 0)
        return result;
    // The handler's model is taken over whole, nothing copied, and the handler goes with
    // its open document, which Windows would not let a conversion onto itself replace.
    m_built.Swap(*reader.GetSVFPlusData());
    m_pModel = &m_built;
    return 0;
}

std::string XmlLineEnds(const char* text)
{
    std::string result;
    for (const char* p = text; *p != '\0'; ++p)
    {
        if (*p == '\r')
        {
            result += '\n';
            if (p[1] == '\n')
                ++p;
        }
        else
        {
            result += *p;
        }
    }
    return result;
}
