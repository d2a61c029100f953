// An archive like an original one: the original's head read byte for byte,
// and its entries matched with the files extraction wrote them to.
#include "pak_writer.h"

#include "archive_file.h"
#include "folder_walk.h"
#include "pak_format.h"

#include <algorithm>
#include <map>
#include <memory>

namespace {

// The bytes of `file` from its start, read by position in blocks: what the
// head is read from, a byte at a time.
class HeadReader {
public:
    explicit HeadReader(const InputFile& file) : m_file(file) {}

    // The next byte, or -1 at the end of the file or when a read failed.
    int Next()
    {
        if (m_at == m_held) {
            if (m_failed)
                return -1;
            int code = 0;
            std::size_t got = 0;
            m_failed = !m_file.ReadAt(m_pos, m_block, sizeof m_block, got, code);
            m_pos += got;
            m_at = 0;
            m_held = got;
            if (got == 0)
                return -1;
        }
        return m_block[m_at++];
    }

    bool Failed() const { return m_failed; }

private:
    const InputFile& m_file;
    unsigned char m_block[64 * 1024];
    std::uint64_t m_pos = 0;
    std::size_t m_at = 0;
    std::size_t m_held = 0;
    bool m_failed = false;
};

// Reads one name record as the reader does, appending its bytes (its NUL
// too) to `head`. Whether it is a file-name record; `atEnd` becomes true when
// the end of the file ended it.
bool ReadRecord(HeadReader& file, std::string& head, bool& atEnd)
{
    std::size_t length = 0;
    bool dot = false;
    for (;;) {
        const int c = file.Next();
        if (c < 0) {
            atEnd = true;
            break;
        }
        head.push_back(static_cast<char>(c));
        if (c == 0 && length >= kFirstTerminatorPos)
            break;
        if (length == kKindPos)
            dot = c == '.';
        ++length;
    }
    return length > kKindPos && dot;
}

// The header, the table and the name records as LoadTable reads them: a
// directory record is followed by one more record in the same entry's turn.
bool ReadHead(const InputFile& file, std::uint32_t numFiles, std::string& head, bool& namesRunToEnd)
{
    const std::uint64_t tableEnd = kTableOffset + kTableRecordSize * numFiles;
    auto reader = std::make_unique<HeadReader>(file);
    head.clear();
    head.reserve(static_cast<std::size_t>(tableEnd));
    for (std::uint64_t i = 0; i < tableEnd; ++i) {
        const int c = reader->Next();
        if (c < 0)
            return false;
        head.push_back(static_cast<char>(c));
    }
    namesRunToEnd = false;
    for (std::uint32_t i = 0; i < numFiles; ++i) {
        if (!ReadRecord(*reader, head, namesRunToEnd))
            ReadRecord(*reader, head, namesRunToEnd);
    }
    return !reader->Failed();
}

// The file that extraction writes an entry of `dir` and `name` to, as a key
// to compare as the system compares names (letter case folded on Windows);
// empty when extraction refuses the name. Applied to the folder's files as
// well, whose names on disk it leaves as they are.
std::string ExtractedFileKey(const std::string& dir, const std::string& name)
{
    return OutputFileKey(PakEntry{dir, name, 0, 0});
}

} // namespace

int ReadPakOriginal(const SystemPath& path, PakOriginal& original, std::string& error)
{
    // The head through a stream of its own, then the table through the
    // reader; the file has to be the same one for both.
    FileIdentity identity;
    std::uint64_t length = 0;
    FileError openError;
    const InputFile file = OpenInput(path, identity, length, openError);
    PakArchive archive;
    if (!file.IsOpen() || archive.OpenArchive(path) == 0) {
        error = file.IsOpen() ? archive.m_errorText : kErrCantOpen;
        return 0;
    }
    PakOriginal read;
    read.path = path;
    read.dataStart = archive.m_dataStart;
    read.archiveSize = archive.m_archiveSize;
    read.length = length;
    read.device = identity.device;
    read.index = identity.inode;
    read.known = identity.known;
    FileIdentity still;
    if (!ReadHead(file, archive.m_numFiles, read.head, read.namesRunToEnd) || !IdentityOfFile(path, still) ||
        (identity.known && !SameFile(identity, still)) ||
        LoadU32(reinterpret_cast<const unsigned char*>(read.head.data()) + kNumFilesAt) != archive.m_numFiles) {
        error = kErrCantOpen;
        return 0;
    }
    archive.AllocateTable();
    NoProgress progress;
    archive.LoadTable(progress);
    read.entries = std::move(archive.m_table);
    original = std::move(read);
    return 1;
}

PakLike MatchPakLike(const PakOriginal& original, const PakTree& listing)
{
    PakLike like;
    like.extra = listing.refusals;
    std::map<std::string, std::size_t> files;   // key -> listing.inputs index
    for (std::size_t j = 0; j < listing.inputs.size(); ++j) {
        const PakInput& file = listing.inputs[j];
        if (!files.emplace(ExtractedFileKey(file.dir, file.name), j).second)
            like.extra.push_back({PakPath(file.dir, file.name), PakRule::NotInOriginal});
    }

    // The last entry that extraction writes to a file leaves it its bytes.
    const std::size_t count = original.entries.size();
    std::vector<std::string> keys(count);
    std::map<std::string, std::size_t> lastWriter;
    for (std::size_t i = 0; i < count; ++i) {
        const PakEntry& entry = original.entries[i];
        const std::uint32_t start = original.dataStart + entry.offset;   // wraps, as the reader's
        if (start < original.archiveSize)
            keys[i] = ExtractedFileKey(entry.dir, entry.name);
        if (!keys[i].empty())
            lastWriter[keys[i]] = i;
    }

    std::vector<bool> used(listing.inputs.size(), false);
    like.inputs.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const PakEntry& entry = original.entries[i];
        PakRule rule = PakRule::None;
        const auto file = keys[i].empty() ? files.end() : files.find(keys[i]);
        if (keys[i].empty())
            rule = PakRule::NotExtracted;
        else if (lastWriter[keys[i]] != i)
            rule = PakRule::FileOfLaterEntry;
        else if (file == files.end())
            rule = PakRule::NoFileInFolder;
        PakInput input;
        if (rule == PakRule::None) {
            input = listing.inputs[file->second];
            used[file->second] = true;
        } else {
            like.missing.push_back({PakPath(entry.dir, entry.name), rule});
            input.fromOriginal = true;
            input.size = entry.size;
            input.originalStart = std::uint32_t{original.dataStart + entry.offset};
        }
        input.dir = entry.dir;
        input.name = entry.name;
        like.inputs.push_back(std::move(input));
    }
    for (const auto& [key, j] : files) {
        if (!used[j])
            like.extra.push_back({PakPath(listing.inputs[j].dir, listing.inputs[j].name), PakRule::NotInOriginal});
    }
    std::sort(like.extra.begin(), like.extra.end(),
              [](const PakRefusal& a, const PakRefusal& b) { return a.path < b.path; });
    return like;
}
