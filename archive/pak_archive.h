// Corvane ".pak" archives: opening, the entry table, extraction and the scan report.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "shared_text.h"
#include "system_path.h"

// The dialog's progress bar as the archive code sees it.
class ProgressBar {
public:
    virtual ~ProgressBar() = default;
    virtual void SetRange32(int low, int high) = 0;
    virtual void SetPos(int pos) = 0;
};

// A progress bar nobody looks at, for callers that only want the work done.
class NoProgress final : public ProgressBar {
public:
    void SetRange32(int, int) override {}
    void SetPos(int) override {}
};

// One decoded table entry. `offset` is relative to the archive's data start.
struct PakEntry {
    SharedText dir;    // empty: the entry goes to the current directory itself
    std::string name;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

// A u32 shown the way "%d" shows it: 2^31 and above come out negative.
inline std::int32_t AsSigned32(std::uint32_t value)
{
    return value < 0x80000000u ? static_cast<std::int32_t>(value)
                               : static_cast<std::int32_t>(value - 0x80000000u) - 0x7FFFFFFF - 1;
}

// The report's verdict: false ("FAILD") when D + offset, offset, or
// size + offset + D exceeds the declared size S. Sums wrap at 32 bits.
bool IsEntryInRange(const PakEntry& entry, std::uint32_t dataStart, std::uint32_t archiveSize);

// Texts that OpenArchive leaves in m_errorText.
extern const char* const kErrCantOpen;   // "Error!Can`t open file!\n"
extern const char* const kErrNotPak;     // "Error!It`s not Corvane PAK file!\n"
extern const char* const kErrDamaged;    // "Error!Damaged Corvane PAK file!\n"

// Name of the report that WriteScanLog writes into the current directory.
extern const char* const kScanLogName;   // "Scan_log.txt"

// Why an ExtractEntry call gave a nonzero result.
enum class ExtractProblem {
    None,                // it gave 0
    NoSuchEntry,         // no archive is open, or the index lies outside the table
    OutsideArchive,      // -1: the start lies at or beyond the declared size
    NameRefused,         // the name is empty, or the directory or name is "." or ".."
    LinkInTheWay,        // a symbolic link has the folder's or the file's name
    FolderInTheWay,      // a folder has the file's name
    FileInTheWay,        // a file that is not a folder has the folder's name
    NotRegularInTheWay,  // a FIFO, device or socket has the file's name
    IsTheArchive,        // the output would replace the open archive
    ReadFailed,          // the archive could not be read; systemCode is errno
    SystemError,         // the system refused; systemCode is its error code
};

struct ExtractFailure {
    ExtractProblem problem = ExtractProblem::None;
    int systemCode = 0;
};

// The reason in words, for a line such as "entry 5 (a/b): <reason>".
std::string ExtractFailureText(const ExtractFailure& failure);

// Which file ExtractEntry writes `entry` to, as a text that two entries
// share exactly when the system takes their outputs for one file: their
// directories and names as written on disk, on Windows by its name rules and
// with letter case folded as its file systems compare names. Empty when the
// entry's name is refused. For comparing only, not a path to open.
std::string OutputFileKey(const PakEntry& entry);

// ExtractEntry's result for the reason it gave: 0 for None, -1 for
// OutsideArchive, -3 for every other.
int ExtractResult(const ExtractFailure& failure);

// What an open archive and an extraction hold in the file layer's terms;
// the library's own.
struct ArchiveFile;
struct ExtractorState;

// What one thread's extractions keep from entry to entry: the copy buffer
// (at most 2 MiB, with the bytes of the archive it holds) and the folder the
// last entry went to. Several threads extract from one archive at once,
// each through an Extractor of its own (PakArchive::ExtractEntryWith).
class Extractor {
public:
    Extractor() noexcept;
    Extractor(Extractor&& other) noexcept;
    Extractor& operator=(Extractor&& other) noexcept;
    ~Extractor();

private:
    friend class PakArchive;
    std::unique_ptr<ExtractorState> m_state;   // made by its first use
};

class PakArchive {
public:
    PakArchive() noexcept;
    PakArchive(PakArchive&& other) noexcept;
    PakArchive& operator=(PakArchive&& other) noexcept;
    ~PakArchive();

    // The archive's path as bytes, on Windows in the ANSI code page; the
    // report's Name: line shows it, each control character (below 0x20, and
    // 0x7F) as '?', so that it stays one line.
    std::string m_path;
    std::uint32_t m_numFiles = 0;
    std::uint32_t m_archiveSize = 0;
    std::uint32_t m_dataStart = 0;
    std::vector<PakEntry> m_table;
    std::string m_errorText;

