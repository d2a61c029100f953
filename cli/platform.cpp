// pakunpack's console calls, for POSIX systems and for Windows.
#include "platform.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "program_support.h"
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

MatchText ForMatching(const SystemPath& text)
{
    std::wstring wide;
    MatchText characters;
    if (!PathToWide(text, wide)) {
        for (const char c : text.Text())   // no text of the code page: its bytes
            characters += static_cast<unsigned char>(c);
        return characters;
    }
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char32_t unit = wide[i];
        const char32_t low = i + 1 < wide.size() ? wide[i + 1] : 0;
        if (unit >= 0xD800 && unit <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
            characters += 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else {
            characters += unit;
        }
    }
    return characters;
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

MatchText ForMatching(const SystemPath& text)
{
    return text.Text();
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
