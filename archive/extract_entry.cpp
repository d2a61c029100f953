// Copying one entry of the loaded table out to a file of its own.
#include "pak_archive.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <unordered_map>

#include "archive_file.h"
#include "program_support.h"

namespace {

// An entry is copied in blocks of at most this size, so the memory it takes
// doesn't grow with it; the buffer is kept for the next entry.
constexpr std::size_t kCopyBlock = std::size_t{2} << 20;

// A small entry is read together with at least this much of what follows
// it, so that the entries after it usually need no read of their own.
constexpr std::size_t kReadAhead = 128 * 1024;

bool IsDotComponent(std::string_view text)
{
    return text == "." || text == "..";
}

ExtractProblem ProblemOf(FileProblem problem)
{
    switch (problem) {
    case FileProblem::None: return ExtractProblem::None;
    case FileProblem::Link: return ExtractProblem::LinkInTheWay;
    case FileProblem::Folder: return ExtractProblem::FolderInTheWay;
    case FileProblem::NotFolder: return ExtractProblem::FileInTheWay;
    case FileProblem::NotRegular: return ExtractProblem::NotRegularInTheWay;
    case FileProblem::Protected: return ExtractProblem::IsTheArchive;
    case FileProblem::System: return ExtractProblem::SystemError;
    }
    return ExtractProblem::SystemError;
}

// Makes sure the state's buffer holds at least `size` bytes. A new buffer
// holds nothing of any archive yet.
unsigned char* Buffer(ExtractorState& state, std::size_t size)
{
    if (size > state.capacity || !state.buffer) {
        state.windowSerial = 0;
        state.buffer.reset();   // the old one goes first: never both at once
        state.capacity = 0;
        state.buffer = AllocateBuffer(size);
        state.capacity = size;
    }
    return state.buffer.get();
}

// Finds the `held` bytes at `pos` (at most kCopyBlock) in what the state's
// buffer holds of `archive`, or reads them with what follows. `bytes` points
// at them; `got` is fewer than `held` where the file ends sooner. False when
// the read failed, with errno's reason in `code`.
bool EntryBytes(const ArchiveFile& archive, std::uint64_t pos, std::size_t held, ExtractorState& state,
                const unsigned char*& bytes, std::size_t& got, int& code)
{
    if (state.windowSerial == archive.serial && pos >= state.windowPos &&
        pos + held <= state.windowPos + state.windowGot) {
        bytes = state.buffer.get() + (pos - state.windowPos);
        got = held;
        return true;
    }
    const std::size_t want = std::max(held, kReadAhead);
    unsigned char* buffer = Buffer(state, want);
    state.windowSerial = 0;   // nothing is held until the read has succeeded
    std::size_t read = 0;
    if (!archive.file.ReadAt(pos, buffer, want, read, code))
        return false;
    state.windowSerial = archive.serial;
    state.windowPos = pos;
    state.windowGot = read;
    bytes = buffer;
    got = std::min(read, held);
    return true;
}

// Writes `entry` to folder `dir`, file `name`: its first `held` bytes from the
// archive at `pos`, then zeros.
ExtractFailure CopyOut(const ArchiveFile& archive, const PakEntry& entry, std::uint64_t pos, std::uint64_t held,
                       const std::string& dir, std::string name, ExtractorState& state)
{
    // An entry of one block is read before anything is created, so a failed
    // read leaves nothing behind; a larger one is copied once its output is
    // open, and a failed read drops that output. The buffer comes first:
    // when it can't be had, nothing is created.
    const bool oneBlock = held <= kCopyBlock;
    const unsigned char* bytes = nullptr;
    std::size_t got = 0;
    int readError = 0;
    if (!oneBlock)
        Buffer(state, kCopyBlock);
    else if (held > 0 && !EntryBytes(archive, pos, static_cast<std::size_t>(held), state, bytes, got, readError))
        return ExtractFailure{ExtractProblem::ReadFailed, readError};

    const OutputFolder current = OutputFolder::Current();
    if (!dir.empty() && !(dir == state.folderName && state.folder.StillNamedBy(dir))) {
        state.folder = OutputFolder::Subfolder(dir);
        state.folderName = state.folder.Valid() ? dir : std::string();
    }
    const OutputFolder& folder = dir.empty() ? current : state.folder;
    if (!folder.Valid())
        return FailureOf(folder.Error());
    // A new name saves a look when the naming finds out instead; an entry
    // of more than one block is not copied only to be refused.
    OutputFile out = folder.Begin(SystemPath(std::move(name)), archive.id,
                                  oneBlock ? OutputFolder::Look::AtCommit : OutputFolder::Look::First);
    if (!out.IsOpen())
        return FailureOf(out.Error());

    std::uint64_t written = got;
    bool complete = got == 0 || out.Write(bytes, got);
    if (!oneBlock) {
        // The system's copy call, where it has one, copies what it can; the
        // rest goes block by block through the buffer, which then holds
        // nothing of the archive to find again. The archive ending (a file
        // cut short since it was opened) ends the copy.
        unsigned char* buffer = state.buffer.get();
        state.windowSerial = 0;
        bool more = true;
        while (complete && more && written < held) {
            written += out.CopyFrom(archive.file, pos + written, held - written, state.copyCallUsable);
            const std::size_t block = static_cast<std::size_t>(std::min<std::uint64_t>(held - written, kCopyBlock));
            if (block == 0)
                break;
            if (!archive.file.ReadAt(pos + written, buffer, block, got, readError))
                return ExtractFailure{ExtractProblem::ReadFailed, readError};   // `out` goes with it
            complete = got == 0 || out.Write(buffer, got);
            written += got;
            more = got == block;
        }
    }
    // Bytes beyond the real end of the archive (a file cut short, or a size
    // it never held) are zeros.
    complete = complete && (written == entry.size || out.ExtendTo(entry.size));
    if (!complete || !out.Commit())
        return FailureOf(out.Error());   // nothing of it is left, an old file is intact
    return ExtractFailure{};
}

} // namespace

