// pakunpack: lists, reports on, extracts and creates ".pak" archives from the
// command line, through the same archive calls as the dialog, and never asks
// anything.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "pak_archive.h"
#include "pak_writer.h"
#include "pattern_match.h"
#include "program_support.h"
#include "platform.h"
#include "text_escape.h"

namespace {

constexpr const char* kProgram = "pakunpack";

// Exit statuses; --help explains them to the user.
constexpr int kExitDone = 0;
constexpr int kExitIncomplete = 1;
constexpr int kExitCantOpen = 2;
constexpr int kExitOutOfMemory = 3;
constexpr int kExitUsage = 64;

constexpr const char* kHelpText = R"(Usage: pakunpack list ARCHIVE [--json]
       pakunpack scan ARCHIVE [-o FILE]
       pakunpack extract ARCHIVE [-C DIR] [PATTERN ...]
       pakunpack create NEW.pak FOLDER [--like ORIGINAL.pak] [--skip-unsupported]
       pakunpack --help | --version

Lists, checks, extracts and creates Corvane ".pak" archives. Never asks
anything.

list ARCHIVE
    One line per entry, in table order, with five fields separated by tabs:
      INDEX  START  SIZE  VERDICT  PATH
    START is data start + offset, wrapping at 32 bits, as 0x and eight
    upper-case hex digits; SIZE is in bytes; VERDICT is GOOD, or FAILD when
    the entry's bytes don't lie within the declared archive size (the scan
    report's verdict); PATH is dir/name, or name alone when the entry has no
    directory, byte for byte up to the end of the line. --json shows names
    that hold tabs or line feeds unambiguously.
  --json
    One JSON document instead:
      {"archive": T, "numFiles": N, "dataStart": D, "archiveSize": S,
       "entries": [{"index": I, "dir": T, "name": T, "path": T, "offset": O,
                    "start": D+O, "size": Z, "status": "GOOD"|"FAILD"}, ...]}
    Numbers are unsigned decimal. A text T is a JSON string when it is valid
    UTF-8 and otherwise an array of its byte values (0-255), so every name
    comes back byte for byte.

scan ARCHIVE
    Writes the scan report, which names the archive by its absolute path, as
    "Scan_log.txt" in the current directory.
  -o FILE
    Writes it to FILE instead; FILE's folder must exist.

extract ARCHIVE [PATTERN ...]
    Extracts every entry, or each one whose PATH matches a PATTERN, in table
    order, replacing files of the same name. A failed entry is one line on
    stderr,
      pakunpack: entry INDEX (PATH): REASON
    with control characters in PATH shown as \xHH and a backslash as \\, and
    the run goes on. It ends with "N extracted, M failed" on stdout. While
    it runs, a progress line is shown on stderr when stderr is a terminal.
  -C DIR
    Extracts into DIR, which must exist, instead of the current directory.
    A relative ARCHIVE is found before changing into DIR.

create NEW.pak FOLDER
    Writes the archive NEW.pak of FOLDER's files: its files as top-level
    entries, then each subfolder's files in that folder, names in byte
    order. NEW.pak gets its name only once it is complete; an existing file
    of that name is replaced then, and NEW.pak inside FOLDER is not an
    entry of itself. It ends with "N added, M left out" on stdout, and shows
    a progress line like extract's.
    What an archive can't hold is refused, one line on stderr each,
      pakunpack: can't add 'PATH': RULE
    and then nothing is written: symbolic links, special files, empty
    folders, folders inside subfolders, a file name without an extension of
    three characters (name.ext), a folder name under three characters or
    with a dot sixth from its end, over 127 characters, a path over 255, a
    name with a backslash, files when FOLDER has no top-level file, and a
    file larger than 2147483647 bytes or lying past 2 GiB in the archive; on
    Windows also a name the ANSI code page can't hold and a device name with
    '_' in front ("_nul.txt", what extract makes of "nul.txt").
  --like ORIGINAL.pak
    Makes NEW.pak like ORIGINAL.pak: its entries in their order, with their
    names, and every byte of its header, table and name records that the
    reader skips; each entry's bytes are those of the file in FOLDER that
    extract writes it to (by the names extract writes on disk, so that
    "_nul.txt" on Windows is "nul.txt" again). When every file is as long
    as its entry and no bytes that entries share have changed, ORIGINAL.pak's
    layout stays, every byte of it that is no entry's too; otherwise the
    data follows the name records, one entry after another, and the summary
    says "laid out anew". An entry with no file of its own is refused,
      pakunpack: missing 'PATH': RULE
    and so is a file that is no entry ("can't add").
  --skip-unsupported
    Leaves those out ("left out 'PATH': RULE") and writes the rest; with
    --like an entry with no file keeps ORIGINAL.pak's bytes ("kept 'PATH'
    from the original: RULE"), and the summary says how many.

PATTERNs are shell patterns matched as fnmatch(3) does without flags: *, ?
and [...] match '/' and a leading '.' too, and a backslash quotes the next
character. Quote them for the shell; after "--" every argument is a PATTERN.
A PATTERN that matches no entry is reported on stderr.

  -h, --help   show this text        --version   show the version

Exit status:
  0   everything was done
  1   the archive was read but not everything was done: an entry failed, a
      PATTERN matched nothing, DIR couldn't be entered, or the report or
      standard output couldn't be written; create wrote nothing
  2   the archive couldn't be opened (create: FOLDER or ORIGINAL.pak
      couldn't be read); the reason is on stderr
  3   out of memory; the command stopped there
  64  the command line was wrong
)";

enum class Command { List, Scan, Extract, Create };

// Paths as the command line gives them; on Windows patterns in their ANSI
// form, as the archive's names are.
struct Options {
    Command command = Command::List;
    SystemPath archive;
    bool json = false;
    std::optional<SystemPath> reportPath;   // scan -o
    std::optional<SystemPath> folder;       // extract -C
    std::vector<std::string> patterns;
    SystemPath tree;                        // create's FOLDER
    std::optional<SystemPath> like;         // create --like
    bool skipUnsupported = false;           // create --skip-unsupported
};

using Arguments = std::vector<SystemPath>;

enum class Request { Run, Help, Version, Wrong };

void Complain(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
}

// Request::Help or Request::Version when the arguments ask for one, else
// Request::Run. --help and --version count wherever an option may stand,
// never as the value of -o or -C, nor after "--".
Request HelpOrVersion(const Arguments& args)
{
    const std::string command = args.empty() ? std::string() : args[0].Text();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i].Text();
        if (arg == "--")
            break;
        if (arg == "--help" || arg == "-h")
            return Request::Help;
        if (arg == "--version")
            return Request::Version;
        if ((arg == "-o" && command == "scan") || (arg == "-C" && command == "extract") ||
            (arg == "--like" && command == "create"))
            ++i;   // its value, whatever it looks like
    }
    return Request::Run;
}

