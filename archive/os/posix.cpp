// The file layer on POSIX systems: descriptor-level opens, archives read by
// position, and outputs written as files without a name (Linux's O_TMPFILE)
// or, where there are none, under names of their own, that replace an
// existing file by renaming over it.
#include "file_io.h"
#include "program_support.h"
#include "system_calls.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <new>
#include <utility>

FileIdentity IdentityOf(const struct stat& st)
{
    FileIdentity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.known = true;
    return id;
}

namespace {

// One read() or write() moves at most this much; Linux stops a little short
// of 2 GiB.
constexpr std::size_t kMaxWrite = std::size_t{1} << 30;

constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;

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

// Removes `name` in `folder` when it is still the file open as `fd`, which
// stays open meanwhile (so its inode can't pass to another file). No system
// call removes a name only if it is a given file: a file that another
// process renames onto the name between the look and the removal goes. The
// names this is used for are unnamed outputs' temporaries (which live for
// one failed rename) and the named way's outputs. Only calls that a signal
// handler may make.
void RemoveIfStillMine(int folder, const char* name, int fd)
{
    if (NameIsStill(folder, name, fd))
        ::unlinkat(folder, name, 0);
}

// The outputs being written under names of their own (the named way), on
// any number of threads, kept where the signal handler can find them: each
// holds a slot while it is being written. Unnamed outputs need nothing
// removed and hold none. A slot is Writing while its output is only being
// written, which the handler may cut into: it takes the slot (Taken) and
// removes the output. During a Busy step of its owner (creating, closing,
// renaming, removing) the handler leaves a slot alone.
//
// g_busy counts the Busy steps under way, outputs' or not, and the handlers
// at work; g_ending is the signal that ends the process, once one has come.
// A handler counts itself in, sets g_ending, takes every Writing slot and
// counts itself out; a step that ends while g_ending is set removes its own
// output, and starts nothing new. Whoever counts g_busy down to 0 while
// g_ending is set ends the process: by then nothing partial is left.
// Plain atomic operations, no locks and no system calls on an output's way;
// every one is sequentially consistent, so that a step and a handler that
// meet always see each other.
enum SlotState : int { kFree, kWriting, kBusy, kTaken };
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");

struct Slot {
    std::atomic<int> state{kFree};
    std::atomic<int> folder{AT_FDCWD};
    std::atomic<int> fd{-1};
    char name[NAME_MAX + 1];   // written only while its owner holds the slot Busy
};

// More than any program here writes at once (pakunpack runs at most 64
// threads); an output that finds none free is written unregistered.
constexpr int kSlots = 128;
Slot g_slots[kSlots];
std::atomic<int> g_busy{0};
std::atomic<int> g_ending{0};

// Every signal whose default action ends the process and that comes from
// outside the program's own code: a terminal, `kill`, a timer or a limit.
// The faults (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGSYS, SIGABRT)
// mean the program itself went wrong and keep their default action, as
// does SIGPIPE, which only the program's own writes to a pipe raise. The
// real-time signals are added where they are installed.
constexpr int kEndingSignals[] = {
    SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

// Removes the output of `slot`, which the caller has taken, when its name is
// still its own.
void RemoveSlotOutput(Slot& slot)
{
    RemoveIfStillMine(slot.folder.load(), slot.name, slot.fd.load());
}

// Ends the process as `signal` would have without a handler (a shell shows
// 128 + its number; the signals that dump core still do).
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

// Counts one Busy step or handler out. The last one out while the process
// is ending ends it; a step that is not the last waits for that end, so
// that its thread starts nothing more.
void CountOut(bool waitWhenEnding)
{
    const bool last = g_busy.fetch_sub(1) == 1;
    const int signal = g_ending.load();
    if (signal == 0)
        return;
    if (last)
        EndAsSignal(signal);
    while (waitWhenEnding)
        ::pause();
}

// Takes `slot` when it is Writing and removes its output.
void TakeAndRemove(Slot& slot)
{
    int writing = kWriting;
    if (slot.state.compare_exchange_strong(writing, kTaken))
        RemoveSlotOutput(slot);
}

extern "C" void OnEndingSignal(int signal)
{
    const int savedErrno = errno;
    g_busy.fetch_add(1);
    int none = 0;
    g_ending.compare_exchange_strong(none, signal);   // the first signal decides how the process ends
    for (Slot& slot : g_slots)
        TakeAndRemove(slot);
    CountOut(false);   // returns while a Busy step is under way; that step ends the process
    errno = savedErrno;
}

// Starts a step the handler must not cut into, for the output of `slot` (-1
// when it has none yet). When the process is ending, the step doesn't
// start: its output is removed, and the thread waits for the end.
void EnterBusy(int slot)
{
    g_busy.fetch_add(1);
    if (slot >= 0) {
        int writing = kWriting;
        if (!g_slots[slot].state.compare_exchange_strong(writing, kBusy))
            CountOut(true);   // a handler has taken it: the process is ending
    }
    if (g_ending.load() != 0) {
        if (slot >= 0) {
            g_slots[slot].state.store(kTaken);
            RemoveSlotOutput(g_slots[slot]);
        }
        CountOut(true);
    }
}

// Within a Busy step: a slot that makes the output open as `fd`, `name` in
// `folder`, one an interrupt removes once the step has ended; -1 when none
// is free.
int Claim(int folder, const std::string& name, int fd)
{
    if (fd < 0 || name.size() >= sizeof(Slot::name))
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        int free = kFree;
        if (slot.state.compare_exchange_strong(free, kBusy)) {
            std::memcpy(slot.name, name.c_str(), name.size() + 1);
            slot.folder.store(folder);
            slot.fd.store(fd);
            return i;
        }
    }
    return -1;
}

// Ends a Busy step. The output of `slot` (-1: none) is then still being
// written (`writing`) or over, and its slot free. When the process began
// ending meanwhile, an output still being written is removed now.
void Settle(int slot, bool writing)
{
    if (slot >= 0) {
        g_slots[slot].state.store(writing ? kWriting : kFree);
        if (writing && g_ending.load() != 0)
            TakeAndRemove(g_slots[slot]);
    }
    CountOut(true);
}

void AddEndingSignals(sigset_t& set)
{
    for (const int signal : kEndingSignals)
        ::sigaddset(&set, signal);
#ifdef SIGRTMIN
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        ::sigaddset(&set, signal);
#endif
}

} // namespace