std::string ExtractFailureText(const ExtractFailure& failure)
{
    switch (failure.problem) {
    case ExtractProblem::None: return "written";
    case ExtractProblem::NoSuchEntry: return "no such entry in the loaded table";
    case ExtractProblem::OutsideArchive: return "starts at or beyond the declared archive size";
    case ExtractProblem::NameRefused: return "its name is empty, \".\" or \"..\"";
    case ExtractProblem::LinkInTheWay: return "a symbolic link is in the way";
    case ExtractProblem::FolderInTheWay: return "a folder is in the way";
    case ExtractProblem::FileInTheWay: return "a file is where its folder should be";
    case ExtractProblem::NotRegularInTheWay: return "a file that is not a regular file is in the way";
    case ExtractProblem::IsTheArchive: return "it would overwrite the archive itself";
    case ExtractProblem::ReadFailed: return std::string("the archive can't be read: ") + std::strerror(failure.systemCode);
    case ExtractProblem::SystemError: return SystemErrorText(failure.systemCode);
    }
    return "unknown";
}

ExtractFailure FailureOf(const FileError& error)
{
    return ExtractFailure{ProblemOf(error.problem), error.code};
}

std::string OutputFileKey(const PakEntry& entry)
{
    if (entry.name.empty() || IsDotComponent(entry.name) || IsDotComponent(entry.dir))
        return std::string();
    const std::string name = SameNameKey(DiskName(entry.name));
    // No name on disk holds the separator, so the joined key is unambiguous.
    return entry.dir.empty() ? name : SameNameKey(DiskName(entry.dir)) + '/' + name;
}

int ExtractResult(const ExtractFailure& failure)
{
    switch (failure.problem) {
    case ExtractProblem::None: return 0;
    case ExtractProblem::OutsideArchive: return -1;
    default: return -3;
    }
}

