// The file layer on Windows: the wide-character Win32 calls on full paths with
// the "\\?\" prefix (so paths beyond 260 characters work), archives read by
// position through the system's handles.
#include "file_io.h"
#include "path_helpers.h"
#include "program_support.h"
#include "system_calls.h"

#include <windows.h>
#include <winioctl.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>
#include <vector>

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info)
{
    FileIdentity id;
    id.device = info.dwVolumeSerialNumber;
    id.inode = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
    id.known = true;
    return id;
}

namespace {

// The longest name of one path component Windows allows, in UTF-16 units.
constexpr std::size_t kMaxComponent = 255;

// How many temporary names are tried before the output is given up.
constexpr int kTemporaryTries = 100;

// One ReadFile or WriteFile moves at most this much; larger blocks are moved
// in several calls.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// A zero tail at least this long is left to the file system as a hole.
constexpr std::uint64_t kSparseTail = std::uint64_t{1} << 20;

FileError SystemError(DWORD code)
{
    return FileError{FileProblem::System, static_cast<int>(code)};
}

FileError Problem(FileProblem problem)
{
    return FileError{problem, 0};
}

// The errno value for a failed read, as the C runtime maps the system's
// codes: what a reader of the archive reports.
int ErrnoOf(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_LOCK_VIOLATION:
    case ERROR_SHARING_VIOLATION:
        return EACCES;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_NOT_ENOUGH_QUOTA:
        return ENOMEM;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    default:
        return EIO;
    }
}

// Whether `name` opens a device whatever the folder it stands in, so that
// the "\\?\" form, which doesn't look at device names, would make a file
// that ordinary Windows programs can't open or remove.
bool NamesDevice(const std::wstring& name)
{
    if (name.size() < 3 || std::wcschr(L"CcPpAaNnLl", name[0]) == nullptr)
        return false;
    return IsWindowsDeviceName(Narrow(CP_UTF8, name), kUtf8CodePage);
}

