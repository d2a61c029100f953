// pakunpack's few system calls outside the archive library, for POSIX systems
// and for Windows (where texts are bytes in the ANSI code page, and paths that
// it can't hold exactly carry their exact UTF-16 form as well).
#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "pak_archive.h"

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

std::vector<std::string> CommandLineArguments(int argc, wchar_t** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(PathFromWide(argv[i]));
    return args;
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

bool ChangeFolder(const std::string& folder, std::string& why)
{
    std::wstring wide;
    if (folder.empty() || !PathToWide(folder, wide)) {
        why = SystemErrorText(ERROR_INVALID_NAME);
        return false;
    }
    if (::SetCurrentDirectoryW(wide.c_str()))
        return true;
    why = SystemErrorText(static_cast<int>(::GetLastError()));
    return false;
}

std::string AbsolutePath(const std::string& path)
{
    // "C:\..." and "\\server\share\..." are absolute already and stay as given.
    const auto separator = [](char c) { return c == '\\' || c == '/'; };
    if (path.empty() || (path.size() >= 3 && path[1] == ':' && separator(path[2])) ||
        (path.size() >= 2 && separator(path[0]) && separator(path[1])))
        return path;
    std::wstring wide;
    if (!PathToWide(path, wide))
        return path;
    std::vector<wchar_t> full(MAX_PATH);
    DWORD length = 0;
    while ((length = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr)) >=
           full.size())
        full.resize(length);
    if (length == 0)
        return path;
    return PathFromWide(std::wstring(full.data(), length));
}

#else

std::vector<std::string> CommandLineArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

void UseBinaryStandardStreams()
{
}

bool StandardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

bool ChangeFolder(const std::string& folder, std::string& why)
{
    if (::chdir(folder.c_str()) == 0)
        return true;
    why = std::strerror(errno);
    return false;
}

std::string AbsolutePath(const std::string& path)
{
    if (path.empty() || path[0] == '/')
        return path;
    std::vector<char> cwd(4096);
    while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
        if (errno != ERANGE)
            return path;   // no usable current directory: the path as given
        cwd.resize(cwd.size() * 2);
    }
    const std::string folder(cwd.data());
    return folder == "/" ? folder + path : folder + "/" + path;
}

#endif
