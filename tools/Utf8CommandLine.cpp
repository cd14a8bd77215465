// The command line as UTF-8 on Windows, where the C run-time gives argv in the ANSI code
// page (names outside it arrive as '?'). The files the tool opens itself take these UTF-8
// names too: on Windows the tool is linked with fopen wrapped (tools/CMakeLists.txt), and
// the wrapper opens through the library's util_fopen, which hands the file system UTF-16.
#include "Utf8CommandLine.h"

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>
#include <wchar.h>

#include <string>
#include <vector>

#include <UtUtility.h>

// Every fopen and remove of the tool's own code (and of what it links statically) lands here.
extern "C" FILE* __wrap_fopen(const char* path, const char* mode)
{
    return util_fopen(path, mode);
}

extern "C" int __wrap_remove(const char* path)
{
    return _wremove(WidePath(path).c_str());
}

// A UTF-16 unit takes at most three bytes of UTF-8, and a byte of UTF-8 at most one unit.
std::string Utf8Text(const wchar_t* text)
{
    std::string utf8(3 * wcslen(text) + 1, '\0');
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], (int)utf8.size(), nullptr, nullptr);
    return utf8.substr(0, size > 0 ? (size_t)size - 1 : 0);
}

std::wstring WidePath(const std::string& path)
{
    std::wstring wide(path.size() + 1, L'\0');
    int size = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, &wide[0], (int)wide.size());
    return wide.substr(0, size > 0 ? (size_t)size - 1 : 0);
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
        texts.push_back(Utf8Text(wide[i]));
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
