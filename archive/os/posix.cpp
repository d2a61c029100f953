// The file layer on POSIX systems: descriptor-level opens, stdio streams for
// reading, and outputs that replace an existing file by renaming over it.
#include "file_io.h"
#include "system_calls.h"
#include "pak_archive.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace {

// One write() moves at most this much; Linux stops a little short of 2 GiB.
constexpr std::size_t kMaxWrite = std::size_t{1} << 30;

constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;

FileIdentity IdentityOf(const struct stat& st)
{
    FileIdentity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.known = true;
    return id;
}

// True when `name` in `folder` is still the file open as `fd`: not removed,
// and not replaced by another process's file in the meantime. Only calls
// that a signal handler may make.
bool NameIsStill(int folder, const char* name, int fd)
{
    struct stat mine {};
    struct stat there {};
    return ::fstat(fd, &mine) == 0 && ::fstatat(folder, name, &there, AT_SYMLINK_NOFOLLOW) == 0 &&
           mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
}

// The output being written, kept where the handler for SIGINT, SIGTERM and
// SIGHUP can find it. The main thread moves the stage; the handler only
// reads the record, and only while the stage is Writing. During a Busy step
// (creating, closing, renaming, removing) the handler leaves the signal in
// g_pending and the step ends the process once it is done, so that no file
// is created or renamed behind the handler's back. Plain atomic loads and
// stores: no system call is added to an output's own.
enum Stage : int { kIdle, kWriting, kBusy, kEnding };
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");
std::atomic<int> g_stage{kIdle};
std::atomic<int> g_pending{0};
std::atomic<int> g_outFolder{AT_FDCWD};
std::atomic<int> g_outFd{-1};
char g_outName[NAME_MAX + 1];   // written only in a Busy step

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

// Removes the output being written, when its name is still its own.
void RemoveCurrentOutput()
{
    const int fd = g_outFd.load();
    const int folder = g_outFolder.load();
    if (fd >= 0 && NameIsStill(folder, g_outName, fd))
        ::unlinkat(folder, g_outName, 0);
}

// Ends the process as `signal` would have without a handler (a shell shows
// 128 + its number).
[[noreturn]] void EndAsSignal(int signal)
{
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    ::sigemptyset(&plain.sa_mask);
    ::sigaction(signal, &plain, nullptr);
    sigset_t only;
    ::sigemptyset(&only);
    ::sigaddset(&only, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);
}

// Takes the output out of the main thread's hands, removes it and ends the
// process; during a Busy step it returns, and the step ends the process.
// The record stays as it is once the stage is Ending, so a second signal
// that cuts into the removal removes it as well.
void EndNow(int signal)
{
    int stage = g_stage.load();
    for (;;) {
        if (stage == kBusy)
            return;
        if (stage == kEnding || g_stage.compare_exchange_weak(stage, kEnding))
            break;
    }
    RemoveCurrentOutput();
    EndAsSignal(signal);
}

extern "C" void OnInterrupt(int signal)
{
    const int savedErrno = errno;
    g_pending.store(signal);   // before the stage is looked at: see Settle
    EndNow(signal);
    errno = savedErrno;
}

// Starts a step the handler must not cut into. When the process is already
// ending (a handler on another thread), it waits for the end.
void EnterBusy()
{
    int stage = g_stage.load();
    for (;;) {
        if (stage == kEnding) {
            for (;;)
                ::pause();
        }
        if (g_stage.compare_exchange_weak(stage, kBusy))
            return;
    }
}

// Ends a Busy step in `stage` (Idle: no output is being written); a signal
// that came meanwhile is acted on now.
void Settle(int stage)
{
    if (stage == kIdle)
        g_outFd.store(-1);
    g_stage.store(stage);
    const int signal = g_pending.exchange(0);
    if (signal != 0)
        EndNow(signal);
}

// Ends a Busy step that left the record as it was.
void SettleUnchanged()
{
    Settle(g_outFd.load() >= 0 ? kWriting : kIdle);
}

// Makes the output open as `fd` the one that an interrupt removes, and ends
// the Busy step.
void Register(int folder, const std::string& name, int fd)
{
    if (fd < 0 || name.size() >= sizeof g_outName)
        return SettleUnchanged();
    std::memcpy(g_outName, name.c_str(), name.size() + 1);
    g_outFolder.store(folder);
    g_outFd.store(fd);
    Settle(kWriting);
}