// One path component as the wide functions take it: never a separator or a
// stream name. The limit on its length is checked here, as a too-long name
// fails on POSIX systems.
bool ComponentName(const SystemPath& name, std::wstring& wide, FileError& error)
{
    // Looked for in UTF-16: in a double-byte code page the second byte of a
    // character may have the value of '\\'.
    if (name.empty() || !PathToWide(name, wide) || wide.find_first_of(L"/\\:") != std::wstring::npos) {
        error = SystemError(ERROR_INVALID_NAME);
        return false;
    }
    if (wide.size() > kMaxComponent) {
        error = SystemError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    return true;
}

// What keeps the facts `info` from being a folder that outputs may go to: a
// reparse point (looked at only when links weren't followed), or not a folder.
FileProblem FolderProblem(const BY_HANDLE_FILE_INFORMATION& info, bool followLinks)
{
    if (!followLinks && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return FileProblem::Link;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return FileProblem::NotFolder;
    return FileProblem::None;
}

// What keeps the thing with facts `info` and `type` from being replaced by an
// output: only a regular file other than `protect` is replaced, and only when
// it isn't marked read-only.
FileError ReplaceProblem(const BY_HANDLE_FILE_INFORMATION& info, DWORD type, const FileIdentity& protect)
{
    const DWORD attributes = info.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return Problem(FileProblem::Link);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return Problem(FileProblem::Folder);
    if (type != FILE_TYPE_DISK)
        return Problem(FileProblem::NotRegular);
    if (SameFile(IdentityOf(info), protect))
        return Problem(FileProblem::Protected);
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return SystemError(ERROR_ACCESS_DENIED);
    return FileError{};
}

// The folder at `path` held open for its identity only: sharing everything,
// so that the user may still rename or remove it (StillNamedBy notices when
// that happened). INVALID_HANDLE_VALUE, with `error` set, when it can't be
// opened or FolderProblem finds one.
HANDLE HoldFolder(const std::wstring& path, bool followLinks, FileIdentity& identity, FileError& error)
{
    BY_HANDLE_FILE_INFORMATION info{};
    DWORD type = 0, code = 0;
    const HANDLE handle = OpenToLookAt(path, followLinks, info, type, code);
    if (handle == INVALID_HANDLE_VALUE) {
        error = SystemError(code);
        return handle;
    }
    const FileProblem problem = FolderProblem(info, followLinks);
    if (problem != FileProblem::None) {
        error = Problem(problem);
        ::CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    identity = IdentityOf(info);
    return handle;
}

// A new file at `path`, never one that is there already (a dangling link
// counts as being there).
HANDLE CreateNew(const std::wstring& path)
{
    return ::CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Marks the file open as `handle` to be deleted when its last handle is
// closed (`remove`), or takes the mark off again. Through the handle, so no
// other file that has the name meanwhile is touched, and when the process
// ends however it ends, its handles are closed and the file goes.
bool MarkForDeletion(HANDLE handle, bool remove)
{
    FILE_DISPOSITION_INFO dispose{};
    dispose.DeleteFile = remove ? TRUE : FALSE;
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose) != 0;
}

// Renames the file open as `handle` to the full path `path`, replacing the
// file that has that name. Through the handle, so the file renamed is this
// very one whatever has its old name by now.
bool RenameTo(HANDLE handle, const std::wstring& path)
{
    const std::size_t nameBytes = path.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(rename->FileName, path.c_str(), nameBytes + sizeof(wchar_t));   // with its NUL
    return ::SetFileInformationByHandle(handle, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) != 0;
}

// The outputs being written, on any number of threads, where the console
// control handler (which runs on a thread of its own) can find them: each
// holds a slot while it is being written. Every output is marked for
// deletion through its handle from Begin to Commit, so the handler has
// little to do but to mark each once more and to wait out the Busy steps
// under way (creating, closing, renaming, removing), which g_busy counts.
// Once g_ending is set, a step that would start waits for the end instead.
// Plain atomic operations: no system call is added to an output's way.
enum SlotState : int { kFree, kWriting, kBusy };

struct Slot {
    std::atomic<int> state{kFree};
    std::atomic<HANDLE> handle{INVALID_HANDLE_VALUE};
};

// More than any program here writes at once (pakunpack runs at most 64
// threads); an output that finds none free still goes with its handle.
constexpr int kSlots = 128;
Slot g_slots[kSlots];
std::atomic<int> g_busy{0};
std::atomic<bool> g_ending{false};

// Starts a step the handler waits for, for the output of `slot` (-1 when it
// has none yet). When the process is ending, the thread waits for the end.
void EnterBusy(int slot)
{
    g_busy.fetch_add(1);
    if (g_ending.load()) {
        g_busy.fetch_sub(1);
        ::Sleep(INFINITE);
    }
    if (slot >= 0)
        g_slots[slot].state.store(kBusy);
}

// Within a Busy step: a slot for the output open as `handle`; -1 when none
// is free.
int Claim(HANDLE handle)
{
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int free = kFree;
        if (g_slots[i].state.compare_exchange_strong(free, kBusy)) {
            g_slots[i].handle.store(handle);
            return i;
        }
    }
    return -1;
}

// Ends a Busy step. The output of `slot` (-1: none) is then still being
// written (`writing`) or over, and its slot free.
void Settle(int slot, bool writing)
{
    if (slot >= 0)
        g_slots[slot].state.store(writing ? kWriting : kFree);
    g_busy.fetch_sub(1);
}

// Marks every output being written for deletion once more, waits until no
// Busy step is under way, and lets the system's own handler end the process
// as it always does: the outputs go as their handles are closed.
BOOL WINAPI OnConsoleEvent(DWORD)
{
    g_ending.store(true);
    while (g_busy.load() != 0)
        ::Sleep(1);
    for (Slot& slot : g_slots) {
        if (slot.state.load() == kWriting)
            MarkForDeletion(slot.handle.load(), true);
    }
    return FALSE;
}

// ".pak-XXXXXXXX.tmp", eight hex digits that differ from call to call and
// from process to process.
std::wstring TemporaryName()
{
    static std::atomic<std::uint64_t> counter{0};
    LARGE_INTEGER ticks{};
    ::QueryPerformanceCounter(&ticks);
    std::uint64_t mix = static_cast<std::uint64_t>(ticks.QuadPart) ^ (std::uint64_t{::GetCurrentProcessId()} << 32) ^
                        ((counter.fetch_add(1) + 1) * 0x9E3779B97F4A7C15u);
    mix = (mix ^ (mix >> 30)) * 0xBF58476D1CE4E5B9u;   // a splitmix64 step spreads the bits
    mix = (mix ^ (mix >> 27)) * 0x94D049BB133111EBu;
    mix ^= mix >> 31;
    std::wstring name = L".pak-";
    for (int shift = 28; shift >= 0; shift -= 4)
        name += L"0123456789abcdef"[(mix >> shift) & 0xF];
    return name + L".tmp";
}

} // namespace

void InstallOutputSignalHandlers()
{
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

InputFile InputFile::Open(const SystemPath& path, FileIdentity& identity, std::uint64_t& length)
{
    InputFile file;
    std::wstring wide, full;
    DWORD error = 0;
    if (path.empty() || !PathToWide(path, wide) || !FullPath(wide, full, error))
        return file;
    // A folder can't be opened without backup semantics; a device or a pipe
    // opens but is no disk file.
    const HANDLE handle = ::CreateFileW(Extended(full).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return file;
    file.m_native.handle = handle;
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        file.Close();
        return file;
    }
    identity = IdentityOf(info);
    length = std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
    return file;
}

void InputFile::Close() noexcept
{
    if (m_native.handle != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_native.handle);
    m_native.handle = INVALID_HANDLE_VALUE;
}

bool InputFile::IsOpen() const
{
    return m_native.handle != INVALID_HANDLE_VALUE;
}

bool InputFile::ReadAt(std::uint64_t pos, void* buffer, std::size_t count, std::size_t& got, int& code) const
{
    got = 0;
    code = 0;
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (got < count) {
        // The offset goes with each call: no file pointer is shared.
        const std::uint64_t at = pos + got;
        OVERLAPPED offset{};
        offset.Offset = static_cast<DWORD>(at);
        offset.OffsetHigh = static_cast<DWORD>(at >> 32);
        const DWORD part = static_cast<DWORD>(count - got < kMaxTransfer ? count - got : kMaxTransfer);
        DWORD read = 0;
        if (!::ReadFile(m_native.handle, bytes + got, part, &read, &offset)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_HANDLE_EOF)
                break;
            code = ErrnoOf(error);
            return false;
        }
        if (read == 0)
            break;
        got += read;
    }
    return true;
}

void* AllocateHugeBlock(std::size_t)
{
    // Large pages need a privilege that ordinary accounts don't hold.
    return nullptr;
}

void SplitPath(const SystemPath& path, SystemPath& folder, SystemPath& name)
{
    // Split in UTF-16, where no second byte of a character passes for a
    // separator; a path that can't be converted stays whole and fails later.
    std::wstring wide;
    if (!PathToWide(path, wide)) {
        folder = SystemPath();
        name = path;
        return;
    }
    std::size_t folderPart = wide.find_last_of(L"/\\");
    if (folderPart != std::wstring::npos)
        ++folderPart;
    else
        folderPart = wide.size() >= 2 && wide[1] == L':' ? 2 : 0;
    std::wstring last = wide.substr(folderPart);
    // Every path Windows is given loses the dots and spaces at the end of its
    // last step ("rep.txt." is "rep.txt", "..." the folder itself); the
    // extended form that outputs are made by would keep them, in a name
    // that ordinary programs can't open.
    if (last != L"." && last != L"..") {
        last.erase(last.find_last_not_of(L". ") + 1);   // npos + 1: all of it
        if (last.empty() && folderPart == 0) {
            wide = L".\\";
            folderPart = wide.size();
        }
    }
    folder = folderPart == 0 ? SystemPath() : PathFromWide(wide.substr(0, folderPart));
    name = PathFromWide(last);
}

std::string DiskName(const std::string& text)
{
    return WindowsDiskName(text, ::GetACP());
}

std::string SameNameKey(const std::string& diskName)
{
    std::wstring wide;
    if (!PathToWide(diskName, wide) || wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX))
        return std::string();
    // The system's upper case without a language's rules is the one its
    // file systems compare names by.
    std::wstring upper(wide.size(), L'\0');
    const int size = static_cast<int>(wide.size());
    const int length = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), size, upper.data(),
                                       size, nullptr, nullptr, 0);
    upper.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return Narrow(CP_UTF8, upper.empty() ? wide : upper);
}

