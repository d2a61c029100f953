// Corvane ".pak" archives: opening, the entry table, extraction and the scan report.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

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

// A text that copies share instead of duplicating: a directory record names
// the folder of every entry after it, and a table of millions of entries holds
// that text once. It reads like a const std::string (empty, size, data,
// comparisons with strings, conversion to std::string_view and std::string).
// One pointer wide; the text lives in a single block after a reference count.
class SharedText {
    template <typename T>
    using EnableForText =
        std::enable_if_t<std::is_convertible_v<const T&, std::string_view> && !std::is_same_v<T, SharedText>>;

public:
    SharedText() noexcept = default;
    SharedText(std::string_view text) : m_block(Make(text)) {}
    SharedText(const std::string& text) : SharedText(std::string_view(text)) {}
    SharedText(const char* text) : SharedText(std::string_view(text)) {}
    SharedText(const SharedText& other) noexcept : m_block(other.m_block) { Retain(); }
    SharedText(SharedText&& other) noexcept : m_block(other.m_block) { other.m_block = nullptr; }
    SharedText& operator=(const SharedText& other) noexcept
    {
        SharedText(other).swap(*this);
        return *this;
    }
    SharedText& operator=(SharedText&& other) noexcept
    {
        SharedText(std::move(other)).swap(*this);
        return *this;
    }
    ~SharedText() { Release(); }

    bool empty() const noexcept { return m_block == nullptr; }
    std::size_t size() const noexcept { return m_block ? m_block->size : 0; }
    std::size_t length() const noexcept { return size(); }
    const char* data() const noexcept { return m_block ? TextOf(m_block) : ""; }   // ends with a 0
    const char* c_str() const noexcept { return data(); }
    const char* begin() const noexcept { return data(); }
    const char* end() const noexcept { return data() + size(); }
    std::string_view view() const noexcept { return {data(), size()}; }
    operator std::string_view() const noexcept { return view(); }
    operator std::string() const { return std::string(data(), size()); }

    void clear() noexcept { SharedText().swap(*this); }
    void swap(SharedText& other) noexcept { std::swap(m_block, other.m_block); }

    friend bool operator==(const SharedText& a, const SharedText& b) noexcept
    {
        return a.m_block == b.m_block || a.view() == b.view();
    }
    friend bool operator!=(const SharedText& a, const SharedText& b) noexcept { return !(a == b); }
    // With std::string, std::string_view, const char* and string literals.
    template <typename T, typename = EnableForText<T>>
    friend bool operator==(const SharedText& a, const T& b) noexcept
    {
        return a.view() == std::string_view(b);
    }
    template <typename T, typename = EnableForText<T>>
    friend bool operator==(const T& a, const SharedText& b) noexcept
    {
        return std::string_view(a) == b.view();
    }
    template <typename T, typename = EnableForText<T>>
    friend bool operator!=(const SharedText& a, const T& b) noexcept
    {
        return !(a == b);
    }
    template <typename T, typename = EnableForText<T>>
    friend bool operator!=(const T& a, const SharedText& b) noexcept
    {
        return !(a == b);
    }
    template <typename T, typename = EnableForText<T>>
    friend std::string operator+(const SharedText& a, const T& b)
    {
        const std::string_view right(b);
        std::string joined;
        joined.reserve(a.size() + right.size());
        joined.append(a.data(), a.size()).append(right);
        return joined;
    }
    template <typename T, typename = EnableForText<T>>
    friend std::string operator+(const T& a, const SharedText& b)
    {
        const std::string_view left(a);
        std::string joined;
        joined.reserve(left.size() + b.size());
        joined.append(left).append(b.data(), b.size());
        return joined;
    }

private:
    struct Block {
        std::atomic<std::size_t> references;
        std::size_t size;
    };
    static const char* TextOf(const Block* block) noexcept { return reinterpret_cast<const char*>(block + 1); }
    static Block* Make(std::string_view text);
    static void Free(Block* block) noexcept;
    void Retain() const noexcept
    {
        if (m_block)
            m_block->references.fetch_add(1, std::memory_order_relaxed);
    }
    void Release() noexcept
    {
        if (m_block && m_block->references.fetch_sub(1, std::memory_order_acq_rel) == 1)
            Free(m_block);
        m_block = nullptr;
    }

    Block* m_block = nullptr;   // null for the empty text
};

std::ostream& operator<<(std::ostream& out, const SharedText& text);

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

class PakArchive {
public:
    PakArchive() noexcept;
    PakArchive(PakArchive&& other) noexcept;
    PakArchive& operator=(PakArchive&& other) noexcept;
    ~PakArchive();

    // The archive's path: on Windows bytes in the ANSI code page, or for a
    // path that it can't hold the form PathFromWide gives, which the report
    // shows as a C string (the ANSI form). The report's Name: line shows each
    // control character (below 0x20, and 0x7F) as '?', so it stays one line.
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
    int WriteScanLogAs(const std::string& path, ProgressBar& progress);

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

    // Why the last ExtractEntry call gave a nonzero result (None after a 0).
    const ExtractFailure& LastExtractFailure() const { return m_extractFailure; }

    // Why the last WriteScanLog or WriteScanLogAs call gave 0 (None after a
    // 1), in the terms ExtractFailureText puts in words: NoSuchEntry when no
    // archive is open, a thing in the way, the archive itself, or the
    // system's reason.
    const ExtractFailure& LastReportFailure() const { return m_reportFailure; }

    bool IsOpen() const;

private:
    // The open archive's stream and what outputs keep between entries.
    struct OsState;

