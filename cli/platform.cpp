// pakunpack's few system calls outside the archive library, for POSIX systems
// and for Windows (where texts are bytes in the ANSI code page).
#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "file_io.h"

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

namespace {

bool Widen(const std::string& text, std::wstring& wide)
{
    wide.assign(text.size(), L'\0');
    if (text.empty())
        return true;
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                             static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return length > 0;
}

} // namespace

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
    if (folder.empty() || folder.find('\0') != std::string::npos || !Widen(folder, wide)) {
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
    if (!Widen(path, wide))
        return path;
    std::vector<wchar_t> full(MAX_PATH);
    DWORD length = 0;
    while ((length = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr)) >=
           full.size())
        full.resize(length);
    if (length == 0)
        return path;
    // Back to the ANSI code page; a folder whose name it can't hold leaves
    // the path as given, which still opens.
    BOOL lossy = FALSE;
    const int size = ::WideCharToMultiByte(CP_ACP, 0, full.data(), static_cast<int>(length), nullptr, 0, nullptr, &lossy);
    if (size <= 0 || lossy)
        return path;
    std::string absolute(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, full.data(), static_cast<int>(length), absolute.data(), size, nullptr, nullptr);
    return absolute;
}

#else

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
