// The drop rule: the first item, and never a folder.
#include "dropped_file.h"

#ifdef _WIN32
#include <windows.h>

#include "pak_archive.h"
#else
#include <sys/stat.h>
#endif

namespace {

bool IsTakenAsFile(const std::string& path)
{
#ifdef _WIN32
    std::wstring wide;
    if (!PathToWide(path, wide))
        return false;
    // INVALID_FILE_ATTRIBUTES has the folder bit too.
    return (GetFileAttributesW(wide.c_str()) & FILE_ATTRIBUTE_DIRECTORY) == 0;
#else
    struct stat info;
    return ::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode);
#endif
}

} // namespace

std::string ArchiveFromDrop(const std::vector<std::string>& dropped)
{
    if (dropped.empty() || dropped.front().empty() || !IsTakenAsFile(dropped.front()))
        return std::string();
    return dropped.front();
}
