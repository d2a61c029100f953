// An archive like an original one: the original's head read byte for byte,
// and its entries matched with the files extraction wrote them to.
#include "pak_writer.h"

#include "archive_file.h"
#include "folder_walk.h"
#include "pak_format.h"

#include <algorithm>
#include <map>

namespace {

// Reads one name record from `file` as the reader does, appending its bytes
// (its NUL too) to `head`. Whether it is a file-name record; `atEnd` becomes
// true when the end of the file ended it.
bool ReadRecord(std::FILE* file, std::string& head, bool& atEnd)
{
    std::size_t length = 0;
    bool dot = false;
    for (;;) {
        const int c = ReadByte(file);
        if (c == EOF) {
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
bool ReadHead(std::FILE* file, std::uint32_t numFiles, std::string& head, bool& namesRunToEnd)
{
    const std::uint64_t tableEnd = kTableOffset + kTableRecordSize * numFiles;
    head.resize(static_cast<std::size_t>(tableEnd));
    bool failed = false;
    if (!SeekTo(file, 0) || ReadBlock(file, &head[0], head.size(), failed) != head.size())
        return false;
    namesRunToEnd = false;
    for (std::uint32_t i = 0; i < numFiles; ++i) {
        if (!ReadRecord(file, head, namesRunToEnd))
            ReadRecord(file, head, namesRunToEnd);
    }
    return !std::ferror(file);
}

bool IsDotComponent(const std::string& text)
{
    return text == "." || text == "..";
}

// The file that extraction writes an entry of `dir` and `name` to, as a key
// to compare: the names as written on disk, joined by '/', which no name
// on disk holds; empty when extraction refuses the name. Applied to the
// folder's files as well, whose names on disk it leaves as they are.
std::string ExtractedFileKey(const std::string& dir, const std::string& name)
{
    if (name.empty() || IsDotComponent(name) || IsDotComponent(dir))
        return std::string();
    const std::string file = DiskName(name);
    return dir.empty() ? file : DiskName(dir) + '/' + file;
}

} // namespace

int ReadPakOriginal(const SystemPath& path, PakOriginal& original, std::string& error)
{
    // The head through a stream of its own, then the table through the
    // reader; the file has to be the same one for both.
    FileIdentity identity;
    std::uint64_t length = 0;
    FileError openError;
    const FilePtr file = OpenInput(path, identity, length, openError);
    PakArchive archive;
    if (!file || archive.OpenArchive(path) == 0) {
        error = file ? archive.m_errorText : kErrCantOpen;
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
    if (!ReadHead(file.get(), archive.m_numFiles, read.head, read.namesRunToEnd) || !IdentityOfFile(path, still) ||
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
