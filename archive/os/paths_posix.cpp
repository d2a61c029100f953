// Paths on POSIX systems: one separator, '/', the current directory from
// getcwd and full paths from realpath.
#include "path_helpers.h"
#include "program_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// Where the last component of `fullPath` starts.
std::size_t NameStart(const std::string& fullPath)
{
    const std::size_t last = fullPath.rfind('/');
    return last == std::string::npos ? 0 : last + 1;
}

} // namespace

SystemPath CurrentFolder()
{
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data());
}

PathResolution ResolveFullPath(const SystemPath& systemPath, SystemPath& full)
{
    full = SystemPath();
    const std::string& path = systemPath.Text();
    const std::size_t start = NameStart(path);
    const std::string name = path.substr(start);
    if (name.empty() || name == "." || name == ".." || path.find('\0') != std::string::npos)
        return PathResolution::Refused;
    // A relative path's full path starts with the current directory's.
    std::string folder = path[0] == '/' ? std::string() : CurrentFolder().Text();
    if (path[0] != '/' && folder.empty())
        return PathResolution::NoCurrentFolder;
    if (start > 0) {
        // Not as text: "link/.." is the folder that holds what link points at.
        // The folder part keeps its last '/', so a file in a folder's place
        // is refused too.
        const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.substr(0, start).c_str(), nullptr),
                                                                   &std::free);
        if (!resolved)
            return PathResolution::Refused;
        folder = resolved.get();
    }
    full = folder + (folder.back() == '/' ? "" : "/") + name;
    return PathResolution::Resolved;
}

SystemPath FolderOf(const SystemPath& path)
{
    const std::string& fullPath = path.Text();
    const std::size_t start = NameStart(fullPath);
    if (start == 0)
        return std::string();
    // The root keeps its separator.
    const std::size_t end = fullPath.find_last_not_of('/', start - 1);
    if (end == std::string::npos)
        return fullPath.substr(0, 1);
    return fullPath.substr(0, end + 1);
}

std::string FileNameOf(const SystemPath& path)
{
    const std::string& fullPath = path.Text();
    return fullPath.substr(NameStart(fullPath));
}

bool SetCurrentFolder(const SystemPath& folder, std::string* why)
{
    if (folder.Text().find('\0') == std::string::npos && ::chdir(folder.Text().c_str()) == 0)
        return true;
    if (why)
        *why = SystemErrorText(folder.Text().find('\0') == std::string::npos ? errno : EINVAL);
    return false;
}

bool IsFolderPath(const SystemPath& path)
{
    struct stat info;
    return path.Text().find('\0') == std::string::npos && ::stat(path.Text().c_str(), &info) == 0 &&
           S_ISDIR(info.st_mode);
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
