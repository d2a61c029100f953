// The file layer on POSIX systems: descriptor-level opens wrapped in stdio streams.
#include "file_io.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <new>

namespace {

// Gaps up to this size are skipped by reading through the stream's buffer
// rather than by a seek, which always costs a system call.
constexpr std::uint64_t kSkipByReading = 4096;

bool HasNul(const std::string& text)
{
    return text.find('\0') != std::string::npos;
}

FileIdentity IdentityOf(const struct stat& st)
{
    FileIdentity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.known = true;
    return id;
}

bool SameFile(const FileIdentity& a, const FileIdentity& b)
{
    return a.known && b.known && a.device == b.device && a.inode == b.inode;
}

} // namespace

void FileCloser::operator()(std::FILE* file) const noexcept
{
    std::fclose(file);
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

void BufferFree::operator()(unsigned char* block) const noexcept
{
    std::free(block);
}

BufferPtr AllocateBuffer(std::size_t size)
{
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    void* block = nullptr;
    if (size >= kHugePage) {
        const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
        if (rounded < size || ::posix_memalign(&block, kHugePage, rounded) != 0)
            throw std::bad_alloc();
        ::madvise(block, rounded, MADV_HUGEPAGE);   // a hint; failure changes nothing
    } else {
        block = std::malloc(size == 0 ? 1 : size);
        if (!block)
            throw std::bad_alloc();
    }
    return BufferPtr(static_cast<unsigned char*>(block));
}

bool SeekTo(std::FILE* file, std::uint64_t pos)
{
    if (pos > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return false;
    const off_t here = ::ftello(file);
    if (here >= 0 && pos >= static_cast<std::uint64_t>(here) && pos - static_cast<std::uint64_t>(here) <= kSkipByReading) {
        std::uint64_t gap = pos - static_cast<std::uint64_t>(here);
        while (gap > 0 && getc_unlocked(file) != EOF)
            --gap;
        if (gap == 0) {
            std::clearerr(file);   // as after a seek
            return true;
        }
    }
    return ::fseeko(file, static_cast<off_t>(pos), SEEK_SET) == 0;
}

std::size_t ReadBlock(std::FILE* file, void* buffer, std::size_t count, bool& failed)
{
    std::clearerr(file);
    const std::size_t got = std::fread(buffer, 1, count, file);
    failed = got < count && std::ferror(file) != 0;
    return got;
}

bool CloseChecked(FilePtr file)
{
    std::FILE* raw = file.release();
    const bool clean = std::ferror(raw) == 0;
    const bool flushed = std::fflush(raw) == 0;
    const bool closed = std::fclose(raw) == 0;
    return clean && flushed && closed;
}

OutputFolder OutputFolder::Current()
{
    return OutputFolder(AT_FDCWD, FileIdentity{});
}

OutputFolder OutputFolder::Subfolder(const std::string& name)
{
    if (HasNul(name))
        return OutputFolder();
    ::mkdir(name.c_str(), 0777);   // may exist already; the open below decides
    const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0)
            ::close(fd);
        return OutputFolder();
    }
    return OutputFolder(fd, IdentityOf(st));
}

OutputFolder OutputFolder::Existing(const std::string& path)
{
    if (HasNul(path))
        return OutputFolder();
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd < 0 ? OutputFolder() : OutputFolder(fd, FileIdentity{});
}

OutputFolder::OutputFolder(OutputFolder&& other) noexcept : m_fd(other.m_fd), m_identity(other.m_identity)
{
    other.m_fd = -1;
}

OutputFolder& OutputFolder::operator=(OutputFolder&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
        m_identity = other.m_identity;
        other.m_fd = -1;
    }
    return *this;
}

OutputFolder::~OutputFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool OutputFolder::Valid() const
{
    return m_fd == AT_FDCWD || m_fd >= 0;
}

bool OutputFolder::IsStill(const std::string& name) const
{
    struct stat st {};
    return m_fd >= 0 && !HasNul(name) && ::fstatat(AT_FDCWD, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISDIR(st.st_mode) && SameFile(IdentityOf(st), m_identity);
}

FilePtr OutputFolder::Create(const std::string& name, const FileIdentity& protect) const
{
    if (!Valid() || HasNul(name))
        return nullptr;
    constexpr int kFlags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
    // A file made just now is new and regular: nothing more to check.
    int fd = ::openat(m_fd, name.c_str(), kFlags | O_EXCL, 0666);
    if (fd < 0 && errno == EEXIST) {
        // Something is there already. No O_TRUNC: it is truncated only once
        // it is known to be a regular file other than the protected one.
        // O_NONBLOCK keeps a planted FIFO from stalling the open.
        fd = ::openat(m_fd, name.c_str(), kFlags | O_NONBLOCK, 0666);
        struct stat st {};
        if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || SameFile(IdentityOf(st), protect) ||
                        (st.st_size != 0 && ::ftruncate(fd, 0) != 0))) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0)
        return nullptr;
    FilePtr file(::fdopen(fd, "wb"));
    if (!file) {
        ::close(fd);
        return nullptr;
    }
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    return file;
}

void OutputFolder::Remove(const std::string& name) const
{
    if (Valid() && !HasNul(name))
        ::unlinkat(m_fd, name.c_str(), 0);
}