void InstallOutputSignalHandlers()
{
    // A write past a file-size limit then fails with EFBIG, like any other.
    ::signal(SIGXFSZ, SIG_IGN);
    struct sigaction handler {};
    handler.sa_handler = OnEndingSignal;
    handler.sa_flags = SA_RESTART;
    ::sigemptyset(&handler.sa_mask);
    AddEndingSignals(handler.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction old {};
        // Only a default action is taken over: a signal ignored from the
        // start (nohup, a background job) stays ignored, and one that has a
        // handler already (a profiler's) keeps it.
        if (::sigismember(&handler.sa_mask, signal) == 1 && ::sigaction(signal, nullptr, &old) == 0 &&
            old.sa_handler == SIG_DFL && (old.sa_flags & SA_SIGINFO) == 0)
            ::sigaction(signal, &handler, nullptr);
    }
}

InputFile InputFile::Open(const SystemPath& path, FileIdentity& identity, std::uint64_t& length)
{
    InputFile file;
    if (HasNul(path.Text()))
        return file;
    // Non-blocking so that a FIFO can't stall the open; cleared again below.
    const int fd = ::open(path.Text().c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return file;
    file.m_native.fd = fd;
    struct stat st {};
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        file.Close();
        return file;
    }
    identity = IdentityOf(st);
    length = static_cast<std::uint64_t>(st.st_size);
    return file;
}

void InputFile::Close() noexcept
{
    if (m_native.fd >= 0)
        ::close(m_native.fd);
    m_native.fd = -1;
}

bool InputFile::IsOpen() const
{
    return m_native.fd >= 0;
}

bool InputFile::ReadAt(std::uint64_t pos, void* buffer, std::size_t count, std::size_t& got, int& code) const
{
    got = 0;
    code = 0;
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (got < count) {
        const std::uint64_t at = pos + got;
        if (at > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
            code = EINVAL;
            return false;
        }
        const ssize_t done = ::pread(m_native.fd, bytes + got, std::min(count - got, kMaxWrite), static_cast<off_t>(at));
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0) {
            code = errno != 0 ? errno : EIO;
            return false;
        }
        if (done == 0)
            break;
        got += static_cast<std::size_t>(done);
    }
    return true;
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

void SplitPath(const SystemPath& path, SystemPath& folder, SystemPath& name)
{
    const std::string& text = path.Text();
    const std::size_t slash = text.rfind('/');
    const std::size_t folderPart = slash == std::string::npos ? 0 : slash + 1;
    folder = text.substr(0, folderPart);
    name = text.substr(folderPart);
}

std::string DiskName(const std::string& text)
{
    std::string onDisk = text;
    std::replace(onDisk.begin(), onDisk.end(), '/', '_');
    return onDisk;
}