Extractor::Extractor() noexcept = default;
Extractor::Extractor(Extractor&& other) noexcept = default;
Extractor& Extractor::operator=(Extractor&& other) noexcept = default;
Extractor::~Extractor() = default;

ExtractFailure PakArchive::ExtractEntryWith(std::uint32_t index, Extractor& extractor) const
{
    if (!extractor.m_state)
        extractor.m_state = std::make_unique<ExtractorState>();
    return Extract(index, *extractor.m_state);
}

int PakArchive::ExtractEntry(std::uint32_t index)
{
    m_extractFailure = ExtractFailure{};
    m_extractFailure = m_os ? Extract(index, m_os->extractor) : ExtractFailure{ExtractProblem::NoSuchEntry, 0};
    return ExtractResult(m_extractFailure);
}

ExtractFailure PakArchive::Extract(std::uint32_t index, ExtractorState& state) const
{
    if (!IsOpen() || index >= m_numFiles || index >= m_table.size())
        return ExtractFailure{ExtractProblem::NoSuchEntry, 0};
    const PakEntry& entry = m_table[index];
    const std::uint32_t start = m_dataStart + entry.offset;   // wraps on purpose
    if (start >= m_archiveSize)
        return ExtractFailure{ExtractProblem::OutsideArchive, 0};
    if (entry.name.empty() || IsDotComponent(entry.name) || IsDotComponent(entry.dir))
        return ExtractFailure{ExtractProblem::NameRefused, 0};
    // Decoded texts may hold the separator; on disk each stays one path component.
    const std::string dir = entry.dir.empty() ? std::string() : DiskName(entry.dir);

    // Only the bytes the file holds from the start are read; the rest of the
    // declared size is zeros, which the output gets by being extended. They
    // pass through one buffer of at most kCopyBlock bytes.
    const ArchiveFile& archive = *m_os;
    const std::uint64_t held =
        start < archive.length ? std::min<std::uint64_t>(entry.size, archive.length - start) : 0;
    return CopyOut(archive, entry, start, held, dir, DiskName(entry.name), state);
}

std::vector<std::uint32_t> PakArchive::ExtractionGroups(const std::vector<std::uint32_t>& indices,
                                                        std::uint32_t most) const
{
    // An entry writes its folder, or at the top its file: the first name on
    // its path decides its group. Entries outside the table write nothing.
    // Only `most` names are held, however many folders the archive names.
    most = std::max<std::uint32_t>(most, 1);
    std::vector<std::uint32_t> groupOf(indices.size());
    std::unordered_map<std::string, std::uint32_t> byKey;
    bool shortNames = false;
    const SharedText* lastDir = nullptr;   // a directory record's entries share its text
    std::uint32_t lastGroup = 0;
    for (std::size_t place = 0; place < indices.size(); ++place) {
        const std::uint32_t index = indices[place];
        const PakEntry* entry = index < m_table.size() ? &m_table[index] : nullptr;
        if (!(entry && lastDir && !entry->dir.empty() && entry->dir == *lastDir)) {
            std::string key;
            if (entry) {
                key = SameFileKey(DiskName(entry->dir.empty() ? entry->name : std::string(entry->dir)));
                shortNames = shortNames || key.find('~') != std::string::npos;
            }
            const auto found = byKey.find(key);
            if (found != byKey.end()) {
                lastGroup = found->second;
            } else if (byKey.size() < most) {
                lastGroup = static_cast<std::uint32_t>(byKey.size());
                byKey.emplace(std::move(key), lastGroup);
            } else {
                lastGroup = static_cast<std::uint32_t>(std::hash<std::string>()(key) % most);
            }
            lastDir = entry && !entry->dir.empty() ? &entry->dir : nullptr;
        }
        groupOf[place] = lastGroup;
    }
    if (shortNames)
        std::fill(groupOf.begin(), groupOf.end(), 0);
    return groupOf;
}