AnsiCharacter AnsiCharacterAt(unsigned codePage, const char* bytes, std::size_t size)
{
    // ASCII is a character of one byte in every ANSI code page.
    const auto lead = static_cast<BYTE>(bytes[0]);
    if (lead < 0x80 || !::IsDBCSLeadByteEx(codePage, lead))
        return AnsiCharacter::OneByte;
    wchar_t wide[2];
    return size >= 2 && ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, 2, wide, 2) == 1
               ? AnsiCharacter::TwoBytes
               : AnsiCharacter::BrokenLeadByte;
}

std::string SameFileKey(const std::string& diskName)
{
    // In the characters the file system compares: the UTF-16 form that every
    // name passes through. A name that has none is never created.
    std::wstring wide;
    if (!Widen(CP_ACP, 0, diskName, wide))
        return SameFileKeyOf(diskName.data(), diskName.size());
    return SameFileKeyOf(wide.data(), wide.size());
}

std::string SystemErrorText(int code)
{
    char* words = nullptr;
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                              FORMAT_MESSAGE_IGNORE_INSERTS,
                                          nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&words), 0,
                                          nullptr);
    std::string text = length > 0 && words ? std::string(words, length) : std::string();
    ::LocalFree(words);
    // The system's sentence ends in a dot and CR LF; a reason stands in a line.
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text.empty() ? "Windows error " + std::to_string(code) : text;
}