    // Opens m_path and reads the header. 1 on success; 0 with m_errorText set.
    // Any failure leaves no archive open and the header values and table as
    // they were; a success replaces the header values and keeps m_errorText.
    int OpenArchive();
    // The same for `path`, which may be one that m_path's bytes can't name
    // (on Windows, one the ANSI code page can't hold): m_path becomes its
    // text, the form that is shown, and the file opened is `path` itself.
    int OpenArchive(const SystemPath& path);

    // Replaces the table with exactly m_numFiles value-initialised entries.
    // Throws std::bad_alloc when they can't be held; the archive is then
    // closed, m_numFiles is 0 and the table empty.
    void AllocateTable();

    // Reads sizes and offsets, then directories and names, into the table.
    void LoadTable(ProgressBar& progress);

    // Writes "Scan_log.txt" into the current directory. 1 written; 0 when no
    // archive is open or the report can't be created (then the progress bar
    // is not touched), or when a write fails (the progress calls are made).
    // An existing report is replaced only by a complete one: a failure leaves
    // it, or no report, as it was. Never writes through a symbolic link or
    // over the archive itself.
    int WriteScanLog(ProgressBar& progress);

    // The same report, written to `path` instead: a file name, or a path
    // whose folder exists. The same refusals and results as WriteScanLog.
    int WriteScanLogAs(const SystemPath& path, ProgressBar& progress);

    // Copies entry `index` to dir/name (name alone when dir is empty) under
    // the current directory. 0 written; -1 its start lies at or beyond the
    // declared size; -3 the output can't be made safely or completely.
    // An existing file of that name is replaced only by a complete output; a
    // failure leaves it as it was. Bytes beyond the end of the archive file
    // are zeros. The bytes are copied through one buffer of at most 2 MiB,
    // kept for the next entry (a larger entry on Linux by the system's copy
    // call instead); throws std::bad_alloc, before anything is created, when
    // that buffer can't be had.
    int ExtractEntry(std::uint32_t index);

    // The same copy as ExtractEntry, through `extractor` instead of what the
    // archive keeps, and with the same throw: const, so that any number of
    // threads may extract at once, each through an Extractor of its own,
    // while nothing else changes the archive (no open, load or ExtractEntry).
    // Returns why the entry wasn't written (None when it was); ExtractResult
    // gives ExtractEntry's number for it. Entries that may land on the same
    // folder or file must go through one thread in table order for the
    // result of a single thread: ExtractionGroups keeps them together.
    ExtractFailure ExtractEntryWith(std::uint32_t index, Extractor& extractor) const;

    // The entries `indices` (table indices in table order) in at most `most`
    // groups (1 at least) that threads may extract side by side and get what
    // one thread gets: entries whose outputs may meet on disk are in one
    // group. That is every two that write the same folder, or a folder and a
    // file of the same name, by the names written on disk, letter case and
    // the characters some file systems take for others included (the names
    // Windows makes on Windows); where any of those names may be a short 8.3
    // name (it holds a '~'), all are one group. Gives each entry's group, by
    // its place in `indices`: the first `most` different folders or files get
    // 0, 1, 2, ... in the order of their first entries, and any after them
    // one of those by a hash of the name, so that the groups take 4 bytes an
    // entry whatever the archive holds.
    std::vector<std::uint32_t> ExtractionGroups(const std::vector<std::uint32_t>& indices, std::uint32_t most) const;

    // Why the last ExtractEntry call gave a nonzero result (None after a 0).
    const ExtractFailure& LastExtractFailure() const { return m_extractFailure; }

    // Why the last WriteScanLog or WriteScanLogAs call gave 0 (None after a
    // 1), in the terms ExtractFailureText puts in words: NoSuchEntry when no
    // archive is open, a thing in the way, the archive itself, or the
    // system's reason.
    const ExtractFailure& LastReportFailure() const { return m_reportFailure; }

    bool IsOpen() const;

private:
    // The entry's copy through `state`, for ExtractEntry.
    ExtractFailure Extract(std::uint32_t index, ExtractorState& state) const;

    // The open archive and what ExtractEntry keeps between entries; null
    // until the first OpenArchive.
    std::unique_ptr<ArchiveFile> m_os;
    ExtractFailure m_extractFailure;
    ExtractFailure m_reportFailure;
};
