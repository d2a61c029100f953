// Copying one entry of the loaded table out to a file of its own.
#include "pak_archive.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kWritten = 0;
constexpr int kOutsideArchive = -1;
constexpr int kCantWrite = -3;

constexpr char kPathSeparator = '/';

// A copy buffer up to this size is kept for the next entry; a larger one is
// released at once so that one huge entry doesn't pin its memory.
constexpr std::size_t kRetainedBufferLimit = std::size_t{128} << 20;

// Decoded texts may hold the separator; on disk each stays one path component.
std::string OnePathComponent(const std::string& text)
{
    std::string safe = text;
    std::replace(safe.begin(), safe.end(), kPathSeparator, '_');
    return safe;
}

bool IsDotComponent(const std::string& text)
{
    return text == "." || text == "..";
}

} // namespace

int PakArchive::ExtractEntry(std::uint32_t index)
{
    if (!m_file || index >= m_numFiles || index >= m_table.size())
        return kCantWrite;
    const PakEntry& entry = m_table[index];
    const std::uint32_t start = m_dataStart + entry.offset;   // wraps on purpose
    if (start >= m_archiveSize)
        return kOutsideArchive;

    const std::string dir = OnePathComponent(entry.dir);
    const std::string name = OnePathComponent(entry.name);
    if (name.empty() || IsDotComponent(name) || IsDotComponent(dir))
        return kCantWrite;

    // The buffer comes first: when it can't be had, nothing is created.
    unsigned char* buffer = CopyBuffer(entry.size);
    const int result = CopyOut(entry, dir, name, buffer);
    if (m_copyCapacity > kRetainedBufferLimit) {
        m_copyBuffer.reset();
        m_copyCapacity = 0;
    }
    return result;
}

unsigned char* PakArchive::CopyBuffer(std::uint32_t size)
{
    if (size > m_copyCapacity || !m_copyBuffer) {
        m_copyBuffer.reset();   // the old one goes first: never both at once
        m_copyCapacity = 0;
        m_copyBuffer = AllocateBuffer(size);
        m_copyCapacity = size;
    }
    return m_copyBuffer.get();
}

int PakArchive::CopyOut(const PakEntry& entry, const std::string& dir, const std::string& name,
                        unsigned char* buffer)
{
    // Read before anything is created, so a failed read leaves nothing behind.
    const std::uint32_t start = m_dataStart + entry.offset;
    bool failed = false;
    std::size_t got = 0;
    if (entry.size > 0) {
        if (!SeekTo(m_file.get(), start))
            return kCantWrite;
        got = ReadBlock(m_file.get(), buffer, entry.size, failed);
        if (failed)
            return kCantWrite;
    }
    // Bytes beyond the real end of the archive are written as zeros.
    std::memset(buffer + got, 0, entry.size - got);

    m_outPath = dir.empty() ? name : dir + kPathSeparator + name;
    const OutputFolder current = OutputFolder::Current();
    if (!dir.empty() && !(dir == m_outFolderName && m_outFolder.IsStill(dir))) {
        m_outFolder = OutputFolder::Subfolder(dir);
        m_outFolderName = m_outFolder.Valid() ? dir : std::string();
    }
    const OutputFolder& folder = dir.empty() ? current : m_outFolder;
    FilePtr out = folder.Create(name, m_fileId);
    if (!out)
        return kCantWrite;
    const bool written = std::fwrite(buffer, 1, entry.size, out.get()) == entry.size;
    if (!CloseChecked(std::move(out)) || !written) {
        folder.Remove(name);   // never leave a file that looks complete but isn't
        return kCantWrite;
    }
    return kWritten;
}