// The command the first argument names. False, with `why`, when there is
// none or it names no command.
bool ReadCommand(const Arguments& args, Command& command, std::string& why)
{
    if (args.empty()) {
        why = "no command given";
        return false;
    }
    const std::string& word = args[0].Text();
    if (word == "list") {
        command = Command::List;
    } else if (word == "scan") {
        command = Command::Scan;
    } else if (word == "extract") {
        command = Command::Extract;
    } else if (word == "create") {
        command = Command::Create;
    } else {
        why = (word.rfind('-', 0) == 0 ? "unknown option '" : "unknown command '") + Printable(word) + "'";
        return false;
    }
    return true;
}

// Reads the options after the command word into `options` and collects the
// other arguments in `operands`. False, with `why`, at the first option the
// command doesn't take or that lacks its value.
bool ReadOptions(const Arguments& args, Options& options, Arguments& operands, std::string& why)
{
    bool onlyOperands = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i].Text();
        const bool hasValue = i + 1 < args.size();
        if (onlyOperands || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(args[i]);
        } else if (arg == "--") {
            onlyOperands = true;
        } else if (arg == "--json" && options.command == Command::List) {
            options.json = true;
        } else if (arg == "--skip-unsupported" && options.command == Command::Create) {
            options.skipUnsupported = true;
        } else if (arg == "-o" && options.command == Command::Scan) {
            if (!hasValue) {
                why = "option '-o' needs a file name";
                return false;
            }
            options.reportPath = args[++i];
        } else if (arg == "--like" && options.command == Command::Create) {
            if (!hasValue) {
                why = "option '--like' needs an archive";
                return false;
            }
            options.like = args[++i];
        } else if (arg == "-C" && options.command == Command::Extract) {
            if (!hasValue) {
                why = "option '-C' needs a folder";
                return false;
            }
            options.folder = args[++i];
        } else {
            why = "unknown option '" + Printable(arg) + "' for " + args[0].Text();
            return false;
        }
    }
    return true;
}

