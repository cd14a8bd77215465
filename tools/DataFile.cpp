// Paths, loading and writing for the rizeroz tool. Every data file is read and written
// through the handler; JSON files go through JsonModel.
#include "DataFile.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "Diagnostics.h"
#include "JsonModel.h"
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

// XML reads every CR LF pair, and every CR alone, as one line feed.
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

bool IsJsonName(const std::string& path)
{
    return EndsWithIgnoringCase(path, ".json");
}

std::string HandlerError(RODAzivUzirAdovIzozari& handler, const ToolPath& path, const char* fallback)
{
    // A failure is reported where it arises and again by each level above: the first
    // report of its code carries its detail.
    const ErrorHandler* reports = handler.GetErrorHandler();
    const ErrorReport* report = reports->GetLastReport();
    if (report == nullptr)
        return FileError(path.shown, fallback);
    for (int i = 0; i < reports->GetReportCount(); ++i)
        if (reports->GetReport(i)->GetCode() == report->GetCode())
            return ReportDiagnostic(*reports->GetReport(i), path.shown, "error");
    return ReportDiagnostic(*report, path.shown, "error");
}

int ReadDataFile(RODAzivUzirAdovIzozari& handler, const std::string& path, std::string& error,
                 const std::string& shown)
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

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error)
{
    errno = 0;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr)
    {
        error = FileError(path, std::string("the file cannot be opened (") + strerror(errno) + ")");
        return false;
    }
    bytes.clear();
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0)
        bytes.append(chunk, got);
    bool failed = ferror(file) != 0;
    fclose(file);
    if (failed)
    {
        error = FileError(path, "reading the file failed");
        return false;
    }
    return true;
}

int LoadModel(const std::string& path, SVFPlusData& model, std::string& error)
{
    if (IsJsonName(path))
    {
        std::string text;
        if (!ReadWholeFile(path, text, error))
            return -1;
        std::string problem;
        if (JsonToModel(text, model, problem) != 0)
        {
            // "line L, column C: what" places the problem in the JSON text.
            long line = 0, column = 0;
            int taken = 0;
            if (sscanf(problem.c_str(), "line %ld, column %ld: %n", &line, &column, &taken) == 2 && taken > 0)
                error = Diagnostic(path, line, column, "error", problem.substr((size_t)taken));
            else
                error = FileError(path, problem);
            return -1;
        }
        return 0;
    }
    RODAzivUzirAdovIzozari handler;
    int result = ReadDataFile(handler, path, error);
    if (result < 0)
        return result;
    // A copy is whole or leaves the target as it was (SVFPlusData.h).
    SVFPlusData* read = handler.GetSVFPlusData();
    model = *read;
    if (model.GetDataFieldCount() != read->GetDataFieldCount() || (model.GetVersion() == nullptr) != (read->GetVersion() == nullptr))
    {
        error = FileError(path, "there is not enough memory for the task");
        return -1;
    }
    return 0;
}

#if !defined(_WIN32)
namespace
{
// True when the handler, reading `path`, stops before the document's end: at an error,
// or at the root element's end. Then nothing after what was copied matters.
bool HandlerStopsIn(const std::string& path)
{
    ToolPath located = LocateToolPath(path);
    RODAzivUzirAdovIzozari handler;
    int result = handler.InitSvfPlusDataFile(located.name.c_str(), located.directory.c_str(), "read");
    if (result >= 0)
        result = handler.Read();
    return result != XML_ERR_UNEXPECTED_END;
}
}
#endif

RereadableInput::~RereadableInput()
{
    if (!m_copy.empty())
        remove(m_copy.c_str());
}

bool RereadableInput::Open(const std::string& path, std::string& error)
{
    m_path = path;
#if !defined(_WIN32)
    // Regular files, and paths that do not open, are read where they are: the reader
    // reports what is wrong with them.
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode))
        return true;
    FILE* in = fopen(path.c_str(), "rb");
    if (in == nullptr)
        return true;
    const char* folder = getenv("TMPDIR");
    std::string name = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/rizeroz-input-XXXXXX";
    int descriptor = mkstemp(&name[0]);
    FILE* out = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
    if (out == nullptr)
    {
        error = FileError(path, std::string("the input cannot be copied for reading (") + strerror(errno) + ")");
        if (descriptor >= 0)
            close(descriptor);
        fclose(in);
        return false;
    }
    m_copy = m_path = name;
    // No XML document holds a NUL byte: after one, the copy so far is read now and then
    // (each time it has doubled), and copying stops once the handler stops inside it.
    char chunk[65536];
    unsigned long long copied = 0, nextLook = 0;
    bool nul = false, failed = false;
    size_t got;
    while (!failed && (got = fread(chunk, 1, sizeof(chunk), in)) > 0)
    {
        failed = fwrite(chunk, 1, got, out) != got;
        copied += got;
        nul = nul || memchr(chunk, 0, got) != nullptr;
        if (!failed && nul && copied >= nextLook)
        {
            failed = fflush(out) != 0;
            if (!failed && HandlerStopsIn(m_copy))
                break;
            nextLook = 2 * copied;
        }
    }
    int reason = errno;
    failed = failed || ferror(in) != 0;
    failed = (fclose(out) != 0) || failed;
    fclose(in);
    if (failed)
        error = FileError(path, std::string("the input cannot be copied for reading (") +
                                    strerror(reason != 0 ? reason : EIO) + ")");
    return !failed;
#else
    (void)error;
    return true;
#endif
}
