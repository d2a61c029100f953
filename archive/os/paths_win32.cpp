// Paths on Windows: the wide-character calls, with both separators, and the
// conversions between the ANSI code page's bytes and UTF-16 that every path
// passes through.
#include "path_helpers.h"
#include "program_support.h"

#include <climits>
#include <cwchar>
#include <vector>

namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

// An extended path without its prefix, as the system shows paths elsewhere.
std::wstring Plain(const std::wstring& extended)
{
    if (StartsWith(extended, L"\\\\?\\UNC\\"))
        return L"\\\\" + extended.substr(8);
    if (StartsWith(extended, L"\\\\?\\"))
        return extended.substr(4);
    return extended;
}

std::wstring Wide(const SystemPath& path)
{
    std::wstring wide;
    return PathToWide(path, wide) ? wide : std::wstring();
}

// The current directory as GetCurrentDirectoryW gives it.
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
std::size_t NameStart(const std::wstring& fullPath)
{
    const std::size_t last = fullPath.find_last_of(L"\\/");
    return last == std::wstring::npos ? 0 : last + 1;
}

// Volume serial number and file index of the folder `path` names. False,
// with the reason SetCurrentDirectoryW would give in `error`, when it names
// none.
bool FolderIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info, DWORD& error)
{
    DWORD type = 0;
    if (!LookAt(path, /*followLinks=*/true, info, type, error))
        return false;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = ERROR_DIRECTORY;
        return false;
    }
    return true;
}

// Makes `path` current and checks that the current directory is now the
// folder `want` describes. False with the reason in `error`.
bool EnterFolder(const std::wstring& path, const BY_HANDLE_FILE_INFORMATION& want, DWORD& error)
{
    if (path.empty() || !::SetCurrentDirectoryW(path.c_str())) {
        error = path.empty() ? ERROR_INVALID_NAME : ::GetLastError();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION now{};
    if (FolderIdentity(L".", now, error) && now.dwVolumeSerialNumber == want.dwVolumeSerialNumber &&
        now.nFileIndexHigh == want.nFileIndexHigh && now.nFileIndexLow == want.nFileIndexLow)
        return true;
    error = ERROR_PATH_NOT_FOUND;   // another folder took its place
    return false;
}

} // namespace

HANDLE OpenToLookAt(const std::wstring& path, bool followLinks, BY_HANDLE_FILE_INFORMATION& info, DWORD& type,
                    DWORD& error)
{
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const HANDLE handle = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return handle;
    }
    if (!::GetFileInformationByHandle(handle, &info)) {
        error = ::GetLastError();
        ::CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    type = ::GetFileType(handle);
    return handle;
}

bool LookAt(const std::wstring& path, bool followLinks, BY_HANDLE_FILE_INFORMATION& info, DWORD& type, DWORD& error)
{
    const HANDLE handle = OpenToLookAt(path, followLinks, info, type, error);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(handle);
    return true;
}

bool Widen(UINT codePage, DWORD flags, const std::string& text, std::wstring& wide)
{
    wide.clear();
    if (text.empty())
        return true;
    if (text.size() > static_cast<std::size_t>(INT_MAX))
        return false;
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (length <= 0)
        return false;
    wide.resize(static_cast<std::size_t>(length));
    return ::MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), length) == length;
}

std::string Narrow(UINT codePage, const std::wstring& wide)
{
    if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX))
        return std::string();
    const int size = static_cast<int>(wide.size());
    const int length = ::WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return std::string();
    std::string text(static_cast<std::size_t>(length), '\0');
    const int made = ::WideCharToMultiByte(codePage, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
    text.resize(made > 0 ? static_cast<std::size_t>(made) : 0);
    return text;
}