// Ends the Busy step of the output that was open as `fd`, which is over.
void Unregister(int fd)
{
    if (g_outFd.load() == fd)
        Settle(kIdle);
    else
        SettleUnchanged();
}

} // namespace

void InstallOutputSignalHandlers()
{
    // A write past a file-size limit then fails with EFBIG, like any other.
    ::signal(SIGXFSZ, SIG_IGN);
    struct sigaction handler {};
    handler.sa_handler = OnInterrupt;
    handler.sa_flags = SA_RESTART;
    ::sigemptyset(&handler.sa_mask);
    for (const int signal : kInterrupts)
        ::sigaddset(&handler.sa_mask, signal);
    for (const int signal : kInterrupts) {
        struct sigaction old {};
        // A signal ignored from the start (nohup, a background job) stays ignored.
        if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
            ::sigaction(signal, &handler, nullptr);
    }
}

FilePtr OpenForReading(const std::string& path, char* buffer, FileIdentity& identity, std::uint64_t& length)
{
    if (HasNul(path))
        return nullptr;
    // Non-blocking so that a FIFO can't stall the open; cleared again below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    FilePtr file(::fdopen(fd, "rb"));
    if (!file) {
        ::close(fd);
        return nullptr;
    }
    // Archive reads are long sequential runs (the table, the name area,
    // neighbouring entries). The first seek lets the stream know its position.
    if (std::setvbuf(file.get(), buffer, _IOFBF, kReadBufferSize) != 0 || ::fseeko(file.get(), 0, SEEK_SET) != 0)
        return nullptr;
    identity = IdentityOf(st);
    length = static_cast<std::uint64_t>(st.st_size);
    return file;
}

void* AllocateHugeBlock(std::size_t size)
{
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    if (size < kHugePage)
        return nullptr;
    const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    void* block = nullptr;
    if (rounded < size || ::posix_memalign(&block, kHugePage, rounded) != 0)
        throw std::bad_alloc();
    ::madvise(block, rounded, MADV_HUGEPAGE);   // a hint; failure changes nothing
    return block;
}

bool StreamTell(std::FILE* file, std::uint64_t& pos)
{
    const off_t here = ::ftello(file);
    pos = here >= 0 ? static_cast<std::uint64_t>(here) : 0;
    return here >= 0;
}

bool StreamSeek(std::FILE* file, std::uint64_t pos)
{
    return pos <= static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) &&
           ::fseeko(file, static_cast<off_t>(pos), SEEK_SET) == 0;
}

std::size_t ReadBlock(std::FILE* file, void* buffer, std::size_t count, bool& failed)
{
    std::clearerr(file);
    const std::size_t got = std::fread(buffer, 1, count, file);
    failed = got < count && std::ferror(file) != 0;
    return got;
}

std::size_t FolderPartLength(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

void SplitPath(const std::string& path, std::string& folder, std::string& name)
{
    const std::size_t folderPart = FolderPartLength(path);
    folder = path.substr(0, folderPart);
    name = path.substr(folderPart);
}

std::string DiskName(const std::string& text)
{
    std::string onDisk = text;
    std::replace(onDisk.begin(), onDisk.end(), '/', '_');
    return onDisk;
}

std::string SystemErrorText(int code)
{
    return std::strerror(code);
}

void OutputFile::Fail(int code)
{
    if (m_error.problem == FileProblem::None)
        m_error = FileError{FileProblem::System, code};
}

bool OutputFile::IsOpen() const
{
    return m_native.fd >= 0;
}

void OutputFile::Discard() noexcept
{
    if (!IsOpen())
        return;
    EnterBusy();
    const int fd = m_native.fd;
    const int folder = m_native.folder;
    const char* written = (m_native.tempName.empty() ? m_native.name : m_native.tempName).c_str();
    // Only what this output created goes, the temporary or the new name, and
    // only while the name is still that file: another process may have put
    // its own file there since.
    const bool mine = NameIsStill(folder, written, fd);
    ::close(fd);
    m_native.fd = -1;
    if (mine)
        ::unlinkat(folder, written, 0);
    Unregister(fd);
}

bool OutputFile::Write(const void* data, std::size_t count)
{
    if (!IsOpen() || m_error.problem != FileProblem::None)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (count > 0) {
        const ssize_t done = ::write(m_native.fd, bytes, std::min<std::size_t>(count, kMaxWrite));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            Fail(done < 0 ? errno : ENOSPC);
            return false;
        }
        bytes += done;
        count -= static_cast<std::size_t>(done);
    }
    return true;
}

