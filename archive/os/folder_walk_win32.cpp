// The archive writer's folder walk and input files on Windows: a folder
// listed with FindFirstFileExW, in UTF-16, reparse points never followed.
#include "folder_walk.h"
#include "path_helpers.h"
#include "program_support.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <memory>
#include <utility>

namespace {

FileError SystemError(DWORD code)
{
    return FileError{FileProblem::System, static_cast<int>(code)};
}

// `path` as a full path in the form that takes any length.
bool ExtendedPath(const SystemPath& path, std::wstring& extended, DWORD& error)
{
    std::wstring wide, full;
    error = ERROR_INVALID_NAME;
    if (path.empty() || !PathToWide(path, wide) || !FullPath(wide, full, error))
        return false;
    extended = Extended(full);
    return true;
}

bool IsDot(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

struct FindCloser {
    void operator()(HANDLE find) const noexcept { ::FindClose(find); }
};

} // namespace

bool ListFolder(const SystemPath& folder, bool followLink, std::vector<FolderItem>& items, FileError& error)
{
    items.clear();
    std::wstring extended, given;
    DWORD code = 0;
    if (!ExtendedPath(folder, extended, code) || !PathToWide(folder, given)) {
        error = SystemError(code);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    DWORD type = 0;
    if (!LookAt(extended, followLink, info, type, code)) {
        error = SystemError(code);
        return false;
    }
    if (!followLink && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        error = FileError{FileProblem::Link, 0};
        return false;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = SystemError(ERROR_DIRECTORY);
        return false;
    }

    const std::wstring folderPart = Joinable(extended) + L'\\';
    // Items keep the path as it was given, with a separator unless it ends
    // in one (or in a drive's colon, "C:" being that drive's current folder).
    const bool separated = !given.empty() && (given.back() == L'\\' || given.back() == L'/' || given.back() == L':');
    const std::wstring givenPart = separated ? given : given + L'\\';
    // The standard level and no flags: the basic level and large fetches
    // came with Windows 7.
    WIN32_FIND_DATAW found{};
    const HANDLE first = ::FindFirstFileExW((folderPart + L'*').c_str(), FindExInfoStandard, &found,
                                            FindExSearchNameMatch, nullptr, 0);
    if (first == INVALID_HANDLE_VALUE) {
        code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND)
            return true;   // not even "." and "..": a root with nothing in it
        error = SystemError(code);
        return false;
    }
    const std::unique_ptr<void, FindCloser> find(first);
    do {
        if (IsDot(found.cFileName))
            continue;
        const std::wstring name = found.cFileName;
        FolderItem item;
        item.name = PathFromWide(name);
        item.nameInCodePage = item.name.Exact().empty();
        item.path = PathFromWide(givenPart + name);
        const DWORD attributes = found.dwFileAttributes;
        item.kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? ItemKind::Link
                    : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? ItemKind::Folder
                                                                     : ItemKind::File;
        if (item.kind == ItemKind::File) {
            item.size = std::uint64_t{found.nFileSizeHigh} << 32 | found.nFileSizeLow;
            BY_HANDLE_FILE_INFORMATION fileInfo{};
            DWORD fileType = 0, ignored = 0;
            if (LookAt(folderPart + name, false, fileInfo, fileType, ignored)) {
                item.identity = IdentityOf(fileInfo);
                if (fileType != FILE_TYPE_DISK)
                    item.kind = ItemKind::Other;
            }
        }
        const std::string& text = item.name.Text();
        item.madeOfDeviceName = text.size() > 1 && text[0] == '_' && IsWindowsDeviceName(text.substr(1), ::GetACP());
        items.push_back(std::move(item));
    } while (::FindNextFileW(first, &found));
    code = ::GetLastError();
    if (code != ERROR_NO_MORE_FILES) {
        error = SystemError(code);
        return false;
    }
    return true;
}

bool IdentityOfFile(const SystemPath& path, FileIdentity& identity)
{
    std::wstring extended;
    BY_HANDLE_FILE_INFORMATION info{};
    DWORD type = 0, error = 0;
    if (!ExtendedPath(path, extended, error) || !LookAt(extended, true, info, type, error) ||
        type != FILE_TYPE_DISK || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    identity = IdentityOf(info);
    return true;
}

InputFile OpenInput(const SystemPath& path, FileIdentity& identity, std::uint64_t& length, FileError& error)
{
    InputFile file;
    std::wstring extended;
    DWORD code = 0;
    if (!ExtendedPath(path, extended, code)) {
        error = SystemError(code);
        return file;
    }
    // Without backup semantics a folder doesn't open; a device or a pipe
    // opens but is no disk file.
    const HANDLE handle = ::CreateFileW(extended.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        code = ::GetLastError();
        BY_HANDLE_FILE_INFORMATION info{};
        DWORD type = 0, ignored = 0;
        const bool folder = code == ERROR_ACCESS_DENIED && LookAt(extended, true, info, type, ignored) &&
                            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        error = folder ? FileError{FileProblem::Folder, 0} : SystemError(code);
        return file;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = FileError{FileProblem::NotRegular, 0};
        ::CloseHandle(handle);
        return file;
    }
    file.m_native.handle = handle;
    identity = IdentityOf(info);
    length = std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
    return file;
}
