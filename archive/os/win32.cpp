// The file layer on Windows: the wide-character Win32 calls on full paths with
// the "\\?\" prefix (so paths beyond 260 characters work), archives read
// through stdio streams made from the system's handles.
#include "file_io.h"
#include "pak_archive.h"
#include "common.h"
#include "paths.h"

#include <windows.h>
#include <winioctl.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

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

HANDLE AsHandle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

std::intptr_t FromHandle(HANDLE handle)
{
    return reinterpret_cast<std::intptr_t>(handle);
}

FileError SystemError(DWORD code)
{
    return FileError{FileProblem::System, static_cast<int>(code)};
}

FileError Problem(FileProblem problem)
{
    return FileError{problem, 0};
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

// The layer's own records keep wide paths in the header's byte strings,
// two bytes per UTF-16 unit, so that no path is converted twice.
std::string Pack(const std::wstring& wide)
{
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

std::wstring Unpack(const std::string& packed)
{
    std::wstring wide(packed.size() / sizeof(wchar_t), L'\0');
    std::memcpy(wide.data(), packed.data(), wide.size() * sizeof(wchar_t));
    return wide;
}

// One path component as the wide functions take it: never a separator or a
// stream name. The limit on its length is checked here, as a too-long name
// fails on POSIX systems.
bool ComponentName(const std::string& name, std::wstring& wide, FileError& error)
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

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info)
{
    FileIdentity id;
    id.device = info.dwVolumeSerialNumber;
    id.inode = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
    id.known = true;
    return id;
}

bool SameFile(const FileIdentity& a, const FileIdentity& b)
{
    return a.known && b.known && a.device == b.device && a.inode == b.inode;
}

// Facts about whatever `path` names, a reparse point itself rather than what
// it points at unless `followLinks`. Opening for attributes only never
// conflicts with another program's sharing mode.
bool LookAt(const std::wstring& path, bool followLinks, BY_HANDLE_FILE_INFORMATION& info, DWORD& type, DWORD& error)
{
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const HANDLE handle = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return false;
    }
    const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
    error = known ? ERROR_SUCCESS : ::GetLastError();
    type = ::GetFileType(handle);
    ::CloseHandle(handle);
    return known;
}