    // Reads one name record. 0: a file name, now in `target`; 1: a directory
    // record, now in m_curDir (shared by the entries that take it), `target`
    // untouched.
    int ReadNameRecord(std::string& target);

    // Reads one record up to its terminator into `buffer` and returns the
    // length of its text. Keeps at most kRecordKeep characters; the rest is
    // consumed and dropped. End of file ends the record.
    std::size_t ReadRawRecord(char* buffer);

    // Makes sure m_copyBuffer holds at least `size` bytes.
    unsigned char* CopyBuffer(std::size_t size);

    // Writes the entry to folder `dir`, file `name`: its first `held` bytes
    // from the archive, copied through `buffer` (CopyBuffer's), then zeros.
    int CopyOut(const PakEntry& entry, const std::string& dir, const std::string& name,
                unsigned char* buffer, std::uint64_t held);

    // Records why the extraction failed and returns `result`.
    int Refuse(int result, ExtractProblem problem, int systemCode = 0);
    // Records `failure` and returns -3, the output's failure.
    int Refuse(const ExtractFailure& failure);

    std::unique_ptr<OsState> m_os;   // null until the first OpenArchive
    ExtractFailure m_extractFailure;
    ExtractFailure m_reportFailure;
    std::string m_outPath;
    SharedText m_curDir;
};

// Paths and the process: what every program on this library shares with it.

// The system's own words for an error code ("Permission denied", ...): errno
// on POSIX, GetLastError() on Windows.
std::string SystemErrorText(int code);

// For programs, first thing in main. A write beyond a file-size limit then
// fails with the system's reason instead of ending the process (SIGXFSZ is
// ignored), and a signal that ends the process (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU and the like: every one that
// comes from outside the program; on Windows a console control event)
// first removes the output being written at that moment, a new file or the
// temporary beside a file it would replace, where it has a name yet, before
// the process ends as the signal would have ended it. Only a signal's
// default action is taken over: one ignored or handled when the process
// started stays so.
void InstallOutputSignalHandlers();

// Paths as both programs see them: the texts are the platform's single-byte
// file names; on Windows, the ANSI code page's, or for a path it can't hold
// the form PathFromWide gives, so that the path still names its file.

// What ResolveFullPath made of a path.
enum class PathResolution {
    Resolved,          // the full path names the file the system opens by the path
    Refused,           // the system reaches no file by it
    NoCurrentFolder,   // relative, while the current directory has no path the
                       // system can tell (it was removed)
};

// `path` made absolute as the system resolves it, so that the full path and
// the path itself name the same file. On POSIX the folder part goes through
// realpath (symbolic links are followed before a ".." step leaves them, as
// every file call does) and the last step is kept as it is; a folder part
// that names no folder, and a last step that is empty, "." or "..", which no
// file is reached by, are refused. On Windows GetFullPathNameW takes "." and
// ".." steps out of the text, as every file call does. `full` is empty
// unless the path is resolved; an empty path is refused.
PathResolution ResolveFullPath(const std::string& path, std::string& full);

// The same full path alone; empty when `path` can't be resolved.
std::string FullPathOf(const std::string& path);

// The current directory; empty when the system can't tell it.
std::string CurrentFolder();

// The folder part of a full path ("/" for a file at the root, "C:\" at a
// drive's root) and its last component, the file name with its extension
// (on Windows as the ANSI calls show it). Windows splits in UTF-16, where no
// second byte of a double-byte character passes for a separator.
std::string FolderOf(const std::string& fullPath);
std::string FileNameOf(const std::string& fullPath);

// Makes `folder` the process's current directory, checking on Windows that
// it is that very folder, of any length. False when it can't be, with the
// system's reason in *why when `why` is given; the current directory is
// then the one before.
bool SetCurrentFolder(const std::string& folder, std::string* why = nullptr);

// Whether `path` names a folder, as an item dropped on the dialog is judged:
// on Windows also when its attributes can't be read; elsewhere only when the
// system says it is one (a name that has gone is left to the open to report).
bool IsFolderPath(const std::string& path);

// Which file ExtractEntry writes `entry` to, as a text that two entries
// share exactly when the system takes their outputs for one file: their
// directories and names as written on disk, on Windows by its name rules and
// with letter case folded as its file systems compare names. Empty when the
// entry's name is refused. For comparing only, not a path to open.
std::string OutputFileKey(const PakEntry& entry);

// The executable's own file name without its folder and extension, from the
// file the process runs, whatever name it was started under. Found once.
const std::string& ApplicationName();

// The arguments after the program's name, and the archive a command line
// names for a program that takes no options: its only argument, or empty
// when there is none or more than one.
std::vector<std::string> CommandLineArguments(int argc, const char* const argv[]);
std::string CommandLinePath(int argc, const char* const argv[]);

#ifdef _WIN32
// The same from the UTF-16 command line, as Windows passes it; each
// argument in the form PathFromWide gives.
std::vector<std::string> CommandLineArguments(int argc, const wchar_t* const argv[]);
std::string CommandLinePath(int argc, const wchar_t* const argv[]);

// Paths on Windows are bytes in the ANSI code page. A path the system hands
// over as UTF-16 (the command line, the file chooser) that this code page
// can't hold exactly is kept as its ANSI form, what the system's ANSI calls
// would have shown, then a NUL and the exact path in UTF-8: printed as a C
// string it reads as the system's ANSI text, while the file layer opens the
// exact one. A path the code page holds is its ANSI bytes alone.
std::string PathFromWide(const std::wstring& path);

// The UTF-16 path that `path` (ANSI bytes, or the form PathFromWide makes)
// stands for. False when it can't be converted or holds a NUL otherwise.
bool PathToWide(const std::string& path, std::wstring& wide);
#endif
