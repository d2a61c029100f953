// The console as pakunpack needs it, the same calls on POSIX systems and on
// Windows. Paths and the command line come from the archive library.
#pragma once

#include <string>

#include "system_path.h"

// Makes standard output and standard error take bytes as they are: on
// Windows "\n" stays one line feed instead of becoming CR LF.
void UseBinaryStandardStreams();

// True when standard error is a terminal (on Windows: a console).
bool StandardErrorIsTerminal();

// What a PATTERN and an entry's path are matched as: on Windows the
// characters they stand for (a PATTERN as typed, from the UTF-16 command
// line, even where the ANSI code page can't hold it; a path as its ANSI
// bytes read), elsewhere their bytes.
#ifdef _WIN32
using MatchText = std::u32string;
#else
using MatchText = std::string;
#endif
MatchText ForMatching(const SystemPath& text);

// How many processor cores this process may run on; 1 at least.
unsigned UsableProcessors();
