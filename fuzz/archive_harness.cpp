// Runs one input through the archive code in a scratch folder and checks the
// outcome against a model built from the input bytes alone.
#include "archive_harness.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>
#include <vector>

#include "open_descriptors.h"
#include "pak_archive.h"
#include "pak_writer.h"

namespace fs = std::filesystem;

namespace {

const char* const kArchiveName = "input.pak";
const char* const kMissingName = "missing.pak";
const char* const kSentinelName = "sentinel";
const char* const kSentinelText = "a file outside the extraction folder";
const char* const kWorkName = "work";
// Where the table is written back: a dot sixth from the end and none fourth,
// so neither an entry's file nor its folder can have this name.
const char* const kWrittenBackName = "write.back";

// Bounds that keep one input cheap; the library itself has none of them.
// Larger entries are not extracted, and extraction stops once an input has
// made kMaxOutputs outputs or asked for kMaxWritten bytes. A larger entry or a
// later one takes the same paths, only slower: at 1 MiB per entry the fuzzer
// ran at a quarter of the speed, and each output costs a dozen system calls.
constexpr std::uint32_t kMaxEntrySize = std::uint32_t{64} << 10;
constexpr std::uint64_t kMaxWritten = std::uint64_t{1} << 20;
constexpr int kMaxOutputs = 64;

// The format, as the checks need it.
constexpr std::uint32_t kSignature = 4;
constexpr std::uint64_t kHeaderSize = 92;
constexpr std::uint64_t kRecordSize = 16;
constexpr std::size_t kLongestText = 511;

// The scratch folder of this process: a sentinel file and the work folder
// that each input starts in, empty. Their status after set-up shows whether
// anything was written beside them.
struct ScratchRoot {
    std::string path;
    std::string work;
    std::string sentinel;
    std::size_t nameMax = 255;   // the file system's longest name component
    struct stat rootStatus {};
    struct stat sentinelStatus {};
};

bool WriteWhole(int dirFd, const char* name, const std::string& bytes)
{
    const int fd = ::openat(dirFd, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put <= 0)
            break;
        done += static_cast<std::size_t>(put);
    }
    return ::close(fd) == 0 && done == bytes.size();
}

ScratchRoot MakeRoot()
{
    ScratchRoot root;
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "pak_fuzz_XXXXXX").string();
    if (ec || !::mkdtemp(pattern.data()))
        return root;
    root.path = pattern;
    root.work = root.path + "/" + kWorkName;
    root.sentinel = root.path + "/" + kSentinelName;
    const long nameMax = ::pathconf(root.path.c_str(), _PC_NAME_MAX);
    if (nameMax > 0)
        root.nameMax = static_cast<std::size_t>(nameMax);
    if (!WriteWhole(AT_FDCWD, root.sentinel.c_str(), kSentinelText) || ::mkdir(root.work.c_str(), 0700) != 0 ||
        ::lstat(root.path.c_str(), &root.rootStatus) != 0 ||
        ::lstat(root.sentinel.c_str(), &root.sentinelStatus) != 0)
        root.path.clear();
    return root;
}

ScratchRoot& Root();

void RemoveRoot()
{
    std::error_code ec;
    if (!Root().path.empty())
        fs::remove_all(Root().path, ec);
}

ScratchRoot& Root()
{
    static ScratchRoot root = MakeRoot();
    // Registered after `root` is complete, so it runs before `root` goes away.
    static const bool removeAtExit = (std::atexit(RemoveRoot), true);
    (void)removeAtExit;
    return root;
}