void OutputFile::Fail(int code)
{
    if (m_error.problem == FileProblem::None)
        m_error = SystemError(static_cast<DWORD>(code));
}

bool OutputFile::IsOpen() const
{
    return m_native.handle != INVALID_HANDLE_VALUE;
}

void OutputFile::Discard() noexcept
{
    if (!IsOpen())
        return;
    EnterBusy(m_native.slot);
    const HANDLE handle = std::exchange(m_native.handle, INVALID_HANDLE_VALUE);
    // Deleted through the handle, never by its name: another file of that
    // name can't be reached. Where it can't be marked, it stays.
    MarkForDeletion(handle, true);
    ::CloseHandle(handle);
    Settle(std::exchange(m_native.slot, -1), false);
}

bool OutputFile::Write(const void* data, std::size_t count)
{
    if (!IsOpen() || m_error.problem != FileProblem::None)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (count > 0) {
        const DWORD part = static_cast<DWORD>(count < kMaxTransfer ? count : kMaxTransfer);
        DWORD written = 0;
        if (!::WriteFile(m_native.handle, bytes, part, &written, nullptr)) {
            Fail(::GetLastError());
            return false;
        }
        if (written == 0) {
            Fail(ERROR_WRITE_FAULT);
            return false;
        }
        bytes += written;
        count -= written;
    }
    return true;
}

bool OutputFile::ExtendTo(std::uint64_t size)
{
    if (!IsOpen() || m_error.problem != FileProblem::None)
        return false;
    if (size > static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max())) {
        Fail(ERROR_FILE_TOO_LARGE);
        return false;
    }
    const HANDLE handle = m_native.handle;
    LARGE_INTEGER end{};
    if (!::GetFileSizeEx(handle, &end)) {
        Fail(::GetLastError());
        return false;
    }
    if (size >= static_cast<std::uint64_t>(end.QuadPart) + kSparseTail) {
        // A hint: where the file system can't make holes, the tail is written out.
        DWORD ignored = 0;
        ::DeviceIoControl(handle, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    }
    LARGE_INTEGER target{};
    target.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(handle, target, nullptr, FILE_BEGIN) || !::SetEndOfFile(handle)) {
        Fail(::GetLastError());
        return false;
    }
    return true;
}

