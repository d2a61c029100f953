// The parts of the file layer that are the same on every system: releasing
// streams and buffers, outputs' ownership, and the seek that skips short gaps
// by reading.
#include "file_io.h"
#include "system_calls.h"

#include <cstdlib>
#include <new>
#include <utility>

namespace {

// Gaps up to this size are skipped by reading through the stream's buffer
// rather than by a seek, which always costs a system call.
constexpr std::uint64_t kSkipByReading = 4096;

} // namespace

bool HasNul(const std::string& text)
{
    return text.find('\0') != std::string::npos;
}

bool SameFile(const FileIdentity& a, const FileIdentity& b)
{
    return a.known && b.known && a.device == b.device && a.inode == b.inode;
}

void FileCloser::operator()(std::FILE* file) const noexcept
{
    std::fclose(file);
}

void BufferFree::operator()(unsigned char* block) const noexcept
{
    std::free(block);
}

BufferPtr AllocateBuffer(std::size_t size)
{
    void* block = AllocateHugeBlock(size);
    if (!block)
        block = std::malloc(size == 0 ? 1 : size);
    if (!block)
        throw std::bad_alloc();
    return BufferPtr(static_cast<unsigned char*>(block));
}

bool SeekTo(std::FILE* file, std::uint64_t pos)
{
    std::uint64_t here = 0;
    if (StreamTell(file, here) && pos >= here && pos - here <= kSkipByReading) {
        std::uint64_t gap = pos - here;
        while (gap > 0 && ReadByte(file) != EOF)
            --gap;
        if (gap == 0) {
            std::clearerr(file);   // as after a seek
            return true;
        }
    }
    return StreamSeek(file, pos);
}

// A moved-from output or folder holds nothing: its Native is a fresh one.

OutputFile::OutputFile(OutputFile&& other) noexcept
    : m_native(std::exchange(other.m_native, Native{})), m_error(other.m_error)
{
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept
{
    if (this != &other) {
        Discard();
        m_native = std::exchange(other.m_native, Native{});
        m_error = other.m_error;
    }
    return *this;
}

OutputFile::~OutputFile()
{
    Discard();
}

OutputFolder::OutputFolder(OutputFolder&& other) noexcept
    : m_native(std::exchange(other.m_native, Native{})), m_current(std::exchange(other.m_current, false)),
      m_identity(other.m_identity), m_error(other.m_error)
{
}

OutputFolder& OutputFolder::operator=(OutputFolder&& other) noexcept
{
    if (this != &other) {
        Close();
        m_native = std::exchange(other.m_native, Native{});
        m_current = std::exchange(other.m_current, false);
        m_identity = other.m_identity;
        m_error = other.m_error;
    }
    return *this;
}

OutputFolder::~OutputFolder()
{
    Close();
}
