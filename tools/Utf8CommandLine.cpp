// The command line as UTF-8 on Windows, where the C run-time gives argv in the ANSI code
// page (names outside it arrive as '?'). The files the tool opens itself take these UTF-8
// names too: on Windows the tool is linked with fopen wrapped (tools/CMakeLists.txt), and
// the wrapper opens through the library's util_fopen, which hands the file system UTF-16.
#include "Utf8CommandLine.h"

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include <UtUtility.h>

// Every fopen of the tool's own code (and of what it links statically) lands here.
extern "C" FILE* __wrap_fopen(const char* path, const char* mode)
{
    return util_fopen(path, mode);
}

namespace
{
std::string Utf8(const wchar_t* text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? (size_t)size : 1, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], size, nullptr, nullptr);
    return utf8.c_str();
}
}

void UseUtf8CommandLine(int& argc, char**& argv)
{
    SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return;
    // Kept until the tool exits, as argv is.
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    for (int i = 0; i < count; ++i)
        texts.push_back(Utf8(wide[i]));
    LocalFree(wide);
    for (std::string& text : texts)
        pointers.push_back(&text[0]);
    pointers.push_back(nullptr);
    argc = count;
    argv = pointers.data();
}
#else
void UseUtf8CommandLine(int&, char**&) {}
#endif
