// Paths on POSIX systems and on Windows (wide functions, both separators).
#include "program_paths.h"

#ifdef _WIN32
#include <windows.h>

#include "pak_archive.h"
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <vector>

namespace {

#ifdef _WIN32
std::wstring Wide(const std::string& path)
{
    std::wstring wide;
    return PathToWide(path, wide) ? wide : std::wstring();
}

bool FullWidePath(const std::wstring& path, std::wstring& full)
{
    DWORD capacity = MAX_PATH;
    for (;;) {
        full.assign(capacity, L'\0');
        const DWORD length = ::GetFullPathNameW(path.c_str(), capacity, full.data(), nullptr);
        if (length == 0)
            return false;
        if (length < capacity) {
            full.resize(length);
            return true;
        }
        capacity = length;
    }
}

// A full path with the prefix that makes the file system take it as it is,
// however long, and back.
std::wstring Extended(const std::wstring& full)
{
    if (full.compare(0, 4, L"\\\\?\\") == 0 || full.compare(0, 4, L"\\\\.\\") == 0)
        return full;
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring Plain(const std::wstring& extended)
{
    if (extended.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        return L"\\\\" + extended.substr(8);
    if (extended.compare(0, 4, L"\\\\?\\") == 0)
        return extended.substr(4);
    return extended;
}

std::wstring CurrentWideFolder()
{
    std::wstring folder(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
        if (length < folder.size()) {
            folder.resize(length);
            return folder;
        }
        folder.assign(length, L'\0');
    }
}

// The short form of an extended path, without its prefix; empty when the
// volume keeps no short names.
std::wstring ShortForm(const std::wstring& extended)
{
    std::wstring shortName(extended.size() + 1, L'\0');
    const DWORD length =
        ::GetShortPathNameW(extended.c_str(), shortName.data(), static_cast<DWORD>(shortName.size()));
    shortName.resize(length < shortName.size() ? length : 0);
    return Plain(shortName);
}

// Where the last component of a wide full path starts.
std::size_t WideNameStart(const std::wstring& fullPath)
{
    const std::size_t last = fullPath.find_last_of(L"\\/");
    return last == std::wstring::npos ? 0 : last + 1;
}

// Volume serial number and file index of the folder `path` names.
bool FolderIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info)
{
    const HANDLE handle = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool known = ::GetFileInformationByHandle(handle, &info) != 0 &&
                       (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    ::CloseHandle(handle);
    return known;
}

// Makes `path` current and checks that the current directory is now the
// folder `want` describes.
bool EnterFolder(const std::wstring& path, const BY_HANDLE_FILE_INFORMATION& want)
{
    BY_HANDLE_FILE_INFORMATION now{};
    return !path.empty() && ::SetCurrentDirectoryW(path.c_str()) && FolderIdentity(L".", now) &&
           now.dwVolumeSerialNumber == want.dwVolumeSerialNumber && now.nFileIndexHigh == want.nFileIndexHigh &&
           now.nFileIndexLow == want.nFileIndexLow;
}
#else
// Where the last component of `fullPath` starts.
std::size_t NameStart(const std::string& fullPath)
{
    const std::size_t last = fullPath.rfind('/');
    return last == std::string::npos ? 0 : last + 1;
}

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
    std::wstring full;
    return FullWidePath(Wide(path), full) ? PathFromWide(full) : path;
#else
    return Clean(path[0] == '/' ? path : CurrentFolder() + "/" + path);
#endif
}

std::string FolderOf(const std::string& fullPath)
{
#ifdef _WIN32
    // In UTF-16, where no second byte of a double-byte character passes for
    // a separator.
    const std::wstring wide = Wide(fullPath);
    const std::size_t start = WideNameStart(wide);
    if (start == 0)
        return std::string();
    const std::size_t end = wide.find_last_not_of(L"\\/", start - 1);
    if (end == std::wstring::npos)
        return PathFromWide(wide.substr(0, 1));
    return PathFromWide(wide.substr(0, wide[end] == L':' ? end + 2 : end + 1));
#else
    const std::size_t start = NameStart(fullPath);
    if (start == 0)
        return std::string();
    // The root keeps its separator ("/", "C:\").
    const std::size_t end = fullPath.find_last_not_of('/', start - 1);
    if (end == std::string::npos)
        return fullPath.substr(0, 1);
    return fullPath.substr(0, end + 1);
#endif
}

std::string FileNameOf(const std::string& fullPath)
{
#ifdef _WIN32
    const std::wstring wide = Wide(fullPath);
    return PathFromWide(wide.substr(WideNameStart(wide))).c_str();   // the ANSI form alone
#else
    return fullPath.substr(NameStart(fullPath));
#endif
}

bool SetCurrentFolder(const std::string& folder)
{
#ifdef _WIN32
    std::wstring full;
    BY_HANDLE_FILE_INFORMATION want{};
    if (!FullWidePath(Wide(folder), full) || !FolderIdentity(Extended(full), want))
        return false;
    // Windows makes a folder longer than 258 characters current only when
    // both the program and the system allow long paths; otherwise the
    // folder's short name, where its volume keeps short names, may be short
    // enough. Either way the folder that becomes current must be this one.
    const std::wstring previous = CurrentWideFolder();
    if (EnterFolder(Plain(full), want))
        return true;
    const std::wstring shortName = ShortForm(Extended(full));
    if (!shortName.empty() && shortName != Plain(full) && EnterFolder(shortName, want))
        return true;
    ::SetCurrentDirectoryW(previous.c_str());   // where a failed attempt may have left another
    return false;
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

#ifdef _WIN32
std::string CommandLinePath(int argc, const wchar_t* const argv[])
{
    return argc == 2 && argv[1] != nullptr ? PathFromWide(argv[1]) : std::string();
}
#endif