// Names in an open folder, without "." and "..". Reads the entries straight
// from the kernel into a stack buffer: this runs several times per input.
std::vector<std::string> ListNames(int dirFd)
{
    std::vector<std::string> names;
    alignas(8) char buffer[8192];
    for (;;) {
        const long got = ::syscall(SYS_getdents64, dirFd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        for (long pos = 0; pos < got;) {
            // struct linux_dirent64: u64 inode, s64 offset, u16 length, u8 type, name.
            unsigned short length = 0;
            std::memcpy(&length, buffer + pos + 16, sizeof length);
            const char* name = buffer + pos + 19;
            if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
                names.emplace_back(name);
            pos += length;
        }
    }
    return names;
}

std::uint32_t LoadU32At(const std::string& bytes, std::uint64_t pos)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[pos + static_cast<std::uint64_t>(i)]);
    return value;
}

// A text fit for a message: printable ASCII as it is, the rest escaped, cut short.
std::string Shown(const std::string& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string shown = "\"";
    for (std::size_t i = 0; i < text.size() && i < 64; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            shown += static_cast<char>(c);
        } else {
            shown += "\\x";
            shown += kHex[c >> 4];
            shown += kHex[c & 0xF];
        }
    }
    if (text.size() > 64)
        shown += "...(" + std::to_string(text.size()) + " bytes)";
    return shown + "\"";
}

// Bytes [start, start + size) of the input, zeros where the input ends.
struct InputSpan {
    std::uint64_t start = 0;
    std::uint64_t size = 0;
};

// Whether `name` in folder `dirFd` holds exactly the bytes of `span`. Compared
// piecewise through one buffer, so large outputs cost no allocation.
bool HoldsBytes(int dirFd, const std::string& name, const std::string& input, const InputSpan& span)
{
    const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool same = ::fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) == span.size;
    static char piece[64 * 1024];
    static const char kZeros[sizeof piece] = {};
    for (std::uint64_t done = 0; same && done < span.size;) {
        const ssize_t got = ::read(fd, piece, static_cast<std::size_t>(std::min<std::uint64_t>(sizeof piece, span.size - done)));
        if (got <= 0) {
            same = false;
            break;
        }
        const auto length = static_cast<std::uint64_t>(got);
        const std::uint64_t pos = span.start + done;
        const std::uint64_t fromInput = pos < input.size() ? std::min<std::uint64_t>(length, input.size() - pos) : 0;
        same = std::memcmp(piece, input.data() + (fromInput > 0 ? pos : 0), fromInput) == 0 &&
               std::memcmp(piece + fromInput, kZeros, length - fromInput) == 0;
        done += length;
    }
    ::close(fd);
    return same;
}

class Failures {
public:
    void Add(const std::string& what)
    {
        if (m_count++ < 20)
            m_text << what << "\n";
    }
    std::string Text() const { return m_text.str(); }

private:
    std::ostringstream m_text;
    int m_count = 0;
};

// Makes `folder` the current directory for its lifetime.
class InFolder {
public:
    explicit InFolder(const std::string& folder)
    {
        std::error_code ec;
        m_previous = fs::current_path(ec);
        m_entered = !ec && ::chdir(folder.c_str()) == 0;
    }
    ~InFolder()
    {
        if (m_entered && ::chdir(m_previous.c_str()) != 0)
            std::abort();   // every later input would run in the wrong place
    }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;
    bool Entered() const { return m_entered; }

private:
    fs::path m_previous;
    bool m_entered = false;
};

// A progress bar that checks each position against the range it was given.
class CheckingProgress : public ProgressBar {
public:
    explicit CheckingProgress(Failures& failures) : m_failures(failures) {}
    void SetRange32(int low, int high) override
    {
        m_low = low;
        m_high = high;
        m_ranged = true;
        ++m_calls;
    }
    void SetPos(int pos) override
    {
        if (!m_ranged || pos < m_low || pos > m_high)
            m_failures.Add("progress position " + std::to_string(pos) + " outside its range");
        ++m_calls;
    }
    long TakeCalls()
    {
        const long calls = m_calls;
        m_calls = 0;
        return calls;
    }

private:
    Failures& m_failures;
    int m_low = 0;
    int m_high = 0;
    bool m_ranged = false;
    long m_calls = 0;
};

