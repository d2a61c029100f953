// Opening an archive and decoding its entry table.
#include "pak_archive.h"

#include <algorithm>
#include <iterator>

#include "archive_file.h"
#include "pak_format.h"

const char* const kErrCantOpen = "Error!Can`t open file!\n";
const char* const kErrNotPak = "Error!It`s not Corvane PAK file!\n";
const char* const kErrDamaged = "Error!Damaged Corvane PAK file!\n";

namespace {

// Reads the u32 at `pos`. Bytes beyond the end of the file read as zero, so a
// field cut short keeps the bytes that exist as its low-order bytes.
std::uint32_t ReadFieldAt(std::FILE* file, std::uint64_t pos)
{
    unsigned char bytes[4] = {};
    bool failed = false;
    if (SeekTo(file, pos))
        ReadBlock(file, bytes, sizeof bytes, failed);
    return LoadU32(bytes);
}

std::uint64_t TablePosition(std::uint64_t index)
{
    return kTableOffset + kTableRecordSize * index;   // 64-bit: never wraps
}

} // namespace

bool IsEntryInRange(const PakEntry& entry, std::uint32_t dataStart, std::uint32_t archiveSize)
{
    const std::uint32_t start = dataStart + entry.offset;   // wraps on purpose
    const std::uint32_t end = entry.size + entry.offset + dataStart;
    return !(start > archiveSize || entry.offset > archiveSize || end > archiveSize);
}

PakArchive::PakArchive() noexcept = default;
PakArchive::PakArchive(PakArchive&& other) noexcept = default;
PakArchive& PakArchive::operator=(PakArchive&& other) noexcept = default;
PakArchive::~PakArchive() = default;

bool PakArchive::IsOpen() const
{
    return m_os && m_os->m_file;
}

int PakArchive::OpenArchive()
{
    return OpenArchive(SystemPath(m_path));
}

int PakArchive::OpenArchive(const SystemPath& path)
{
    m_path = path.Text();
    if (m_os) {
        m_os->m_file.reset();
        m_os->m_fileId = FileIdentity{};
    } else {
        m_os = std::make_unique<ArchiveFile>();
    }
    ArchiveFile& os = *m_os;

    FileIdentity identity;
    std::uint64_t length = 0;
    if (!os.m_readBuffer)
        os.m_readBuffer.reset(new char[kReadBufferSize]);
    FilePtr file = OpenForReading(path, os.m_readBuffer.get(), identity, length);
    if (!file) {
        m_errorText = kErrCantOpen;
        return 0;
    }

    unsigned char header[kHeaderSize] = {};
    bool failed = false;
    const std::size_t got = SeekTo(file.get(), 0) ? ReadBlock(file.get(), header, sizeof header, failed) : 0;
    if (failed) {
        m_errorText = kErrCantOpen;
        return 0;
    }
    if (got < 4 || LoadU32(header) != kSignature) {
        m_errorText = kErrNotPak;
        return 0;
    }
    // The header and the whole table must be in the file. This also bounds
    // the table's allocation by what the file can describe.
    const std::uint32_t numFiles = LoadU32(header + kNumFilesAt);
    if (got < kHeaderSize || length < TablePosition(numFiles)) {
        m_errorText = kErrDamaged;
        return 0;
    }

    m_numFiles = numFiles;
    m_dataStart = LoadU32(header + kDataStartAt);
    m_archiveSize = LoadU32(header + kArchiveSizeAt);
    os.m_file = std::move(file);
    os.m_fileId = identity;
    os.m_fileLength = length;
    os.m_copyCallUsable = true;
    return 1;
}

void PakArchive::AllocateTable()
{
    // Until the new table exists nothing may pair the old one with this
    // archive: the archive is closed and N is 0 meanwhile, and both come back
    // once the allocation has succeeded.
    const std::uint32_t count = m_numFiles;
    FilePtr file;
    if (m_os)
        file = std::move(m_os->m_file);
    m_numFiles = 0;
    std::vector<PakEntry>().swap(m_table);
    if (count > m_table.max_size())
        throw std::bad_alloc();
    m_table = std::vector<PakEntry>(count);
    m_numFiles = count;
    if (file)
        m_os->m_file = std::move(file);
}

void PakArchive::LoadTable(ProgressBar& progress)
{
    if (!IsOpen())
        return;
    std::FILE* file = m_os->m_file.get();
    // Never more entries than the table holds.
    const std::uint32_t count =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(m_numFiles, m_table.size()));

    progress.SetRange32(0, AsSigned32(m_numFiles));
    progress.SetPos(0);

    for (std::uint32_t i = 0; i < count; ++i) {
        PakEntry& entry = m_table[i];
        entry.size = ReadFieldAt(file, TablePosition(i));
        entry.offset = ReadFieldAt(file, TablePosition(i) + kRecordOffsetField);
        progress.SetPos(AsSigned32(i + 1));
    }
    progress.SetPos(0);

    // The name area follows the table and is read strictly in sequence. A
    // directory record applies from the next entry on: the entry keeps the
    // directory that was current before its own records.
    SeekTo(file, TablePosition(m_numFiles));
    SharedText dir;   // one text for all the entries of a directory record
    for (std::uint32_t i = 0; i < count; ++i) {
        PakEntry& entry = m_table[i];
        entry.dir = dir;
        entry.name.clear();   // stays empty when no file-name record comes
        if (ReadNameRecord(entry.name, dir) == 1)
            ReadNameRecord(entry.name, dir);
        progress.SetPos(AsSigned32(i));
    }
}

int PakArchive::ReadNameRecord(std::string& target, SharedText& dir)
{
    char raw[kRecordBuffer];
    const std::size_t length = ReadRawRecord(raw);
    // Texts are stored reversed. A record too short to have position 5 is a
    // directory record.
    if (length > kKindPos && raw[kKindPos] == '.') {
        target.assign(std::make_reverse_iterator(raw + length),
                      std::make_reverse_iterator(raw + kNamePrefix));
        return 0;
    }
    std::reverse(raw, raw + length);
    const std::string_view text(raw, length);
    if (text != dir)
        dir = SharedText(text);
    return 1;
}

std::size_t PakArchive::ReadRawRecord(char* buffer)
{
    std::FILE* file = m_os->m_file.get();
    std::size_t length = 0;   // characters in the record, kept or not
    for (;;) {
        int c = ReadByte(file);
        if (c == EOF)
            break;
        if (c == 0) {
            if (length >= kFirstTerminatorPos)
                break;
            c = 'f';
        } else if (c == '\\') {
            c = '_';   // a backslash never acts as a path separator
        }
        if (length < kRecordKeep)
            buffer[length] = static_cast<char>(c);
        ++length;
    }
    const std::size_t kept = std::min(length, kRecordKeep);
    buffer[kept] = '\0';
    return kept;
}