bool OutputFile::Commit()
{
    if (!IsOpen()) {
        Fail(ERROR_INVALID_HANDLE);
        return false;
    }
    if (m_error.problem != FileProblem::None) {
        Discard();
        return false;
    }
    EnterBusy(m_native.slot);
    const HANDLE handle = std::exchange(m_native.handle, INVALID_HANDLE_VALUE);
    // Until the mark is taken off the file goes with its handle; between
    // that and the rename (one system call) a killed process leaves the
    // complete temporary.
    bool committed = MarkForDeletion(handle, false) &&
                     (m_native.tempPath.empty() || RenameTo(handle, m_native.path));
    if (!committed) {
        Fail(::GetLastError());
        MarkForDeletion(handle, true);
    }
    // Once the file is under its name, closing it ends it. When the close
    // fails the output counts as failed, but the handle is gone, and with
    // it the means to tell the new file from one another process has put
    // there since: the name is left alone.
    if (!::CloseHandle(handle) && committed) {
        Fail(::GetLastError());
        committed = false;
    }
    Settle(std::exchange(m_native.slot, -1), false);
    return committed;
}

namespace {

// How an output starts: in a file created just now under its own name, or
// beside the regular file that has the name, or not at all.
enum class Start { New, Replace, Refused };

// The full path of output `name` in `folder`: one component, never a device
// name, which the "\\?\" form would make into a file.
bool OutputPath(const std::wstring& folder, const SystemPath& name, std::wstring& path, FileError& error)
{
    std::wstring wide;
    if (!ComponentName(name, wide, error))
        return false;
    if (NamesDevice(wide)) {
        error = Problem(FileProblem::NotRegular);
        return false;
    }
    path = folder + L'\\' + wide;
    return true;
}

// Creates `path` when nothing has it yet (New, `handle` open: the fast
// path, written in place), or finds the regular file that ReplaceProblem
// lets be replaced (Replace); otherwise Refused, with `error` set.
Start ChooseStart(const std::wstring& path, const FileIdentity& protect, HANDLE& handle, FileError& error)
{
    handle = CreateNew(path);
    if (handle != INVALID_HANDLE_VALUE)
        return Start::New;
    const DWORD createError = ::GetLastError();
    if (createError != ERROR_FILE_EXISTS && createError != ERROR_ALREADY_EXISTS && createError != ERROR_ACCESS_DENIED) {
        error = SystemError(createError);
        return Start::Refused;
    }
    // Something may be there.
    BY_HANDLE_FILE_INFORMATION info{};
    DWORD type = 0, lookError = 0;
    if (!LookAt(path, false, info, type, lookError)) {
        error = SystemError(createError == ERROR_ACCESS_DENIED ? createError : lookError);
        return Start::Refused;
    }
    error = ReplaceProblem(info, type, protect);
    return error.problem == FileProblem::None ? Start::Replace : Start::Refused;
}

// A new file of our own in `folder`, its path in `tempPath`;
// INVALID_HANDLE_VALUE with `error` set when none could be made.
HANDLE CreateTemporary(const std::wstring& folder, std::wstring& tempPath, FileError& error)
{
    DWORD code = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kTemporaryTries && code == ERROR_FILE_EXISTS; ++attempt) {
        const std::wstring temporary = folder + L'\\' + TemporaryName();
        const HANDLE handle = CreateNew(temporary);
        if (handle != INVALID_HANDLE_VALUE) {
            tempPath = temporary;
            return handle;
        }
        code = ::GetLastError();
        if (code == ERROR_ALREADY_EXISTS)
            code = ERROR_FILE_EXISTS;
    }
    error = SystemError(code);
    return INVALID_HANDLE_VALUE;
}

} // namespace

void UseUnnamedOutputs(bool)
{
    // Windows has no unnamed files; outputs are marked for deletion instead.
}

OutputFolder OutputFolder::Current()
{
    OutputFolder folder;
    folder.m_current = true;
    return folder;
}