// What the work folder should hold afterwards. A file mapped to no content
// is checked for existence only.
struct ExpectedTree {
    std::map<std::string, std::optional<InputSpan>> files;
    std::set<std::string> dirs;
};

std::string OnePathComponent(std::string text)
{
    for (char& c : text) {
        if (c == '/')
            c = '_';
    }
    return text;
}

bool IsDotComponent(const std::string& text)
{
    return text == "." || text == "..";
}

// Why ExtractEntry must fail for `entry` (its start lies before S), None when
// it must write it, and what it leaves on disk, given what earlier entries left.
ExtractProblem PredictExtraction(const PakEntry& entry, std::uint32_t start, std::size_t nameMax, ExpectedTree& tree)
{
    if (entry.name.empty() || IsDotComponent(entry.name) || IsDotComponent(entry.dir))
        return ExtractProblem::NameRefused;
    const std::string dir = OnePathComponent(entry.dir);
    const std::string name = OnePathComponent(entry.name);
    std::string path = name;
    if (!dir.empty()) {
        if (dir.size() > nameMax)
            return ExtractProblem::SystemError;
        if (tree.files.count(dir) != 0)
            return ExtractProblem::FileInTheWay;
        tree.dirs.insert(dir);   // stays even when the file can't be made
        path = dir + "/" + name;
    } else if (tree.dirs.count(name) != 0) {
        return ExtractProblem::FolderInTheWay;
    } else if (name == kArchiveName) {
        return ExtractProblem::IsTheArchive;
    }
    if (name.size() > nameMax)
        return ExtractProblem::SystemError;
    // Its bytes, zeros beyond the input; a later entry of the same path
    // replaces the file, leaving nothing of the earlier one behind.
    tree.files[path] = InputSpan{start, entry.size};
    return ExtractProblem::None;
}

void CheckOpenFailure(const PakArchive& archive, const char* expectedError, Failures& failures)
{
    if (archive.m_errorText != expectedError)
        failures.Add("open failed with " + Shown(archive.m_errorText) + ", expected " + Shown(expectedError));
    if (archive.IsOpen())
        failures.Add("a failed open left an archive open");
}

// OpenArchive's outcome from the bytes alone: nullptr when it must succeed.
const char* ExpectedOpenError(const std::string& input)
{
    if (input.size() < 4 || LoadU32At(input, 0) != kSignature)
        return kErrNotPak;
    if (input.size() < kHeaderSize || input.size() < kHeaderSize + kRecordSize * LoadU32At(input, 76))
        return kErrDamaged;
    return nullptr;
}

void CheckTable(const PakArchive& archive, const std::string& input, Failures& failures)
{
    if (archive.m_table.size() != archive.m_numFiles) {
        failures.Add("table holds " + std::to_string(archive.m_table.size()) + " entries for N = " +
                     std::to_string(archive.m_numFiles));
        return;
    }
    for (std::size_t i = 0; i < archive.m_table.size(); ++i) {
        const PakEntry& entry = archive.m_table[i];
        const std::uint64_t record = kHeaderSize + kRecordSize * i;
        if (entry.size != LoadU32At(input, record) || entry.offset != LoadU32At(input, record + 4))
            failures.Add("entry " + std::to_string(i) + ": size or offset not from its table record");
        for (const std::string_view text : {entry.dir.view(), std::string_view(entry.name)}) {
            if (text.size() > kLongestText || text.find('\0') != std::string_view::npos)
                failures.Add("entry " + std::to_string(i) + ": text " + Shown(std::string(text)) +
                             " can't come from a record");
        }
    }
}

