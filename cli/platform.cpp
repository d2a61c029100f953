// pakunpack's console calls, for POSIX systems and for Windows.
#include "platform.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#ifdef _WIN32

// The C runtime would expand wildcards in the arguments before main; the
// PATTERNs are matched against the archive's entries, never against files.
extern "C" {
int _dowildcard = 0;
}

void UseBinaryStandardStreams()
{
    std::fflush(stdout);
    std::fflush(stderr);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}

bool StandardErrorIsTerminal()
{
    // _isatty is true for NUL as well; only a console has a console mode.
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

#else

void UseBinaryStandardStreams()
{
}

bool StandardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

#endif
