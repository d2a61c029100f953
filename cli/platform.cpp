// pakunpack's console calls, for POSIX systems and for Windows.
#include "platform.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#else
#include <sched.h>
#include <unistd.h>
#endif

#include <thread>

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

unsigned UsableProcessors()
{
    // The affinity mask holds the processors of this process's group.
    DWORD_PTR mask = 0, system = 0;
    unsigned count = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &mask, &system)) {
        for (; mask != 0; mask &= mask - 1)
            ++count;
    }
    return count != 0 ? count : 1;
}

#else

void UseBinaryStandardStreams()
{
}

bool StandardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

unsigned UsableProcessors()
{
#ifdef __linux__
    // The cores this process may run on, which a container or taskset may
    // limit below the machine's.
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
#endif
    const unsigned cores = std::thread::hardware_concurrency();
    return cores != 0 ? cores : 1;
}

#endif