// Runs the commands on an opened archive and records what they should leave.
void RunOpened(PakArchive& archive, const std::string& input, ExpectedTree& tree, Failures& failures)
{
    const std::uint32_t count = LoadU32At(input, 76);
    if (!archive.IsOpen() || archive.m_numFiles != count || archive.m_dataStart != LoadU32At(input, 84) ||
        archive.m_archiveSize != LoadU32At(input, 88)) {
        failures.Add("open succeeded without the header's values");
        return;
    }
    archive.AllocateTable();
    CheckingProgress progress(failures);
    archive.LoadTable(progress);
    if (progress.TakeCalls() != 3 + 2 * long{count})
        failures.Add("LoadTable moved the progress bar a wrong number of times");
    CheckTable(archive, input, failures);

    if (archive.WriteScanLog(progress) != 1)
        failures.Add("WriteScanLog failed in a writable folder");
    if (progress.TakeCalls() != 2 + long{count})
        failures.Add("WriteScanLog moved the progress bar a wrong number of times");
    tree.files[kScanLogName] = std::nullopt;

    const std::size_t nameMax = Root().nameMax;
    std::uint64_t written = 0;
    int outputs = 0;
    for (std::uint32_t i = 0; i < archive.m_table.size(); ++i) {
        const PakEntry& entry = archive.m_table[i];
        const std::uint32_t start = archive.m_dataStart + entry.offset;   // wraps, as the format does
        ExtractProblem problem = ExtractProblem::OutsideArchive;
        if (start < archive.m_archiveSize) {
            if (entry.size > kMaxEntrySize || written + entry.size > kMaxWritten || outputs == kMaxOutputs)
                continue;
            written += entry.size;
            ++outputs;
            problem = PredictExtraction(entry, start, nameMax, tree);
        }
        const int expected = problem == ExtractProblem::None ? 0 : problem == ExtractProblem::OutsideArchive ? -1 : -3;
        const int result = archive.ExtractEntry(i);
        const std::string what = "entry " + std::to_string(i) + " " + Shown(entry.dir) + "/" + Shown(entry.name);
        if (result != expected)
            failures.Add(what + ": ExtractEntry gave " + std::to_string(result) + ", expected " +
                         std::to_string(expected));
        else if (archive.LastExtractFailure().problem != problem)
            failures.Add(what + ": the wrong reason, " + ExtractFailureText(archive.LastExtractFailure()));
    }
    if (archive.ExtractEntry(count) != -3)
        failures.Add("an index past the table was not refused");

    // A later failed open leaves nothing to extract and keeps the values.
    archive.m_path = kMissingName;
    if (archive.OpenArchive() != 0)
        failures.Add("a missing archive opened");
    CheckOpenFailure(archive, kErrCantOpen, failures);
    if (archive.m_numFiles != count || archive.m_table.size() != count ||
        archive.m_dataStart != LoadU32At(input, 84) || archive.m_archiveSize != LoadU32At(input, 88))
        failures.Add("a failed open changed the previous values");
    if (count > 0 && archive.ExtractEntry(0) != -3)
        failures.Add("an entry was extracted with no archive open");
    // Nor may the old table be reported under the failed name.
    if (archive.WriteScanLog(progress) != 0 || progress.TakeCalls() != 0)
        failures.Add("a report was written with no archive open");
}

// Writes `head` as kWrittenBackName and reads it back, then removes it.
// False when it can't be opened.
bool ReadBack(const std::string& head, PakArchive& archive)
{
    if (!WriteWhole(AT_FDCWD, kWrittenBackName, head))
        return false;
    archive.m_path = kWrittenBackName;
    const bool opened = archive.OpenArchive() == 1;
    if (opened) {
        NoProgress progress;
        archive.AllocateTable();
        archive.LoadTable(progress);
    }
    ::unlink(kWrittenBackName);
    return opened;
}