bool OutputFile::ExtendTo(std::uint64_t size)
{
    if (!IsOpen() || m_error.problem != FileProblem::None)
        return false;
    if (size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
        Fail(EFBIG);
        return false;
    }
    if (::ftruncate(m_native.fd, static_cast<off_t>(size)) != 0) {
        Fail(errno);
        return false;
    }
    return true;
}

bool OutputFile::Commit()
{
    if (!IsOpen())
        return false;
    if (m_error.problem != FileProblem::None) {
        Discard();
        return false;
    }
    EnterBusy();
    const int fd = std::exchange(m_native.fd, -1);
    const int folder = m_native.folder;
    const std::string& name = m_native.name;
    const std::string& tempName = m_native.tempName;
    bool committed = true;
    if (::close(fd) != 0) {
        // The descriptor is gone, so a new name can't be told from a file
        // another process has put there since: only the temporary, whose
        // name no one else uses, is removed.
        Fail(errno);
        if (!tempName.empty())
            ::unlinkat(folder, tempName.c_str(), 0);
        committed = false;
    } else if (!tempName.empty() && ::renameat(folder, tempName.c_str(), folder, name.c_str()) != 0) {
        Fail(errno);
        ::unlinkat(folder, tempName.c_str(), 0);
        committed = false;
    }
    Unregister(fd);
    return committed;
}

namespace {

// How an output starts: in a file created just now under its own name, or
// beside the regular file that has the name, or not at all.
enum class Start { New, Replace, Refused };

// What is in the way of an output where `st` is: nothing for a regular file
// other than `protect`.
FileError InTheWay(const struct stat& st, const FileIdentity& protect)
{
    const FileProblem problem = S_ISLNK(st.st_mode)                 ? FileProblem::Link
                                : S_ISDIR(st.st_mode)               ? FileProblem::Folder
                                : !S_ISREG(st.st_mode)              ? FileProblem::NotRegular
                                : SameFile(IdentityOf(st), protect) ? FileProblem::Protected
                                                                    : FileProblem::None;
    return FileError{problem, 0};
}

// Creates `name` in `dir` when nothing has it yet (New, `fd` open: a file
// made just now is new and regular, written in place), or finds the regular
// file that has it (Replace). Whatever else has the name is looked at, never
// opened: its bytes are not touched (Refused, `error` set). After one name
// that existed the next probably exists too (a second extraction over the
// same tree): `expectExisting` then has it looked at first, which saves the
// exclusive create that would fail.
Start ChooseStart(int dir, const char* name, const FileIdentity& protect, bool& expectExisting, int& fd,
                  FileError& error)
{
    bool tryCreate = !expectExisting;
    struct stat st {};
    for (;;) {
        if (tryCreate) {
            fd = ::openat(dir, name, kCreateFlags, 0666);
            if (fd >= 0) {
                expectExisting = false;
                return Start::New;
            }
            if (errno != EEXIST) {
                error = FileError{FileProblem::System, errno};
                return Start::Refused;
            }
        }
        if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0)
            break;
        if (errno != ENOENT || tryCreate) {
            error = FileError{FileProblem::System, errno};
            return Start::Refused;
        }
        tryCreate = true;
    }
    expectExisting = true;
    error = InTheWay(st, protect);
    return error.problem == FileProblem::None ? Start::Replace : Start::Refused;
}

// A new file of our own in `dir`, its name in `tempName`; -1 with errno set
// when none could be made. The names differ per process and per call; a
// clash (a child forked from this process, a leftover) only costs another try.
int CreateTemporary(int dir, std::string& tempName)
{
    static const std::uint32_t base = static_cast<std::uint32_t>(::getpid()) * 2654435761u;
    static std::atomic<std::uint32_t> counter{0};
    for (int attempt = 0; attempt < 64; ++attempt) {
        const std::uint32_t salt = base + counter.fetch_add(1);
        char temp[32];
        std::snprintf(temp, sizeof temp, ".pak-%08X.tmp", static_cast<unsigned>(salt));
        const int fd = ::openat(dir, temp, kCreateFlags, 0666);
        if (fd >= 0) {
            tempName = temp;
            return fd;
        }
        if (errno != EEXIST)
            break;
    }
    return -1;
}

} // namespace

