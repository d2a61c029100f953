// The console as pakunpack needs it, the same calls on POSIX systems and on
// Windows. Paths and the command line come from the archive library.
#pragma once

// Makes standard output and standard error take bytes as they are: on
// Windows "\n" stays one line feed instead of becoming CR LF.
void UseBinaryStandardStreams();

// True when standard error is a terminal (on Windows: a console).
bool StandardErrorIsTerminal();

// How many processor cores this process may run on; 1 at least.
unsigned UsableProcessors();