// Whether `archive` read back entries with `inputs`' paths and sizes at
// `layout`'s offsets, and the layout's D and S.
void CheckReadBack(const char* what, const PakArchive& archive, const std::vector<PakInput>& inputs,
                   const PakLayout& layout, Failures& failures)
{
    if (archive.m_numFiles != inputs.size() || archive.m_table.size() != inputs.size() ||
        archive.m_dataStart != layout.dataStart || archive.m_archiveSize != layout.archiveSize) {
        failures.Add(std::string(what) + ": the header doesn't read back");
        return;
    }
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const PakEntry& entry = archive.m_table[i];
        if (entry.dir != inputs[i].dir || entry.name != inputs[i].name || entry.size != inputs[i].size ||
            entry.offset != layout.offsets[i])
            failures.Add(std::string(what) + ": entry " + std::to_string(i) + " " + Shown(inputs[i].dir) + "/" +
                         Shown(inputs[i].name) + " reads back as " + Shown(entry.dir) + "/" + Shown(entry.name));
    }
}

// The table the reader made, written back by the library's writer and read
// again: in the canonical layout, the entries the writer takes; laid out
// anew like the input, every entry, when the sizes fit in 2 GiB and the
// name records end before the end of the input.
void CheckWriteBack(const std::vector<PakEntry>& table, Failures& failures)
{
    PakOriginal original;
    std::string error;
    if (ReadPakOriginal(kArchiveName, original, error) != 1) {
        failures.Add("ReadPakOriginal refused an archive the reader opened: " + Shown(error));
        return;
    }
    std::vector<PakInput> inputs;
    std::uint64_t end = original.head.size();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const PakEntry& entry = table[i];
        const PakEntry& read = original.entries[i < original.entries.size() ? i : 0];
        if (original.entries.size() != table.size() || read.dir != entry.dir || read.name != entry.name ||
            read.size != entry.size || read.offset != entry.offset) {
            failures.Add("ReadPakOriginal's table differs from the reader's at entry " + std::to_string(i));
            return;
        }
        PakInput in;
        in.dir = entry.dir;
        in.name = entry.name;
        in.size = entry.size;
        inputs.push_back(std::move(in));
        end += entry.size;
    }

    if (!original.namesRunToEnd && end < (std::uint64_t{1} << 31)) {
        const PakLayout like = LayOutPakLike(original, inputs);
        PakArchive again;
        if (!ReadBack(like.head, again))
            failures.Add("laid out anew like the input: doesn't open");
        else
            CheckReadBack("laid out anew like the input", again, inputs, like, failures);
    }

    LeaveOutUnwritable(inputs);
    const PakLayout canonical = LayOutPak(inputs);
    PakArchive again;
    if (!ReadBack(canonical.head, again))
        failures.Add("written back canonically: doesn't open");
    else
        CheckReadBack("written back canonically", again, inputs, canonical, failures);
}

void CheckFile(int dirFd, const std::string& name, const std::string& key, const std::string& input,
               const ExpectedTree& tree, std::set<std::string>& found, Failures& failures)
{
    const auto expected = tree.files.find(key);
    if (expected == tree.files.end()) {
        failures.Add("unexpected file " + Shown(key));
        return;
    }
    found.insert(key);
    if (expected->second && !HoldsBytes(dirFd, name, input, *expected->second))
        failures.Add("file " + Shown(key) + " doesn't hold its entry's bytes");
}

mode_t TypeOf(int dirFd, const std::string& name)
{
    struct stat st {};
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? (st.st_mode & S_IFMT) : 0;
}

