// pakunpack's console calls, for POSIX systems and for Windows.
#include "platform.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "pak_archive.h"
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

MatchText ForMatching(const std::string& text)
{
    std::wstring wide;
    MatchText characters;
    if (!PathToWide(text, wide)) {
        for (const char c : text)   // no text of the code page: its bytes
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

#else

void UseBinaryStandardStreams()
{
}

bool StandardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

MatchText ForMatching(const std::string& text)
{
    return text;
}

#endif