OutputFolder OutputFolder::Current()
{
    OutputFolder folder;
    folder.m_native.fd = AT_FDCWD;
    folder.m_current = true;
    return folder;
}

OutputFolder OutputFolder::Subfolder(const std::string& name)
{
    OutputFolder folder;
    if (HasNul(name)) {
        folder.m_error = FileError{FileProblem::System, EINVAL};
        return folder;
    }
    // It may exist already; the open below decides what it is.
    const int made = ::mkdir(name.c_str(), 0777) == 0 ? 0 : errno;
    const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int openError = errno;
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0) {
        folder.m_native.fd = fd;
        folder.m_identity = IdentityOf(st);
        return folder;
    }
    if (fd >= 0)
        ::close(fd);
    // Say what is in the way, or why the system refused.
    if (::fstatat(AT_FDCWD, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode))
        folder.m_error = FileError{S_ISLNK(st.st_mode) ? FileProblem::Link : FileProblem::NotFolder, 0};
    else
        folder.m_error = FileError{FileProblem::System, made != 0 && made != EEXIST ? made : openError};
    return folder;
}

OutputFolder OutputFolder::Existing(const std::string& path)
{
    OutputFolder folder;
    const int fd = HasNul(path) ? -1 : ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        folder.m_error = FileError{FileProblem::System, HasNul(path) ? EINVAL : errno};
    else
        folder.m_native.fd = fd;
    return folder;
}

void OutputFolder::Close() noexcept
{
    if (m_native.fd >= 0)
        ::close(m_native.fd);
    m_native.fd = -1;
}

bool OutputFolder::Valid() const
{
    return m_current || m_native.fd >= 0;
}

bool OutputFolder::StillNamedBy(const std::string& name) const
{
    struct stat st {};
    return m_native.fd >= 0 && !HasNul(name) && ::fstatat(AT_FDCWD, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISDIR(st.st_mode) && SameFile(IdentityOf(st), m_identity);
}

OutputFile OutputFolder::Begin(const std::string& name, const FileIdentity& protect) const
{
    OutputFile out;
    if (!Valid()) {
        out.m_error = m_error.problem != FileProblem::None ? m_error : FileError{FileProblem::System, EBADF};
        return out;
    }
    if (HasNul(name)) {
        out.m_error = FileError{FileProblem::System, EINVAL};
        return out;
    }
    const int dir = m_native.fd;
    out.m_native.folder = dir;
    out.m_native.name = name;

    // From here until Register the interrupt handler leaves the output alone.
    EnterBusy();
    int fd = -1;
    if (ChooseStart(dir, name.c_str(), protect, m_native.expectExisting, fd, out.m_error) == Start::Replace) {
        // The new bytes go to a file of our own beside it; Commit renames it over.
        fd = CreateTemporary(dir, out.m_native.tempName);
        if (fd < 0)
            out.m_error = FileError{FileProblem::System, errno};
    }
    out.m_native.fd = fd;
    Register(dir, out.m_native.tempName.empty() ? name : out.m_native.tempName, fd);
    return out;
}

std::uint64_t OutputFile::CopyFrom(std::FILE* file, std::uint64_t pos, std::uint64_t count, bool& usable)
{
    std::uint64_t copied = 0;
#ifdef __linux__
    // One call moves at most this much, so that an interruption is acted on
    // between calls of a fraction of a second.
    constexpr std::size_t kMaxCopy = std::size_t{64} << 20;
    if (!usable || !IsOpen() || m_error.problem != FileProblem::None)
        return 0;
    const int in = ::fileno(file);
    while (copied < count) {
        // Archive positions stay below 2^33: an off64_t holds them.
        off64_t from = static_cast<off64_t>(pos + copied);
        const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(count - copied, kMaxCopy));
        const ssize_t done = ::copy_file_range(in, &from, m_native.fd, nullptr, part, 0);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            if (done < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP))
                usable = false;
            break;
        }
        copied += static_cast<std::uint64_t>(done);
    }
#else
    static_cast<void>(file);
    static_cast<void>(pos);
    static_cast<void>(count);
    usable = false;   // no call copies a range of one open file into another
#endif
    return copied;
}
