// The parts of the file layer that are the same on every system: outputs'
// ownership, and the seek that skips short gaps by reading.
#include "file_io.h"
#include "common.h"

#include <utility>

namespace {

// Gaps up to this size are skipped by reading through the stream's buffer
// rather than by a seek, which always costs a system call.
constexpr std::uint64_t kSkipByReading = 4096;

} // namespace

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

OutputFile::OutputFile(OutputFile&& other) noexcept
    : m_handle(other.m_handle), m_folder(other.m_folder), m_folderPath(std::move(other.m_folderPath)),
      m_name(std::move(other.m_name)), m_tempName(std::move(other.m_tempName)), m_error(other.m_error)
{
    other.m_handle = kNoHandle;
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept
{
    if (this != &other) {
        Discard();
        m_handle = other.m_handle;
        m_folder = other.m_folder;
        m_folderPath = std::move(other.m_folderPath);
        m_name = std::move(other.m_name);
        m_tempName = std::move(other.m_tempName);
        m_error = other.m_error;
        other.m_handle = kNoHandle;
    }
    return *this;
}

OutputFile::~OutputFile()
{
    Discard();
}

