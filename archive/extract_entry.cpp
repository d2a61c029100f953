// Copying one entry of the loaded table out to a file of its own.
#include "pak_archive.h"

#include "archive_file.h"
#include "program_support.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr int kWritten = 0;
constexpr int kOutsideArchive = -1;
constexpr int kCantWrite = -3;

// An entry is copied in blocks of at most this size, so the memory it takes
// doesn't grow with it; the buffer is kept for the next entry.
constexpr std::size_t kCopyBlock = std::size_t{2} << 20;

bool IsDotComponent(std::string_view text)
{
    return text == "." || text == "..";
}

// Reads up to `count` bytes from absolute position `pos` into `buffer`; `got`
// says how many arrived (fewer at the end of the file). False when the seek or
// the read failed, with the reason in `code` (EIO when the system gave none).
bool ReadAt(std::FILE* file, std::uint64_t pos, unsigned char* buffer, std::size_t count, std::size_t& got,
            int& code)
{
    errno = 0;
    bool failed = true;
    got = SeekTo(file, pos) ? ReadBlock(file, buffer, count, failed) : 0;
    code = failed ? (errno != 0 ? errno : EIO) : 0;
    return !failed;
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

int PakArchive::Refuse(int result, ExtractProblem problem, int systemCode)
{
    m_extractFailure = ExtractFailure{problem, systemCode};
    return result;
}

int PakArchive::Refuse(const ExtractFailure& failure)
{
    m_extractFailure = failure;
    return kCantWrite;
}

ExtractFailure FailureOf(const FileError& error)
{
    return ExtractFailure{ProblemOf(error.problem), error.code};
}

int PakArchive::ExtractEntry(std::uint32_t index)
{
    m_extractFailure = ExtractFailure{};
    if (!IsOpen() || index >= m_numFiles || index >= m_table.size())
        return Refuse(kCantWrite, ExtractProblem::NoSuchEntry);
    const PakEntry& entry = m_table[index];
    const std::uint32_t start = m_dataStart + entry.offset;   // wraps on purpose
    if (start >= m_archiveSize)
        return Refuse(kOutsideArchive, ExtractProblem::OutsideArchive);
    if (entry.name.empty() || IsDotComponent(entry.name) || IsDotComponent(entry.dir))
        return Refuse(kCantWrite, ExtractProblem::NameRefused);
    // Decoded texts may hold the separator; on disk each stays one path component.
    const std::string dir = entry.dir.empty() ? std::string() : DiskName(entry.dir);
    const std::string name = DiskName(entry.name);

    // Only the bytes the file holds from the start are read; the rest of the
    // declared size is zeros, which the output gets by being extended. They
    // pass through one buffer of at most kCopyBlock bytes.
    ArchiveFile& os = *m_os;
    const std::uint64_t held =
        start < os.m_fileLength ? std::min<std::uint64_t>(entry.size, os.m_fileLength - start) : 0;
    // The buffer comes first: when it can't be had, nothing is created.
    unsigned char* buffer = CopyBuffer(static_cast<std::size_t>(std::min<std::uint64_t>(held, kCopyBlock)));
    return CopyOut(entry, dir, name, buffer, held);
}

unsigned char* PakArchive::CopyBuffer(std::size_t size)
{
    ArchiveFile& os = *m_os;
    if (size > os.m_copyCapacity || !os.m_copyBuffer) {
        os.m_copyBuffer.reset();   // the old one goes first: never both at once
        os.m_copyCapacity = 0;
        os.m_copyBuffer = AllocateBuffer(size);
        os.m_copyCapacity = size;
    }
    return os.m_copyBuffer.get();
}

int PakArchive::CopyOut(const PakEntry& entry, const std::string& dir, const std::string& name,
                        unsigned char* buffer, std::uint64_t held)
{
    ArchiveFile& os = *m_os;
    std::FILE* file = os.m_file.get();
    const std::uint32_t start = m_dataStart + entry.offset;   // wraps on purpose
    const std::uint64_t pos = start;
    // An entry of one block is read before anything is created, so a failed
    // read leaves nothing behind; a larger one is copied once its output is
    // open, and a failed read drops that output.
    const bool oneBlock = held <= kCopyBlock;
    std::size_t got = 0;
    int readError = 0;
    if (oneBlock && held > 0 && !ReadAt(file, pos, buffer, static_cast<std::size_t>(held), got, readError))
        return Refuse(kCantWrite, ExtractProblem::ReadFailed, readError);

    const OutputFolder current = OutputFolder::Current();
    if (!dir.empty() && !(dir == os.m_outFolderName && os.m_outFolder.StillNamedBy(dir))) {
        os.m_outFolder = OutputFolder::Subfolder(dir);
        os.m_outFolderName = os.m_outFolder.Valid() ? dir : std::string();
    }
    const OutputFolder& folder = dir.empty() ? current : os.m_outFolder;
    if (!folder.Valid())
        return Refuse(FailureOf(folder.Error()));
    OutputFile out = folder.Begin(name, os.m_fileId);
    if (!out.IsOpen())
        return Refuse(FailureOf(out.Error()));

    std::uint64_t written = got;
    bool complete = got == 0 || out.Write(buffer, got);
    if (!oneBlock) {
        // The system's copy call, where it has one, copies what it can; the
        // rest goes block by block through the buffer. The archive ending
        // (a file cut short since it was opened) ends the copy.
        bool more = true;
        while (complete && more && written < held) {
            written += out.CopyFrom(file, pos + written, held - written, os.m_copyCallUsable);
            const std::size_t block = static_cast<std::size_t>(std::min<std::uint64_t>(held - written, kCopyBlock));
            if (block == 0)
                break;
            if (!ReadAt(file, pos + written, buffer, block, got, readError))
                return Refuse(kCantWrite, ExtractProblem::ReadFailed, readError);   // `out` goes with it
            complete = got == 0 || out.Write(buffer, got);
            written += got;
            more = got == block;
        }
    }
    // Bytes beyond the real end of the archive (a file cut short, or a size
    // it never held) are zeros.
    complete = complete && (written == entry.size || out.ExtendTo(entry.size));
    if (!complete || !out.Commit())
        return Refuse(FailureOf(out.Error()));   // nothing of it is left, an old file is intact
    return kWritten;
}
