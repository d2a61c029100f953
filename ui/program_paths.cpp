// Paths on POSIX systems and on Windows (ANSI functions, both separators).
#include "program_paths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <vector>

namespace {

#ifdef _WIN32
constexpr char kSeparators[] = "\\/";
#else
constexpr char kSeparators[] = "/";
#endif

// Where the last component of `fullPath` starts.
std::size_t NameStart(const std::string& fullPath)
{
    const std::size_t last = fullPath.find_last_of(kSeparators);
    return last == std::string::npos ? 0 : last + 1;
}

#ifndef _WIN32
std::string CurrentFolder()
{
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return "/";
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

// Takes "." steps, ".." steps and empty steps out of an absolute path, as
// text: ".." at the root stays at the root.
std::string Clean(const std::string& absolute)
{
    std::vector<std::string> steps;
    std::size_t start = 0;
    while (start <= absolute.size()) {
        std::size_t end = absolute.find('/', start);
        if (end == std::string::npos)
            end = absolute.size();
        const std::string step = absolute.substr(start, end - start);
        if (step == "..") {
            if (!steps.empty())
                steps.pop_back();
        } else if (!step.empty() && step != ".") {
            steps.push_back(step);
        }
        start = end + 1;
    }
    std::string clean;
    for (const std::string& step : steps)
        clean += "/" + step;
    return clean.empty() ? "/" : clean;
}
#endif

} // namespace

std::string FullPathOf(const std::string& path)
{
    if (path.empty())
        return path;
#ifdef _WIN32
    const DWORD needed = ::GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::vector<char> buffer(needed);
    const DWORD got = ::GetFullPathNameA(path.c_str(), needed, buffer.data(), nullptr);
    return got == 0 || got >= needed ? path : std::string(buffer.data(), got);
#else
    return Clean(path[0] == '/' ? path : CurrentFolder() + "/" + path);
#endif
}

std::string FolderOf(const std::string& fullPath)
{
    const std::size_t start = NameStart(fullPath);
    if (start == 0)
        return std::string();
    // The root keeps its separator ("/", "C:\").
    const std::size_t end = fullPath.find_last_not_of(kSeparators, start - 1);
    if (end == std::string::npos)
        return fullPath.substr(0, 1);
#ifdef _WIN32
    if (fullPath[end] == ':')
        return fullPath.substr(0, end + 2);
#endif
    return fullPath.substr(0, end + 1);
}

std::string FileNameOf(const std::string& fullPath)
{
    return fullPath.substr(NameStart(fullPath));
}

bool SetCurrentFolder(const std::string& folder)
{
#ifdef _WIN32
    return ::SetCurrentDirectoryA(folder.c_str()) != 0;
#else
    return ::chdir(folder.c_str()) == 0;
#endif
}

const std::string& ApplicationName()
{
    static const std::string name = [] {
        std::string file;
#ifdef _WIN32
        std::vector<char> buffer(MAX_PATH);
        for (;;) {
            const DWORD got = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (got == 0)
                break;
            if (got < buffer.size()) {
                file.assign(buffer.data(), got);
                break;
            }
            buffer.resize(buffer.size() * 2);
        }
#else
        std::vector<char> buffer(4096);
        for (;;) {
            const ssize_t got = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
            if (got < 0)
                break;
            if (static_cast<std::size_t>(got) < buffer.size()) {
                file.assign(buffer.data(), static_cast<std::size_t>(got));
                break;
            }
            buffer.resize(buffer.size() * 2);
        }
#endif
        file = FileNameOf(file);
        // "Tessup.exe" and "Tessup" both give "Tessup"; a leading dot is part of the name.
        const std::size_t dot = file.find_last_of('.');
        return dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);
    }();
    return name;
}

std::string CommandLinePath(int argc, const char* const argv[])
{
    return argc == 2 && argv[1] != nullptr ? std::string(argv[1]) : std::string();
}