std::string SameNameKey(const std::string& diskName)
{
    return diskName;
}

AnsiCharacter AnsiCharacterAt(unsigned, const char*, std::size_t)
{
    return AnsiCharacter::OneByte;
}

std::string SameFileKey(const std::string& diskName)
{
    return SameFileKeyOf(diskName.data(), diskName.size());
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
    EnterBusy(m_native.slot);
    const int fd = std::exchange(m_native.fd, -1);
    // An unnamed output goes with its descriptor. A named one is removed,
    // the temporary or the new name, only while the name is still that file
    // (another process may have put its own file there since), and before
    // the descriptor is closed, which on a network file system can take long.
    if (!m_native.unnamed)
        RemoveIfStillMine(m_native.folder, (m_native.tempName.empty() ? m_native.name : m_native.tempName).c_str(), fd);
    ::close(fd);
    Settle(std::exchange(m_native.slot, -1), false);
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

namespace {

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

FileError SystemError(int code)
{
    return FileError{FileProblem::System, code};
}

// Reports what the system would report at the file's last close (a network
// file system's delayed write error) while the file is still open: 0, or
// the error. Closing a second descriptor of the file makes the system flush
// it as the last close would.
int FlushError(int fd)
{
    const int second = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (second < 0)
        return errno;
    return ::close(second) == 0 || errno == EINTR ? 0 : errno;
}

// Whether the file system of the folder open as `fd` is one whose close
// never reports a write error (the local disk and memory file systems,
// which report theirs at the write or at fsync), so that Commit needs no
// flush to learn of one; a network or FUSE file system may report one there.
bool CloseReportsNothing(int fd)
{
#ifdef __linux__
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case EXT4_SUPER_MAGIC:   // ext2, ext3 and ext4
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC:
        return true;
    default:
        return false;
    }
#else
    static_cast<void>(fd);
    return false;
#endif
}

// ".pak-XXXXXXXX.tmp" in `temp`, eight hex digits that differ from call to
// call and can't be told in advance: the process's random start, counted on
// and mixed.
void TemporaryName(char (&temp)[32])
{
    static const std::uint64_t start = [] {
        std::uint64_t seed = 0;
        if (::getentropy(&seed, sizeof seed) != 0)
            seed = static_cast<std::uint64_t>(::getpid()) << 32 ^ static_cast<std::uint64_t>(::time(nullptr));
        return seed;
    }();
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t mix = start + (counter.fetch_add(1) + 1) * 0x9E3779B97F4A7C15u;
    mix = (mix ^ (mix >> 30)) * 0xBF58476D1CE4E5B9u;   // a splitmix64 step spreads the bits
    mix = (mix ^ (mix >> 27)) * 0x94D049BB133111EBu;
    mix ^= mix >> 31;
    std::snprintf(temp, sizeof temp, ".pak-%08X.tmp", static_cast<unsigned>(mix & 0xFFFFFFFFu));
}

// A new file of our own in `dir`, its name in `tempName`; -1 with errno set
// when none could be made. A name that exists already only costs another try.
int CreateTemporary(int dir, std::string& tempName)
{
    for (int attempt = 0; attempt < 64; ++attempt) {
        char temp[32];
        TemporaryName(temp);
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

#ifdef O_TMPFILE
// Whether this process can give an unnamed file a name through its entry in
// /proc/self/fd, which needs /proc. Found out once, with the first unnamed
// file.
enum class Known { Unknown, Yes, No };
std::atomic<Known> g_procLinks{Known::Unknown};
// Whether it can by the descriptor itself (AT_EMPTY_PATH), which the system
// allows only to some (CAP_DAC_READ_SEARCH) and which saves the look-up of
// the /proc path. Found out with the first link.
std::atomic<Known> g_descriptorLinks{Known::Unknown};
std::atomic<bool> g_unnamedOutputs{true};

// "/proc/self/fd/N", the path through which the unnamed file open as `fd`
// is linked.
void SelfPath(int fd, char (&path)[40])
{
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
}

bool CanLink(int fd)
{
    Known known = g_procLinks.load();
    if (known == Known::Unknown) {
        char self[40];
        SelfPath(fd, self);
        struct stat mine {};
        struct stat there {};
        const bool works = ::fstat(fd, &mine) == 0 && ::stat(self, &there) == 0 && mine.st_dev == there.st_dev &&
                           mine.st_ino == there.st_ino;
        known = works ? Known::Yes : Known::No;
        g_procLinks.store(known);
    }
    return known == Known::Yes;
}

// Links the unnamed file open as `fd` in as `name` in `dir`: 0, or errno.
int Link(int fd, int dir, const char* name)
{
    const Known byDescriptor = g_descriptorLinks.load();
    if (byDescriptor != Known::No) {
        if (::linkat(fd, "", dir, name, AT_EMPTY_PATH) == 0) {
            g_descriptorLinks.store(Known::Yes);
            return 0;
        }
        // Refused to those who may not (as to a process that has given up
        // the capability since): ENOENT, which the way through /proc tells
        // from a folder that is gone.
        if (errno != ENOENT)
            return errno;
        g_descriptorLinks.store(Known::No);
    }
    char self[40];
    SelfPath(fd, self);
    return ::linkat(AT_FDCWD, self, dir, name, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// Whether CreateUnnamed will try for a file without a name.
bool MayStartUnnamed()
{
    return g_unnamedOutputs.load() && g_procLinks.load() != Known::No;
}

// A new file without a name in `dir`, to be linked in by Commit; -1 when
// there is none, with the system's refusal in `refusal`: EOPNOTSUPP (or
// EISDIR, EINVAL from older kernels) where the file system has no such
// files, 0 when none was asked for (turned off, or no /proc to link it by).
int CreateUnnamed(int dir, int& refusal)
{
    refusal = 0;
    if (!MayStartUnnamed())
        return -1;
    const int fd = ::openat(dir, ".", O_TMPFILE | O_WRONLY | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        refusal = errno;
    } else if (!CanLink(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Gives the unnamed file open as `fd` its name, replacing the regular file
// that has it. A name that had nothing at Begin is linked at once; when
// another process has given it to a file since, that file is judged as
// Begin judges one.
FileError NameUnnamed(int fd, int dir, const std::string& name, bool replacing, const FileIdentity& protect)
{
    for (int attempt = 0; !replacing; ++attempt) {
        const int code = Link(fd, dir, name.c_str());
        if (code == 0)
            return FileError{};
        struct stat st {};
        if (code != EEXIST || attempt == 8)
            return SystemError(code);
        if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            const FileError inTheWay = InTheWay(st, protect);
            if (inTheWay.problem != FileProblem::None)
                return inTheWay;
            replacing = true;
        } else if (errno != ENOENT) {
            return SystemError(errno);
        }
    }
    // Linked under a temporary name, then renamed over the old file, which
    // keeps its name until the new one takes it.
    char temp[32];
    int code = EEXIST;
    for (int attempt = 0; code == EEXIST && attempt < 64; ++attempt) {
        TemporaryName(temp);
        code = Link(fd, dir, temp);
    }
    if (code != 0)
        return SystemError(code);
    if (::renameat(dir, temp, dir, name.c_str()) == 0)
        return FileError{};
    code = errno;
    RemoveIfStillMine(dir, temp, fd);
    return SystemError(code);
}
#else
bool MayStartUnnamed()
{
    return false;
}

int CreateUnnamed(int, int& refusal)
{
    refusal = 0;
    return -1;
}

FileError NameUnnamed(int, int, const std::string&, bool, const FileIdentity&)
{
    return SystemError(EOPNOTSUPP);
}
#endif

// Creates the named way's file for output `name` in `dir`: under the name
// itself when nothing has it (`replacing` false), else a temporary beside it.
// When a file has taken the name since it was looked at, it is judged as
// Begin judges one. -1 with `error` set when none could be made.
int CreateNamed(int dir, const std::string& name, const FileIdentity& protect, bool replacing, std::string& tempName,
                FileError& error)
{
    while (!replacing) {
        const int fd = ::openat(dir, name.c_str(), kCreateFlags, 0666);
        if (fd >= 0)
            return fd;
        struct stat st {};
        if (errno != EEXIST || ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            error = SystemError(errno);
            return -1;
        }
        error = InTheWay(st, protect);
        if (error.problem != FileProblem::None)
            return -1;
        replacing = true;
    }
    const int fd = CreateTemporary(dir, tempName);
    if (fd < 0)
        error = SystemError(errno);
    return fd;
}

} // namespace

void UseUnnamedOutputs(bool use)
{
#ifdef O_TMPFILE
    g_unnamedOutputs.store(use);
#else
    static_cast<void>(use);
#endif
}

bool OutputFile::Commit()
{
    if (!IsOpen())
        return false;
    if (m_error.problem != FileProblem::None) {
        Discard();
        return false;
    }
    EnterBusy(m_native.slot);
    const int fd = m_native.fd;
    const int folder = m_native.folder;
    const std::string& name = m_native.name;
    const std::string& tempName = m_native.tempName;
    const int code = m_native.flush ? FlushError(fd) : 0;
    if (code != 0) {
        Fail(code);
    } else if (m_native.unnamed) {
        const FileError named = NameUnnamed(fd, folder, name, m_native.replacing, m_native.protect);
        if (named.problem != FileProblem::None)
            m_error = named;
    } else if (!tempName.empty() && ::renameat(folder, tempName.c_str(), folder, name.c_str()) != 0) {
        Fail(errno);
    }
    const bool committed = m_error.problem == FileProblem::None;
    if (!committed && !m_native.unnamed)
        RemoveIfStillMine(folder, (tempName.empty() ? name : tempName).c_str(), fd);
    // The data was flushed above: what the last close could still report
    // was reported there.
    ::close(fd);
    m_native.fd = -1;
    Settle(std::exchange(m_native.slot, -1), false);
    return committed;
}

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
        folder.m_closeReportsNothing = CloseReportsNothing(fd);
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

OutputFolder OutputFolder::Existing(const SystemPath& path)
{
    OutputFolder folder;
    const bool nul = HasNul(path.Text());
    const int fd = nul ? -1 : ::open(path.Text().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        folder.m_error = FileError{FileProblem::System, nul ? EINVAL : errno};
    } else {
        folder.m_native.fd = fd;
        folder.m_closeReportsNothing = CloseReportsNothing(fd);
    }
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

OutputFile OutputFolder::Begin(const SystemPath& path, const FileIdentity& protect, Look look) const
{
    const std::string& name = path.Text();
    OutputFile out;
    if (!Valid()) {
        out.m_error = m_error.problem != FileProblem::None ? m_error : SystemError(EBADF);
        return out;
    }
    if (HasNul(name)) {
        out.m_error = SystemError(EINVAL);
        return out;
    }
    if (name.empty()) {
        // A path that ends in a separator: the folder itself is in the way.
        out.m_error = m_current ? SystemError(ENOENT) : FileError{FileProblem::Folder, 0};
        return out;
    }
    const int dir = m_native.fd;
    out.m_native.folder = dir;
    out.m_native.name = name;
    out.m_native.flush = !m_closeReportsNothing;
    out.m_native.protect = protect;

    // What has the name now decides the output; whatever is not a regular
    // file is looked at, never opened, so its bytes are not touched. An
    // unnamed output may leave the look to its naming, which judges the same.
    if (look == Look::First || !MayStartUnnamed()) {
        struct stat st {};
        if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            out.m_error = InTheWay(st, protect);
            if (out.m_error.problem != FileProblem::None)
                return out;
            out.m_native.replacing = true;
        } else if (errno != ENOENT) {
            out.m_error = SystemError(errno);
            return out;
        }
    }

    // From here until the step settles the interrupt handler leaves the output alone.
    EnterBusy(-1);
    int refusal = 0;
    int fd = CreateUnnamed(dir, refusal);
    if (fd >= 0 || (refusal != 0 && refusal != EOPNOTSUPP && refusal != EISDIR && refusal != EINVAL)) {
        out.m_native.fd = fd;
        out.m_native.unnamed = fd >= 0;
        if (fd < 0)
            out.m_error = SystemError(refusal);
        Settle(-1, false);
        return out;
    }
    Settle(-1, false);

    // Where the file system has no unnamed files, the output is written
    // under a name of its own. Its temporary's name needs no memory taken
    // within the step, where an exception would leave it unsettled.
    out.m_native.tempName.reserve(32);
    EnterBusy(-1);
    fd = CreateNamed(dir, name, protect, out.m_native.replacing, out.m_native.tempName, out.m_error);
    // A folder that takes no new file at all (/proc) says "no such file"
    // for the name it was asked to create; the unnamed file's refusal is
    // the reason that applies.
    if (fd < 0 && refusal == EOPNOTSUPP && out.m_error.problem == FileProblem::System && out.m_error.code == ENOENT)
        out.m_error = SystemError(EOPNOTSUPP);
    out.m_native.fd = fd;
    out.m_native.slot = Claim(dir, out.m_native.tempName.empty() ? name : out.m_native.tempName, fd);
    Settle(out.m_native.slot, true);
    return out;
}

std::uint64_t OutputFile::CopyFrom(const InputFile& file, std::uint64_t pos, std::uint64_t count, bool& usable)
{
    std::uint64_t copied = 0;
#ifdef __linux__
    // One call moves at most this much, so that an interruption is acted on
    // between calls of a fraction of a second.
    constexpr std::size_t kMaxCopy = std::size_t{64} << 20;
    if (!usable || !IsOpen() || m_error.problem != FileProblem::None)
        return 0;
    const int in = file.m_native.fd;
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
