// The tool's text is UTF-8 on every system, as the library's paths are (Utf8CommandLine.cpp).
#ifndef RIZEROZ_TOOL_UTF8COMMANDLINE_H
#define RIZEROZ_TOOL_UTF8COMMANDLINE_H

// On Windows, replaces argc and argv with the command line as UTF-8 (read with
// GetCommandLineW, so names of any script arrive whole) and has the console show UTF-8;
// elsewhere does nothing. Called first thing in main.
void UseUtf8CommandLine(int& argc, char**& argv);

#endif
