// Paths, loading and writing for the rizeroz tool. Every data file is read and written
// through the handler; JSON files go through JsonModel.
#include "DataFile.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

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

std::string SiblingPath(const std::string& path, const std::string& name)
{
    size_t cut = path.size();
    while (cut > 0 && !IsSeparator(path[cut - 1]))
        --cut;
    return path.substr(0, cut) + name;
}

bool IsJsonName(const std::string& path)
{
    return EndsWithIgnoringCase(path, ".json");
}

std::string HandlerError(RODAzivUzirAdovIzozari& handler, const ToolPath& path, const char* fallback)
{
    const ErrorReport* report = handler.GetErrorHandler()->GetLastReport();
    if (report == nullptr)
        return path.shown + ": " + fallback;
    std::string message = report->GetMessage();
    if (!path.composed.empty() && message.compare(0, path.composed.size(), path.composed) == 0)
        message = path.shown + message.substr(path.composed.size());
    return message;
}

int ReadDataFile(RODAzivUzirAdovIzozari& handler, const std::string& path, std::string& error)
{
    ToolPath located = LocateToolPath(path);
    int result = handler.InitSvfPlusDataFile(located.name.c_str(), located.directory.c_str(), "read");
    if (result >= 0)
        result = handler.Read();
    if (result < 0)
    {
        error = HandlerError(handler, located, "the file cannot be read.");
        return result;
    }
    SVFPlusData* model = handler.GetSVFPlusData();
    if (model == nullptr)
    {
        // Only an unknown root element, skipped whole, leaves the handler without a model.
        error = path + ": the document has no SVF_Plus_Data root element.";
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
        error = path + ": the file cannot be opened (" + strerror(errno) + ").";
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
        error = path + ": reading the file failed.";
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
            error = path + (problem.compare(0, 5, "line ") == 0 ? ", " : ": ") + problem + ".";
            return -1;
        }
        return 0;
    }
    RODAzivUzirAdovIzozari handler;
    int result = ReadDataFile(handler, path, error);
    if (result < 0)
        return result;
    model = *handler.GetSVFPlusData();
    return 0;
}

int WriteDataFile(SVFPlusData* model, const std::string& path, bool expressions, std::string& error)
{
    ToolPath located = LocateToolPath(path);
    RODAzivUzirAdovIzozari handler;
    int result = handler.InitSvfPlusDataFile(located.name.c_str(), located.directory.c_str(), "write");
    if (result >= 0)
    {
        handler.SetSVFPlusData(model);
        handler.WriteExpression(expressions);
        result = handler.Write();
    }
    if (result < 0)
        error = HandlerError(handler, located, "the file cannot be written.");
    return result;
}
