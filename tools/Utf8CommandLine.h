// The tool's text is UTF-8 on every system, as the library's paths are (Utf8CommandLine.cpp).
#ifndef RIZEROZ_TOOL_UTF8COMMANDLINE_H
#define RIZEROZ_TOOL_UTF8COMMANDLINE_H

// On Windows, replaces argc and argv with the command line as UTF-8 (read with
// GetCommandLineW, so names of any script arrive whole) and has the console show UTF-8;
// elsewhere does nothing. Called first thing in main.
void UseUtf8CommandLine(int& argc, char**& argv);

#if defined(_WIN32)
#include <string>
// A UTF-8 name as UTF-16, for the wide calls of Windows (_waccess); the tool's remove()
// goes through it too (wrapped at link time, as fopen is).
std::wstring WidePath(const std::string& path);
std::string Utf8Text(const wchar_t* text);
#endif

#endif