// A new file at `path`, never one that is there already (a dangling link
// counts as being there).
HANDLE CreateNew(const std::wstring& path)
{
    return ::CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// The output being written, where the console control handler (which runs
// on a thread of its own) can find it. The main thread moves the stage; a
// Busy step (creating, closing, renaming, removing) is waited out by the
// handler, and once the handler has taken over the main thread waits for
// the end. Plain atomic loads and stores: no system call is added.
enum Stage : int { kIdle, kWriting, kBusy, kEnding };
std::atomic<int> g_stage{kIdle};
std::atomic<std::intptr_t> g_outHandle{-1};   // INVALID_HANDLE_VALUE: none

void EnterBusy()
{
    int stage = g_stage.load();
    for (;;) {
        if (stage == kEnding)
            ::Sleep(INFINITE);
        if (g_stage.compare_exchange_weak(stage, kBusy))
            return;
    }
}

// Ends a Busy step. `begun`: the output now being written; `ended`: the
// output that is over (the one being written no more when it was that one).
void Settle(HANDLE begun, HANDLE ended = INVALID_HANDLE_VALUE)
{
    if (begun != INVALID_HANDLE_VALUE)
        g_outHandle.store(FromHandle(begun));
    else if (g_outHandle.load() == FromHandle(ended))
        g_outHandle.store(FromHandle(INVALID_HANDLE_VALUE));
    g_stage.store(g_outHandle.load() != FromHandle(INVALID_HANDLE_VALUE) ? kWriting : kIdle);
}

// Marks the output being written for deletion (through its handle, so no
// other file of that name is touched; it goes when the process ends) and
// lets the system's own handler end the process as it always does.
BOOL WINAPI OnConsoleEvent(DWORD)
{
    int stage = g_stage.load();
    while (stage != kEnding) {
        if (stage == kBusy) {
            ::Sleep(1);
            stage = g_stage.load();
        } else if (g_stage.compare_exchange_weak(stage, kEnding)) {
            if (stage == kWriting) {
                FILE_DISPOSITION_INFO dispose{};
                dispose.DeleteFile = TRUE;
                ::SetFileInformationByHandle(AsHandle(g_outHandle.load()), FileDispositionInfo, &dispose,
                                             sizeof dispose);
            }
            break;
        }
    }
    return FALSE;
}

// ".pak-XXXXXXXX.tmp", eight hex digits that differ from call to call and
// from process to process.
std::wstring TemporaryName()
{
    static std::uint64_t counter = 0;
    LARGE_INTEGER ticks{};
    ::QueryPerformanceCounter(&ticks);
    std::uint64_t mix = static_cast<std::uint64_t>(ticks.QuadPart) ^ (std::uint64_t{::GetCurrentProcessId()} << 32) ^
                        (++counter * 0x9E3779B97F4A7C15u);
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

void FileCloser::operator()(std::FILE* file) const noexcept
{
    std::fclose(file);
}

FilePtr OpenForReading(const std::string& path, char* buffer, FileIdentity& identity, std::uint64_t& length)
{
    std::wstring wide, full;
    DWORD error = 0;
    if (path.empty() || !PathToWide(path, wide) || !FullPath(wide, full, error))
        return nullptr;
    // A folder can't be opened without backup semantics; a device or a pipe
    // opens but is no disk file.
    const HANDLE handle = ::CreateFileW(Extended(full).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        ::CloseHandle(handle);
        return nullptr;
    }
    const int fd = ::_open_osfhandle(FromHandle(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        return nullptr;
    }
    FilePtr file(::_fdopen(fd, "rb"));
    if (!file) {
        ::_close(fd);
        return nullptr;
    }
    if (std::setvbuf(file.get(), buffer, _IOFBF, kReadBufferSize) != 0 || ::_fseeki64(file.get(), 0, SEEK_SET) != 0)
        return nullptr;
    identity = IdentityOf(info);
    length = std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
    return file;
}

void BufferFree::operator()(unsigned char* block) const noexcept
{
    std::free(block);
}

BufferPtr AllocateBuffer(std::size_t size)
{
    // Large pages need a privilege that ordinary accounts don't hold.
    void* block = std::malloc(size == 0 ? 1 : size);
    if (!block)
        throw std::bad_alloc();
    return BufferPtr(static_cast<unsigned char*>(block));
}

bool StreamTell(std::FILE* file, std::uint64_t& pos)
{
    const __int64 here = ::_ftelli64(file);
    pos = here >= 0 ? static_cast<std::uint64_t>(here) : 0;
    return here >= 0;
}

bool StreamSeek(std::FILE* file, std::uint64_t pos)
{
    return pos <= static_cast<std::uint64_t>(std::numeric_limits<__int64>::max()) &&
           ::_fseeki64(file, static_cast<__int64>(pos), SEEK_SET) == 0;
}

std::size_t ReadBlock(std::FILE* file, void* buffer, std::size_t count, bool& failed)
{
    std::clearerr(file);
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t got = 0;
    while (got < count) {
        const std::size_t part = count - got < kMaxTransfer ? count - got : kMaxTransfer;
        const std::size_t read = std::fread(bytes + got, 1, part, file);
        got += read;
        if (read < part)
            break;
    }
    failed = got < count && std::ferror(file) != 0;
    return got;
}

std::size_t FolderPartLength(const std::string& path)
{
    const std::size_t separator = path.find_last_of("/\\");
    if (separator != std::string::npos)
        return separator + 1;
    return path.size() >= 2 && path[1] == ':' ? 2 : 0;
}

void SplitPath(const std::string& path, std::string& folder, std::string& name)
{
    // Split in UTF-16, where no second byte of a character passes for a
    // separator; a path that can't be converted stays whole and fails later.
    std::wstring wide;
    if (!PathToWide(path, wide)) {
        folder.clear();
        name = path;
        return;
    }
    std::size_t folderPart = wide.find_last_of(L"/\\");
    if (folderPart != std::wstring::npos)
        ++folderPart;
    else
        folderPart = wide.size() >= 2 && wide[1] == L':' ? 2 : 0;
    folder = folderPart == 0 ? std::string() : PathFromWide(wide.substr(0, folderPart));
    name = PathFromWide(wide.substr(folderPart));
}

std::string DiskName(const std::string& text)
{
    return WindowsDiskName(text, ::GetACP());
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

void OutputFile::Discard() noexcept
{
    if (!IsOpen())
        return;
    EnterBusy();
    const HANDLE handle = AsHandle(m_handle);
    // Deleting through the handle can't reach another file of the same name.
    FILE_DISPOSITION_INFO dispose{};
    dispose.DeleteFile = TRUE;
    const bool marked = ::SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose) != 0;
    // Where it can't be marked, the name is removed only while it is still
    // this very file, not one another process has put there since.
    BY_HANDLE_FILE_INFORMATION mine{};
    const bool known = !marked && ::GetFileInformationByHandle(handle, &mine);
    ::CloseHandle(handle);
    m_handle = kNoHandle;
    const std::wstring written = Unpack(m_tempName.empty() ? m_name : m_tempName);
    BY_HANDLE_FILE_INFORMATION there{};
    DWORD type = 0, error = 0;
    if (known && LookAt(written, false, there, type, error) && SameFile(IdentityOf(there), IdentityOf(mine)))
        ::DeleteFileW(written.c_str());
    Settle(INVALID_HANDLE_VALUE, handle);
}

bool OutputFile::Write(const void* data, std::size_t count)
{
    if (!IsOpen() || m_error.problem != FileProblem::None)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (count > 0) {
        const DWORD part = static_cast<DWORD>(count < kMaxTransfer ? count : kMaxTransfer);
        DWORD written = 0;
        if (!::WriteFile(AsHandle(m_handle), bytes, part, &written, nullptr)) {
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
    LARGE_INTEGER end{};
    if (!::GetFileSizeEx(AsHandle(m_handle), &end)) {
        Fail(::GetLastError());
        return false;
    }
    if (size >= static_cast<std::uint64_t>(end.QuadPart) + kSparseTail) {
        // A hint: where the file system can't make holes, the tail is written out.
        DWORD ignored = 0;
        ::DeviceIoControl(AsHandle(m_handle), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    }
    LARGE_INTEGER target{};
    target.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(AsHandle(m_handle), target, nullptr, FILE_BEGIN) || !::SetEndOfFile(AsHandle(m_handle))) {
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
    EnterBusy();
    const HANDLE handle = AsHandle(m_handle);
    m_handle = kNoHandle;
    bool committed = true;
    if (m_tempName.empty()) {
        // Written in place under its own name: closing ends it. When the
        // close fails the handle is gone, and with it the means to tell the
        // new file from one another process has put there since: the name
        // is left alone.
        if (!::CloseHandle(handle)) {
            Fail(::GetLastError());
            committed = false;
        }
    } else {
        const std::wstring temporary = Unpack(m_tempName);
        if (!::CloseHandle(handle)) {
            Fail(::GetLastError());
            ::DeleteFileW(temporary.c_str());
            committed = false;
        } else if (!::MoveFileExW(temporary.c_str(), Unpack(m_name).c_str(), MOVEFILE_REPLACE_EXISTING)) {
            // The name passes to the new file at once; a file that had it stays
            // whole under its other names, and whole under this one when this fails.
            Fail(::GetLastError());
            ::DeleteFileW(temporary.c_str());
            committed = false;
        }
    }
    Settle(INVALID_HANDLE_VALUE, handle);
    return committed;
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
    // Held open for its identity only: sharing everything, so that the user
    // may still rename or remove it; IsStill notices when that happened.
    const HANDLE handle = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        folder.m_error = SystemError(::GetLastError());
        return folder;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info))
        folder.m_error = SystemError(::GetLastError());
    else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        folder.m_error = Problem(FileProblem::Link);
    else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        folder.m_error = Problem(FileProblem::NotFolder);
    if (folder.m_error.problem != FileProblem::None) {
        ::CloseHandle(handle);
        return folder;
    }
    folder.m_handle = FromHandle(handle);
    folder.m_identity = IdentityOf(info);
    folder.m_path = Pack(path);
    return folder;
}

OutputFolder OutputFolder::Existing(const std::string& path)
{
    OutputFolder folder;
    std::wstring wide, full;
    DWORD error = ERROR_INVALID_NAME;
    if (path.empty() || !PathToWide(path, wide) || !FullPath(wide, full, error)) {
        folder.m_error = SystemError(error);
        return folder;
    }
    const std::wstring extended = Extended(full);
    const HANDLE handle = ::CreateFileW(extended.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        folder.m_error = SystemError(::GetLastError());
        return folder;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info))
        folder.m_error = SystemError(::GetLastError());
    else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        folder.m_error = Problem(FileProblem::NotFolder);
    if (folder.m_error.problem != FileProblem::None) {
        ::CloseHandle(handle);
        return folder;
    }
    folder.m_handle = FromHandle(handle);
    folder.m_identity = IdentityOf(info);
    folder.m_path = Pack(Joinable(extended));
    return folder;
}

OutputFolder::OutputFolder(OutputFolder&& other) noexcept
    : m_handle(other.m_handle), m_current(other.m_current), m_identity(other.m_identity),
      m_path(std::move(other.m_path)), m_error(other.m_error)
{
    other.m_handle = OutputFile::kNoHandle;
    other.m_current = false;
}

OutputFolder& OutputFolder::operator=(OutputFolder&& other) noexcept
{
    if (this != &other) {
        if (m_handle != OutputFile::kNoHandle)
            ::CloseHandle(AsHandle(m_handle));
        m_handle = other.m_handle;
        m_current = other.m_current;
        m_identity = other.m_identity;
        m_path = std::move(other.m_path);
        m_error = other.m_error;
        other.m_handle = OutputFile::kNoHandle;
        other.m_current = false;
    }
    return *this;
}

OutputFolder::~OutputFolder()
{
    if (m_handle != OutputFile::kNoHandle)
        ::CloseHandle(AsHandle(m_handle));
}

bool OutputFolder::Valid() const
{
    return m_current || m_handle != OutputFile::kNoHandle;
}

bool OutputFolder::IsStill(const std::string& name) const
{
    std::wstring current, wide;
    FileError ignored;
    if (m_handle == OutputFile::kNoHandle || !CurrentFolder(current, ignored) || !ComponentName(name, wide, ignored))
        return false;
    // The same path as before (the current directory may have changed) and
    // there the same folder, not a link.
    const std::wstring path = current + L'\\' + wide;
    BY_HANDLE_FILE_INFORMATION info{};
    DWORD type = 0, error = 0;
    return path == Unpack(m_path) && LookAt(path, false, info, type, error) &&
           (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ==
               FILE_ATTRIBUTE_DIRECTORY &&
           SameFile(IdentityOf(info), m_identity);
}

OutputFile OutputFolder::Begin(const std::string& name, const FileIdentity& protect) const
{
    OutputFile out;
    std::wstring folder, wide;
    if (!Valid()) {
        out.m_error = m_error.problem != FileProblem::None ? m_error : SystemError(ERROR_INVALID_HANDLE);
        return out;
    }
    if (!m_current)
        folder = Unpack(m_path);
    else if (!CurrentFolder(folder, out.m_error))
        return out;
    if (!ComponentName(name, wide, out.m_error))
        return out;
    if (NamesDevice(wide)) {
        out.m_error = Problem(FileProblem::NotRegular);
        return out;
    }
    const std::wstring target = folder + L'\\' + wide;
    out.m_folder = m_handle;
    out.m_folderPath = Pack(folder);
    out.m_name = Pack(target);

    // From here until it returns, the console control handler waits; then
    // the output begun, if any, is the one it removes.
    EnterBusy();
    struct Registration {
        const OutputFile& out;
        ~Registration() { Settle(out.IsOpen() ? AsHandle(out.m_handle) : INVALID_HANDLE_VALUE); }
    } registration{out};

    // The fast path: a name nothing has yet is written in place.
    HANDLE handle = CreateNew(target);
    if (handle != INVALID_HANDLE_VALUE) {
        out.m_handle = FromHandle(handle);
        return out;
    }
    const DWORD createError = ::GetLastError();
    if (createError != ERROR_FILE_EXISTS && createError != ERROR_ALREADY_EXISTS && createError != ERROR_ACCESS_DENIED) {
        out.m_error = SystemError(createError);
        return out;
    }

    // Something may be there: only a regular file other than the protected
    // one is replaced, and only when it isn't marked read-only.
    BY_HANDLE_FILE_INFORMATION info{};
    DWORD type = 0, lookError = 0;
    if (!LookAt(target, false, info, type, lookError)) {
        out.m_error = SystemError(createError == ERROR_ACCESS_DENIED ? createError : lookError);
        return out;
    }
    const DWORD attributes = info.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        out.m_error = Problem(FileProblem::Link);
    else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        out.m_error = Problem(FileProblem::Folder);
    else if (type != FILE_TYPE_DISK)
        out.m_error = Problem(FileProblem::NotRegular);
    else if (SameFile(IdentityOf(info), protect))
        out.m_error = Problem(FileProblem::Protected);
    else if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        out.m_error = SystemError(ERROR_ACCESS_DENIED);
    if (out.m_error.problem != FileProblem::None)
        return out;

    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kTemporaryTries && error == ERROR_FILE_EXISTS; ++attempt) {
        const std::wstring temporary = folder + L'\\' + TemporaryName();
        handle = CreateNew(temporary);
        if (handle != INVALID_HANDLE_VALUE) {
            out.m_handle = FromHandle(handle);
            out.m_tempName = Pack(temporary);
            return out;
        }
        error = ::GetLastError();
        if (error == ERROR_ALREADY_EXISTS)
            error = ERROR_FILE_EXISTS;
    }
    out.m_error = SystemError(error);
    return out;
}
