// What pakunpack needs from the system beyond the archive library, the same
// calls on POSIX systems and on Windows.
#pragma once

#include <string>
#include <vector>

// The arguments after the program's name. On Windows they come from the
// UTF-16 command line, each in the form PathFromWide gives, so that a path
// the ANSI code page can't hold still names its file.
#ifdef _WIN32
std::vector<std::string> CommandLineArguments(int argc, wchar_t** argv);
#else
std::vector<std::string> CommandLineArguments(int argc, char** argv);
#endif

// Makes standard output and standard error take bytes as they are: on
// Windows "\n" stays one line feed instead of becoming CR LF.
void UseBinaryStandardStreams();

// True when standard error is a terminal (on Windows: a console).
bool StandardErrorIsTerminal();

// Makes `folder` the current directory. False, with the system's reason in
// `why`, when it can't be entered.
bool ChangeFolder(const std::string& folder, std::string& why);

// `path` made absolute against the current directory, as the report's Name:
// line shows it (on Windows in the form PathFromWide gives); the path as
// given when that can't be done.
std::string AbsolutePath(const std::string& path);