// Everything in the work folder must be expected, regular and one level deep
// at most; everything expected must be there. Empties the folder for the next
// input as it goes.
void CheckAndEmptyWorkFolder(const std::string& work, const std::string& input, const ExpectedTree& tree,
                             Failures& failures)
{
    const int workFd = ::open(work.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (workFd < 0) {
        failures.Add("can't list the extraction folder");
        return;
    }
    std::set<std::string> foundFiles;
    std::set<std::string> foundDirs;
    for (const std::string& name : ListNames(workFd)) {
        const mode_t type = TypeOf(workFd, name);
        if (type == S_IFREG) {
            CheckFile(workFd, name, name, input, tree, foundFiles, failures);
            ::unlinkat(workFd, name.c_str(), 0);
            continue;
        }
        if (type == S_IFDIR && tree.dirs.count(name) != 0) {
            foundDirs.insert(name);
            const int dirFd = ::openat(workFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            for (const std::string& inner : dirFd < 0 ? std::vector<std::string>() : ListNames(dirFd)) {
                const std::string key = name + "/" + inner;
                if (TypeOf(dirFd, inner) == S_IFREG)
                    CheckFile(dirFd, inner, key, input, tree, foundFiles, failures);
                else
                    failures.Add("unexpected " + Shown(key) + " that is not a regular file");
            }
            if (dirFd >= 0)
                ::close(dirFd);
        } else {
            failures.Add("unexpected " + Shown(name) + " in the extraction folder");
        }
        std::error_code ec;
        fs::remove_all(work + "/" + name, ec);
    }
    ::close(workFd);
    for (const auto& [key, content] : tree.files) {
        if (foundFiles.count(key) == 0)
            failures.Add("missing file " + Shown(key));
    }
    for (const std::string& dir : tree.dirs) {
        if (foundDirs.count(dir) == 0)
            failures.Add("missing folder " + Shown(dir));
    }
}

bool SameStatus(const struct stat& a, const struct stat& b)
{
    return a.st_ino == b.st_ino && a.st_nlink == b.st_nlink && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Nothing was created, removed or changed beside the work folder. After a
// failure the scratch root is put back, so that later inputs start clean.
void CheckOutside(ScratchRoot& root, Failures& failures)
{
    struct stat rootNow {};
    struct stat sentinelNow {};
    const bool same = ::lstat(root.path.c_str(), &rootNow) == 0 && SameStatus(rootNow, root.rootStatus) &&
                      ::lstat(root.sentinel.c_str(), &sentinelNow) == 0 &&
                      SameStatus(sentinelNow, root.sentinelStatus);
    if (same)
        return;
    failures.Add("something was written outside the extraction folder");
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(root.path, ec)) {
        if (item.path() != root.work)
            fs::remove_all(item.path(), ec);
    }
    WriteWhole(AT_FDCWD, root.sentinel.c_str(), kSentinelText);
    ::lstat(root.path.c_str(), &root.rootStatus);
    ::lstat(root.sentinel.c_str(), &root.sentinelStatus);
}

} // namespace

std::string RunArchiveInput(const std::uint8_t* data, std::size_t size)
{
    if (size > kMaxInputSize)
        return {};
    ScratchRoot& root = Root();
    if (root.path.empty())
        return "can't set up a scratch folder\n";

    const std::string input(reinterpret_cast<const char*>(data), size);
    Failures failures;
    ExpectedTree tree;
    tree.files[kArchiveName] = InputSpan{0, size};   // never changed
    {
        InFolder inWork(root.work);
        if (!inWork.Entered())
            return "can't enter the extraction folder\n";
        if (!WriteWhole(AT_FDCWD, kArchiveName, input))
            return "can't write the archive\n";

        const int descriptorsBefore = OpenDescriptors();
        {
            PakArchive archive;
            archive.m_path = kArchiveName;
            const int opened = archive.OpenArchive();
            const char* expectedError = ExpectedOpenError(input);
            if (opened != (expectedError ? 0 : 1)) {
                failures.Add("OpenArchive gave " + std::to_string(opened));
            } else if (expectedError) {
                CheckOpenFailure(archive, expectedError, failures);
                if (archive.ExtractEntry(0) != -3)
                    failures.Add("an entry was extracted from a refused archive");
            } else {
                RunOpened(archive, input, tree, failures);
                CheckWriteBack(archive.m_table, failures);
            }
        }
        if (OpenDescriptors() != descriptorsBefore)
            failures.Add("a file stayed open after the archive was gone");
    }
    CheckAndEmptyWorkFolder(root.work, input, tree, failures);
    CheckOutside(root, failures);
    return failures.Text();
}
