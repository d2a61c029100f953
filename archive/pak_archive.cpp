// Opening an archive and decoding its entry table.
#include "pak_archive.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iterator>
#include <memory>

#include "archive_file.h"
#include "pak_format.h"

const char* const kErrCantOpen = "Error!Can`t open file!\n";
const char* const kErrNotPak = "Error!It`s not Corvane PAK file!\n";
const char* const kErrDamaged = "Error!Damaged Corvane PAK file!\n";

namespace {

// The table and the name area are read in blocks of this size.
constexpr std::size_t kSequentialBlock = 128 * 1024;

// Every open gets a serial number of its own, so that what an extraction
// holds of one archive is never taken for another's bytes.
std::atomic<std::uint64_t> g_lastSerial{0};

std::uint64_t TablePosition(std::uint64_t index)
{
    return kTableOffset + kTableRecordSize * index;   // 64-bit: never wraps
}

// Reads the archive in sequence from a position on, a byte at a time, through
// a buffer of its own: one read by position per block. The end of the file,
// or a read that fails, ends the bytes until the next Seek.
class SequentialReader {
public:
    explicit SequentialReader(const InputFile& file)
        : m_file(file), m_buffer(std::make_unique<unsigned char[]>(kSequentialBlock))
    {
    }

    // Goes to absolute position `pos`; within the block held, without a read.
    void Seek(std::uint64_t pos)
    {
        if (pos >= m_pos && pos - m_pos <= m_end) {
            m_at = static_cast<std::size_t>(pos - m_pos);
        } else {
            m_pos = pos;
            m_at = m_end = 0;
        }
        m_ended = false;
    }

    // The next byte, or EOF.
    int Next()
    {
        if (m_at == m_end && !Fill())
            return EOF;
        return m_buffer[m_at++];
    }

    // The u32 at the current position. Bytes beyond the end of the file read
    // as zero, so a field cut short keeps the bytes that exist as its
    // low-order bytes.
    std::uint32_t Field()
    {
        unsigned char bytes[4] = {};
        for (unsigned char& byte : bytes) {
            const int c = Next();
            if (c == EOF)
                break;
            byte = static_cast<unsigned char>(c);
        }
        return LoadU32(bytes);
    }

private:
    bool Fill()
    {
        if (m_ended)
            return false;
        m_pos += m_end;
        m_at = m_end = 0;
        int code = 0;
        m_file.ReadAt(m_pos, m_buffer.get(), kSequentialBlock, m_end, code);   // a failure reads as the end
        m_ended = m_end == 0;
        return !m_ended;
    }

    const InputFile& m_file;
    std::unique_ptr<unsigned char[]> m_buffer;
    std::uint64_t m_pos = 0;   // the archive position of m_buffer[0]
    std::size_t m_at = 0;
    std::size_t m_end = 0;     // bytes held
    bool m_ended = false;
};

// Reads one record up to its terminator into `buffer` and returns the length
// of its text. Keeps at most kRecordKeep characters; the rest is consumed
// and dropped. End of file ends the record.
std::size_t ReadRawRecord(SequentialReader& reader, char* buffer)
{
    std::size_t length = 0;   // characters in the record, kept or not
    for (;;) {
        int c = reader.Next();
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

// Reads one name record. 0: a file name, now in `target`; 1: a directory
// record, now in `dir` (shared by the entries that take it), `target`
// untouched.
int ReadNameRecord(SequentialReader& reader, std::string& target, SharedText& dir)
{
    char raw[kRecordBuffer];
    const std::size_t length = ReadRawRecord(reader, raw);
    // Texts are stored reversed. A record too short to have position 5 is a
    // directory record.
    if (length > kKindPos && raw[kKindPos] == '.') {
        target.assign(std::make_reverse_iterator(raw + length), std::make_reverse_iterator(raw + kNamePrefix));
        return 0;
    }
    std::reverse(raw, raw + length);
    const std::string_view text(raw, length);
    if (text != dir)
        dir = SharedText(text);
    return 1;
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
    return m_os && m_os->file.IsOpen();
}

int PakArchive::OpenArchive()
{
    return OpenArchive(SystemPath(m_path));
}

int PakArchive::OpenArchive(const SystemPath& path)
{
    m_path = path.Text();
    if (m_os) {
        m_os->file = InputFile();
        m_os->id = FileIdentity{};
    } else {
        m_os = std::make_unique<ArchiveFile>();
    }
    ArchiveFile& os = *m_os;

    FileIdentity identity;
    std::uint64_t length = 0;
    InputFile file = InputFile::Open(path, identity, length);
    if (!file.IsOpen()) {
        m_errorText = kErrCantOpen;
        return 0;
    }

    unsigned char header[kHeaderSize] = {};
    std::size_t got = 0;
    int code = 0;
    if (!file.ReadAt(0, header, sizeof header, got, code)) {
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
    os.file = std::move(file);
    os.id = identity;
    os.length = length;
    os.serial = ++g_lastSerial;
    os.extractor.copyCallUsable = true;
    return 1;
}

void PakArchive::AllocateTable()
{
    // Until the new table exists nothing may pair the old one with this
    // archive: the archive is closed and N is 0 meanwhile, and both come back
    // once the allocation has succeeded.
    const std::uint32_t count = m_numFiles;
    InputFile file;
    if (m_os)
        file = std::move(m_os->file);
    m_numFiles = 0;
    std::vector<PakEntry>().swap(m_table);
    if (count > m_table.max_size())
        throw std::bad_alloc();
    m_table = std::vector<PakEntry>(count);
    m_numFiles = count;
    if (file.IsOpen())
        m_os->file = std::move(file);
}

void PakArchive::LoadTable(ProgressBar& progress)
{
    if (!IsOpen())
        return;
    SequentialReader reader(m_os->file);
    // Never more entries than the table holds.
    const std::uint32_t count =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(m_numFiles, m_table.size()));

    progress.SetRange32(0, AsSigned32(m_numFiles));
    progress.SetPos(0);

    for (std::uint32_t i = 0; i < count; ++i) {
        PakEntry& entry = m_table[i];
        reader.Seek(TablePosition(i));
        entry.size = reader.Field();
        entry.offset = reader.Field();
        progress.SetPos(AsSigned32(i + 1));
    }
    progress.SetPos(0);

    // The name area follows the table and is read strictly in sequence. A
    // directory record applies from the next entry on: the entry keeps the
    // directory that was current before its own records.
    reader.Seek(TablePosition(m_numFiles));
    SharedText dir;   // one text for all the entries of a directory record
    for (std::uint32_t i = 0; i < count; ++i) {
        PakEntry& entry = m_table[i];
        entry.dir = dir;
        entry.name.clear();   // stays empty when no file-name record comes
        if (ReadNameRecord(reader, entry.name, dir) == 1)
            ReadNameRecord(reader, entry.name, dir);
        progress.SetPos(AsSigned32(i));
    }
}