// The archive and the patterns from the operands, or create's NEW.pak and
// FOLDER. False, with `why`, when there is no archive or FOLDER, or a command
// other than extract has more operands.
bool TakeOperands(const Arguments& operands, Options& options, std::string& why)
{
    const bool create = options.command == Command::Create;
    if (operands.size() < (create ? 2u : 1u)) {
        why = operands.empty() ? (create ? "no NEW.pak given" : "no ARCHIVE given") : "no FOLDER given";
        return false;
    }
    const std::size_t allowed = create ? 2 : 1;
    if (options.command != Command::Extract && operands.size() > allowed) {
        why = "unexpected argument '" + Printable(operands[allowed].Text()) + "'";
        return false;
    }
    if (create) {
        options.archive = operands[0];
        options.tree = operands[1];
        return true;
    }
    options.archive = operands[0];
    // Patterns match the archive's bytes: on Windows the ANSI form alone.
    for (auto operand = operands.begin() + 1; operand != operands.end(); ++operand)
        options.patterns.push_back(operand->Text());
    return true;
}

// Fills `options` from the command line's arguments. On Request::Wrong,
// `why` says what is wrong with it, showing an argument as a C string (on
// Windows a path's ANSI form).
Request ParseCommandLine(const Arguments& args, Options& options, std::string& why)
{
    const Request asked = HelpOrVersion(args);
    if (asked != Request::Run)
        return asked;
    Arguments operands;
    if (!ReadCommand(args, options.command, why) || !ReadOptions(args, options, operands, why) ||
        !TakeOperands(operands, options, why))
        return Request::Wrong;
    return Request::Run;
}