OutputFolder OutputFolder::Subfolder(const std::string& name)
{
    OutputFolder folder;
    std::wstring current, wide;
    if (!CurrentFolder(current, folder.m_error) || !ComponentName(name, wide, folder.m_error))
        return folder;
    const std::wstring path = current + L'\\' + wide;
    if (!::CreateDirectoryW(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        folder.m_error = SystemError(::GetLastError());
        return folder;
    }
    folder.m_native.handle = HoldFolder(path, false, folder.m_identity, folder.m_error);
    if (folder.m_native.handle != INVALID_HANDLE_VALUE)
        folder.m_native.path = path;
    return folder;
}

OutputFolder OutputFolder::Existing(const SystemPath& path)
{
    OutputFolder folder;
    std::wstring wide, full;
    DWORD error = ERROR_INVALID_NAME;
    if (path.empty() || !PathToWide(path, wide) || !FullPath(wide, full, error)) {
        folder.m_error = SystemError(error);
        return folder;
    }
    const std::wstring extended = Extended(full);
    folder.m_native.handle = HoldFolder(extended, true, folder.m_identity, folder.m_error);
    if (folder.m_native.handle != INVALID_HANDLE_VALUE)
        folder.m_native.path = Joinable(extended);
    return folder;
}

void OutputFolder::Close() noexcept
{
    if (m_native.handle != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_native.handle);
    m_native.handle = INVALID_HANDLE_VALUE;
}

bool OutputFolder::Valid() const
{
    return m_current || m_native.handle != INVALID_HANDLE_VALUE;
}

bool OutputFolder::StillNamedBy(const std::string& name) const
{
    std::wstring current, wide;
    FileError ignored;
    if (m_native.handle == INVALID_HANDLE_VALUE || !CurrentFolder(current, ignored) ||
        !ComponentName(name, wide, ignored))
        return false;
    // The same path as before (the current directory may have changed) and
    // there the same folder, not a link.
    const std::wstring path = current + L'\\' + wide;
    BY_HANDLE_FILE_INFORMATION info{};
    DWORD type = 0, error = 0;
    return path == m_native.path && LookAt(path, false, info, type, error) &&
           FolderProblem(info, false) == FileProblem::None && SameFile(IdentityOf(info), m_identity);
}

OutputFile OutputFolder::Begin(const SystemPath& name, const FileIdentity& protect, Look) const
{
    // Every output starts with a name here: what has the name is looked at first.
    OutputFile out;
    if (!Valid()) {
        out.m_error = m_error.problem != FileProblem::None ? m_error : SystemError(ERROR_INVALID_HANDLE);
        return out;
    }
    if (name.empty() && !m_current) {
        out.m_error = Problem(FileProblem::Folder);   // a path that ends in a separator
        return out;
    }
    std::wstring current;
    if (m_current && !CurrentFolder(current, out.m_error))
        return out;
    const std::wstring& folder = m_current ? current : m_native.path;
    if (!OutputPath(folder, name, out.m_native.path, out.m_error))
        return out;

    // From here until it returns, the console control handler waits; then
    // the output begun, if any, is one it marks.
    EnterBusy(-1);
    struct Registration {
        OutputFile& out;
        ~Registration()
        {
            out.m_native.slot = Claim(out.m_native.handle);
            Settle(out.m_native.slot, out.m_native.handle != INVALID_HANDLE_VALUE);
        }
    } registration{out};

    HANDLE handle = INVALID_HANDLE_VALUE;
    if (ChooseStart(out.m_native.path, protect, handle, out.m_error) == Start::Replace)
        handle = CreateTemporary(folder, out.m_native.tempPath, out.m_error);
    // Marked for deletion until Commit: whatever ends the output before
    // (a failure, an interruption, a killed process) removes it through
    // its handle. Where it can't be marked, Discard tries once more.
    if (handle != INVALID_HANDLE_VALUE)
        MarkForDeletion(handle, true);
    out.m_native.handle = handle;
    return out;
}

std::uint64_t OutputFile::CopyFrom(const InputFile&, std::uint64_t, std::uint64_t, bool& usable)
{
    // No call copies a range of one open file into another (CopyFileEx copies
    // whole files by name): the caller reads and writes.
    usable = false;
    return 0;
}
