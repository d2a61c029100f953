// Paths on POSIX systems: one separator, '/', and the current directory
// from getcwd.
#include "path_helpers.h"

#include "pak_archive.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

// Where the last component of `fullPath` starts.
std::size_t NameStart(const std::string& fullPath)
{
    const std::size_t last = fullPath.rfind('/');
    return last == std::string::npos ? 0 : last + 1;
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

} // namespace

std::string CurrentFolder()
{
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

std::string FullPathOf(const std::string& path)
{
    if (path.empty())
        return path;
    if (path[0] == '/')
        return Clean(path);
    const std::string folder = CurrentFolder();
    return folder.empty() ? path : Clean(folder + "/" + path);
}

std::string FolderOf(const std::string& fullPath)
{
    const std::size_t start = NameStart(fullPath);
    if (start == 0)
        return std::string();
    // The root keeps its separator.
    const std::size_t end = fullPath.find_last_not_of('/', start - 1);
    if (end == std::string::npos)
        return fullPath.substr(0, 1);
    return fullPath.substr(0, end + 1);
}

std::string FileNameOf(const std::string& fullPath)
{
    return fullPath.substr(NameStart(fullPath));
}

bool SetCurrentFolder(const std::string& folder, std::string* why)
{
    if (::chdir(folder.c_str()) == 0)
        return true;
    if (why)
        *why = SystemErrorText(errno);
    return false;
}

bool IsFolderPath(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ExecutableFile()
{
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t got = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (got < 0)
            return std::string();
        if (static_cast<std::size_t>(got) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(got));
        buffer.resize(buffer.size() * 2);
    }
}
