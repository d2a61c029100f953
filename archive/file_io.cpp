// The file layer on POSIX systems: descriptor-level opens wrapped in stdio streams.
#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <limits>

namespace {

// Archive reads are sequential runs (the table, the name area, neighbouring
// entries); a larger buffer than stdio's default saves system calls.
constexpr std::size_t kReadBufferSize = 128 * 1024;

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

FilePtr OpenForReading(const std::string& path, FileIdentity& identity, std::uint64_t& length)
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
    std::setvbuf(file.get(), nullptr, _IOFBF, kReadBufferSize);
    identity = IdentityOf(st);
    length = static_cast<std::uint64_t>(st.st_size);
    return file;
}

bool SeekTo(std::FILE* file, std::uint64_t pos)
{
    if (pos > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return false;
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
    return OutputFolder(AT_FDCWD);
}

OutputFolder OutputFolder::Subfolder(const std::string& name)
{
    if (HasNul(name))
        return OutputFolder(-1);
    ::mkdir(name.c_str(), 0777);   // may exist already; the open below decides
    return OutputFolder(::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

OutputFolder::OutputFolder(OutputFolder&& other) noexcept : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

OutputFolder& OutputFolder::operator=(OutputFolder&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
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

FilePtr OutputFolder::Create(const std::string& name, const FileIdentity& protect) const
{
    if (!Valid() || HasNul(name))
        return nullptr;
    // No O_TRUNC here: the file is truncated only once it is known not to be
    // the protected one. O_NONBLOCK keeps a planted FIFO from stalling us.
    const int fd = ::openat(m_fd, name.c_str(),
                            O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || SameFile(IdentityOf(st), protect) ||
        (st.st_size != 0 && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        return nullptr;
    }
    FilePtr file(::fdopen(fd, "wb"));
    if (!file)
        ::close(fd);
    return file;
}

void OutputFolder::Remove(const std::string& name) const
{
    if (Valid() && !HasNul(name))
        ::unlinkat(m_fd, name.c_str(), 0);
}