std::wstring Extended(const std::wstring& full)
{
    if (StartsWith(full, L"\\\\?\\") || StartsWith(full, L"\\\\.\\"))
        return full;
    if (StartsWith(full, L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring Joinable(std::wstring path)
{
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return path;
}

bool FullPath(const std::wstring& path, std::wstring& full, DWORD& error)
{
    DWORD capacity = MAX_PATH;
    for (;;) {
        full.assign(capacity, L'\0');
        const DWORD length = ::GetFullPathNameW(path.c_str(), capacity, full.data(), nullptr);
        if (length == 0) {
            error = ::GetLastError();
            return false;
        }
        if (length < capacity) {
            full.resize(length);
            return true;
        }
        capacity = length;
    }
}

bool CurrentFolder(std::wstring& folder, FileError& error)
{
    DWORD capacity = MAX_PATH;
    for (;;) {
        folder.assign(capacity, L'\0');
        const DWORD length = ::GetCurrentDirectoryW(capacity, folder.data());
        if (length == 0) {
            error = FileError{FileProblem::System, static_cast<int>(::GetLastError())};
            return false;
        }
        if (length < capacity) {
            folder.resize(length);
            folder = Joinable(Extended(folder));
            return true;
        }
        capacity = length;
    }
}

SystemPath PathFromWide(const std::wstring& path)
{
    std::string ansi = Narrow(CP_ACP, path);
    std::wstring back;
    if (Widen(CP_ACP, 0, ansi, back) && back == path)
        return SystemPath(std::move(ansi));
    return SystemPath(std::move(ansi), path);
}

bool PathToWide(const SystemPath& path, std::wstring& wide)
{
    if (!path.Exact().empty()) {
        wide = path.Exact();
        return wide.find(L'\0') == std::wstring::npos;
    }
    return path.Text().find('\0') == std::string::npos && Widen(CP_ACP, 0, path.Text(), wide);
}

PathResolution ResolveFullPath(const SystemPath& path, SystemPath& full)
{
    full = SystemPath();
    std::wstring wide, wideFull;
    DWORD error = 0;
    // The text that GetFullPathNameW makes is the one every file call opens.
    if (path.empty() || !PathToWide(path, wide) || !FullPath(wide, wideFull, error))
        return PathResolution::Refused;
    full = PathFromWide(wideFull);
    return PathResolution::Resolved;
}

SystemPath CurrentFolder()
{
    return PathFromWide(CurrentWideFolder());
}

SystemPath FolderOf(const SystemPath& fullPath)
{
    // In UTF-16, where no second byte of a double-byte character passes for
    // a separator.
    const std::wstring wide = Wide(fullPath);
    const std::size_t start = NameStart(wide);
    if (start == 0)
        return SystemPath();
    // The root keeps its separator ("C:\", "\").
    const std::size_t end = wide.find_last_not_of(L"\\/", start - 1);
    if (end == std::wstring::npos)
        return PathFromWide(wide.substr(0, 1));
    return PathFromWide(wide.substr(0, wide[end] == L':' ? end + 2 : end + 1));
}

std::string FileNameOf(const SystemPath& fullPath)
{
    const std::wstring wide = Wide(fullPath);
    return PathFromWide(wide.substr(NameStart(wide))).Text();   // the ANSI form alone
}

bool SetCurrentFolder(const SystemPath& folder, std::string* why)
{
    std::wstring wide, full;
    BY_HANDLE_FILE_INFORMATION want{};
    DWORD error = ERROR_INVALID_NAME;
    if (!folder.empty() && PathToWide(folder, wide) && FullPath(wide, full, error) &&
        FolderIdentity(Extended(full), want, error)) {
        // Windows makes a folder longer than 258 characters current only
        // when both the program and the system allow long paths; otherwise
        // the folder's short name, where its volume keeps short names, may
        // be short enough. Either way the folder that becomes current must
        // be this one.
        const std::wstring previous = CurrentWideFolder();
        if (EnterFolder(Plain(full), want, error))
            return true;
        const std::wstring shortName = ShortForm(Extended(full));
        DWORD ignored = 0;
        if (!shortName.empty() && shortName != Plain(full) && EnterFolder(shortName, want, ignored))
            return true;
        ::SetCurrentDirectoryW(previous.c_str());   // where a failed attempt may have left another
    }
    if (why)
        *why = SystemErrorText(static_cast<int>(error));
    return false;
}

bool IsFolderPath(const SystemPath& path)
{
    std::wstring wide;
    if (!PathToWide(path, wide))
        return true;
    // INVALID_FILE_ATTRIBUTES has the folder bit too.
    return (::GetFileAttributesW(wide.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string ExecutableFile()
{
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD got = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (got == 0)
            return std::string();
        if (got < buffer.size())
            return std::string(buffer.data(), got);
        buffer.resize(buffer.size() * 2);
    }
}

std::vector<SystemPath> CommandLineArguments(int argc, const wchar_t* const argv[])
{
    std::vector<SystemPath> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(PathFromWide(argv[i]));
    return args;
}

SystemPath CommandLinePath(int argc, const wchar_t* const argv[])
{
    return argc == 2 && argv[1] != nullptr ? PathFromWide(argv[1]) : SystemPath();
}