// "extracting: DONE/TOTAL" (or another word for what is being done) redrawn
// in place on stderr, at most ten times a second, when stderr is a terminal;
// nothing otherwise.
class ProgressLine {
public:
    explicit ProgressLine(const char* doing = "extracting") : m_bShown(StandardErrorIsTerminal()), m_doing(doing) {}
    ~ProgressLine() { Clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void Show(std::uint32_t done, std::uint32_t total)
    {
        const auto now = std::chrono::steady_clock::now();
        if (!m_bShown || (m_width > 0 && done < total && now - m_lastDraw < std::chrono::milliseconds(100)))
            return;
        m_lastDraw = now;
        const int width = std::fprintf(stderr, "\r%s: %" PRIu32 "/%" PRIu32, m_doing, done, total);
        m_width = width > 0 ? width : 0;
    }

    // Wipes the line, so that a message can take its place.
    void Clear()
    {
        if (m_width > 0)
            std::fprintf(stderr, "\r%*s\r", m_width, "");
        m_width = 0;
    }

private:
    bool m_bShown;
    const char* m_doing;
    int m_width = 0;
    std::chrono::steady_clock::time_point m_lastDraw;
};

std::string EntryPath(const PakEntry& entry)
{
    return entry.dir.empty() ? entry.name : entry.dir + "/" + entry.name;
}

const char* Verdict(const PakArchive& archive, const PakEntry& entry)
{
    return IsEntryInRange(entry, archive.m_dataStart, archive.m_archiveSize) ? "GOOD" : "FAILD";
}

// What the dialog's open command does up to the report. The archive is
// opened by `path` as given, which the system resolves itself, and named in
// the report and the JSON by the full path the system resolves it to. False,
// with the reason on stderr (the reader's own text when there is no other),
// when it can't be opened.
bool OpenAndLoad(PakArchive& archive, const SystemPath& path)
{
    SystemPath fullPath;
    const PathResolution resolution = ResolveFullPath(path, fullPath);
    if (resolution == PathResolution::NoCurrentFolder) {
        Complain("can't find the current folder's path, which '" + Printable(path.Text()) + "' starts from");
        return false;
    }
    if (resolution == PathResolution::Refused || archive.OpenArchive(path) == 0) {
        std::fprintf(stderr, "%s: %s", kProgram, resolution == PathResolution::Refused ? kErrCantOpen
                                                                                      : archive.m_errorText.c_str());
        return false;
    }
    archive.m_path = fullPath.Text();
    NoProgress progress;   // only extraction shows progress here
    archive.AllocateTable();
    archive.LoadTable(progress);
    return true;
}

int ListText(const PakArchive& archive)
{
    for (std::uint32_t i = 0; i < archive.m_numFiles; ++i) {
        const PakEntry& entry = archive.m_table[i];
        const std::uint32_t start = archive.m_dataStart + entry.offset;   // wraps on purpose
        const std::string path = EntryPath(entry);
        std::printf("%" PRIu32 "\t0x%08" PRIX32 "\t%" PRIu32 "\t%s\t", i, start, entry.size,
                    Verdict(archive, entry));
        std::fwrite(path.data(), 1, path.size(), stdout);
        std::putchar('\n');
    }
    return kExitDone;
}

int ListJson(const PakArchive& archive)
{
    std::string out = "{\"archive\":";
    AppendJsonText(out, archive.m_path);   // as the report's Name: line shows it
    out += ",\"numFiles\":" + std::to_string(archive.m_numFiles) +
           ",\"dataStart\":" + std::to_string(archive.m_dataStart) +
           ",\"archiveSize\":" + std::to_string(archive.m_archiveSize) + ",\"entries\":[";
    for (std::uint32_t i = 0; i < archive.m_numFiles; ++i) {
        const PakEntry& entry = archive.m_table[i];
        const std::uint32_t start = archive.m_dataStart + entry.offset;   // wraps on purpose
        out += i == 0 ? "\n" : ",\n";
        out += "{\"index\":" + std::to_string(i) + ",\"dir\":";
        AppendJsonText(out, entry.dir);
        out += ",\"name\":";
        AppendJsonText(out, entry.name);
        out += ",\"path\":";
        AppendJsonText(out, EntryPath(entry));
        out += ",\"offset\":" + std::to_string(entry.offset) + ",\"start\":" + std::to_string(start) +
               ",\"size\":" + std::to_string(entry.size) + ",\"status\":\"" + Verdict(archive, entry) + "\"}";
        if (out.size() >= 64 * 1024) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    out += "\n]}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return kExitDone;
}

int Scan(PakArchive& archive, const std::optional<SystemPath>& reportPath)
{
    NoProgress progress;
    const int written = reportPath ? archive.WriteScanLogAs(*reportPath, progress) : archive.WriteScanLog(progress);
    if (written == 1)
        return kExitDone;
    Complain("can't write the report '" + Printable(reportPath ? reportPath->Text() : kScanLogName) +
             "': " + ExtractFailureText(archive.LastReportFailure()));
    return kExitIncomplete;
}

// True when `path` is to be extracted; marks every pattern that matches it.
bool IsSelected(const std::string& path, const std::vector<std::string>& patterns, std::vector<bool>& matched)
{
    bool selected = patterns.empty();
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        if (MatchesPattern(patterns[i], path)) {
            matched[i] = true;
            selected = true;
        }
    }
    return selected;
}

int Extract(PakArchive& archive, const Options& options)
{
    std::string why;
    if (options.folder && !SetCurrentFolder(*options.folder, &why)) {
        Complain("can't enter '" + Printable(options.folder->Text()) + "': " + why);
        return kExitIncomplete;
    }
    std::vector<bool> matched(options.patterns.size(), false);
    std::uint32_t extracted = 0;
    std::uint32_t failed = 0;
    ProgressLine progress;
    const std::uint32_t count = archive.m_numFiles;
    progress.Show(0, count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string path = EntryPath(archive.m_table[i]);
        if (IsSelected(path, options.patterns, matched)) {
            const int result = archive.ExtractEntry(i);
            if (result == 0) {
                ++extracted;
            } else {
                ++failed;
                progress.Clear();
                std::fprintf(stderr, "%s: entry %" PRIu32 " (%s): %s\n", kProgram, i, Printable(path).c_str(),
                             ExtractFailureText(archive.LastExtractFailure()).c_str());
            }
        }
        progress.Show(i + 1, count);
    }
    progress.Clear();

    bool allMatched = true;
    for (std::size_t i = 0; i < options.patterns.size(); ++i) {
        if (!matched[i]) {
            Complain("no entry matches '" + Printable(options.patterns[i]) + "'");
            allMatched = false;
        }
    }
    std::printf("%" PRIu32 " extracted, %" PRIu32 " failed\n", extracted, failed);
    return failed == 0 && allMatched ? kExitDone : kExitIncomplete;
}

// The library's progress calls drawn as a progress line.
class ProgressLineBar final : public ProgressBar {
public:
    explicit ProgressLineBar(ProgressLine& line) : m_line(line) {}
    void SetRange32(int, int high) override { m_high = static_cast<std::uint32_t>(high); }
    void SetPos(int pos) override { m_line.Show(static_cast<std::uint32_t>(pos), m_high); }

private:
    ProgressLine& m_line;
    std::uint32_t m_high = 0;
};

// What create says about an item: "can't add 'PATH': REASON", or with
// --skip-unsupported "left out 'PATH': REASON".
void ComplainAbout(const char* what, const std::string& path, const std::string& reason)
{
    Complain(std::string(what) + " '" + Printable(path) + "': " + reason);
}

// Lists FOLDER as create does, or says why it can't and gives the exit
// status.
bool ListCreateFolder(const Options& options, PakTree& tree, int& status)
{
    PakTreeFailure listing;
    const bool listed = options.like ? ListPakFolder(options.tree, options.archive, *options.like, tree, listing)
                                     : ReadPakTree(options.tree, options.archive, tree, listing);
    if (listed)
        return true;
    if (listing.path.empty()) {
        Complain("can't read the folder '" + Printable(options.tree.Text()) + "': " +
                 ExtractFailureText(listing.reason));
        status = kExitCantOpen;
        return false;
    }
    ComplainAbout("can't add", listing.path, ExtractFailureText(listing.reason));
    Complain("nothing written");
    status = kExitIncomplete;
    return false;
}

// What WritePak and WritePakLike say when they wrote nothing.
int WriteFailed(const Options& options, const std::vector<PakInput>& inputs, const PakWriteFailure& failure)
{
    if (failure.problem == PakWriteProblem::CantWrite) {
        ComplainAbout("can't write", options.archive.Text(), PakWriteFailureText(failure));
        return kExitIncomplete;
    }
    const std::string original = options.like ? Printable(options.like->Text()) : std::string();
    if (failure.input < inputs.size())
        ComplainAbout("can't add", PakPath(inputs[failure.input].dir, inputs[failure.input].name),
                      PakWriteFailureText(failure));
    else if (failure.problem == PakWriteProblem::Refused)
        Complain("can't lay out an archive like '" + original + "' anew: " + PakWriteFailureText(failure));
    else
        Complain("can't read the original '" + original + "': " + PakWriteFailureText(failure));
    Complain("nothing written");
    return kExitIncomplete;
}

int Create(const Options& options)
{
    PakOriginal original;
    if (options.like) {
        std::string why;
        if (ReadPakOriginal(*options.like, original, why) == 0) {
            std::fprintf(stderr, "%s: can't read the original '%s': %s", kProgram,
                         Printable(options.like->Text()).c_str(), why.c_str());
            return kExitCantOpen;
        }
    }
    PakTree tree;
    int status = kExitDone;
    if (!ListCreateFolder(options, tree, status))
        return status;
    for (const PakRefusal& item : tree.passedOver)
        ComplainAbout("left out", item.path, PakRuleText(item.rule));
    PakLike like;
    if (options.like)
        like = MatchPakLike(original, tree);
    const std::vector<PakRefusal>& refusals = options.like ? like.extra : tree.refusals;
    for (const PakRefusal& refusal : refusals)
        ComplainAbout(options.skipUnsupported ? "left out" : "can't add", refusal.path, PakRuleText(refusal.rule));
    for (const PakRefusal& entry : like.missing) {
        if (options.skipUnsupported)
            Complain("kept '" + Printable(entry.path) + "' from the original: " + PakRuleText(entry.rule));
        else
            ComplainAbout("missing", entry.path, PakRuleText(entry.rule));
    }
    if ((!refusals.empty() || !like.missing.empty()) && !options.skipUnsupported) {
        Complain("nothing written (--skip-unsupported writes the rest)");
        return kExitIncomplete;
    }

    const std::vector<PakInput>& inputs = options.like ? like.inputs : tree.inputs;
    ProgressLine line("creating");
    ProgressLineBar progress(line);
    PakWriteFailure failure;
    PakLikeLayout layout = PakLikeLayout::Kept;
    const int written = options.like ? WritePakLike(options.archive, original, inputs, progress, failure, layout)
                                     : WritePak(options.archive, inputs, progress, failure);
    line.Clear();
    if (written == 0)
        return WriteFailed(options, inputs, failure);
    if (options.like)
        std::printf("%zu added, %zu kept from the original, %zu left out (%s)\n", inputs.size() - like.missing.size(),
                    like.missing.size(), refusals.size(),
                    layout == PakLikeLayout::Kept ? "the original's layout" : "laid out anew");
    else
        std::printf("%zu added, %zu left out\n", inputs.size(), refusals.size());
    return kExitDone;
}

int Run(const Options& options)
{
    if (options.command == Command::Create)
        return Create(options);
    PakArchive archive;
    // Opened while the starting directory is current, before extract -C.
    if (!OpenAndLoad(archive, options.archive))
        return kExitCantOpen;
    switch (options.command) {
    case Command::List: return options.json ? ListJson(archive) : ListText(archive);
    case Command::Scan: return Scan(archive, options.reportPath);
    case Command::Extract: return Extract(archive, options);
    case Command::Create: break;
    }
    return kExitUsage;
}

} // namespace

#ifdef _WIN32
// wmain: the command line in UTF-16 (linked with -municode).
int wmain(int argc, wchar_t** argv)
#else
int main(int argc, char** argv)
#endif
{
    InstallOutputSignalHandlers();
    UseBinaryStandardStreams();
    int status = kExitDone;
    try {
        Options options;
        std::string why;
        switch (ParseCommandLine(CommandLineArguments(argc, argv), options, why)) {
        case Request::Help:
            std::fputs(kHelpText, stdout);
            break;
        case Request::Version:
            std::printf("%s %s\n", kProgram, PAK_PROJECT_VERSION);
            break;
        case Request::Wrong:
            Complain(why);
            std::fprintf(stderr, "Try '%s --help' for more information.\n", kProgram);
            return kExitUsage;
        case Request::Run:
            status = Run(options);
            break;
        }
    } catch (const std::bad_alloc&) {
        Complain("out of memory");
        return kExitOutOfMemory;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        Complain("can't write to standard output");
        if (status == kExitDone)
            status = kExitIncomplete;
    }
    return status;
}
