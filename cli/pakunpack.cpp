// pakunpack: lists, reports on, extracts and creates ".pak" archives from the
// command line, through the same archive calls as the dialog, and never asks
// anything.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "extract_jobs.h"
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

// extract -j: never more threads than this, whatever N says.
constexpr unsigned kMaxJobs = 64;

constexpr const char* kHelpText = R"(Usage: pakunpack list ARCHIVE [--json]
       pakunpack scan ARCHIVE [-o FILE]
       pakunpack extract ARCHIVE [-C DIR] [-j N] [PATTERN ...]
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
                    "start": D+O, "size": Z, "status": "GOOD"|"FAILD"
                    [, "replaces": J]}, ...]}
    "replaces" marks an entry that extract would write over entry J's file
    (see extract). Numbers are unsigned decimal. A text T is a JSON string
    when it is valid UTF-8 and otherwise an array of its byte values (0-255),
    so every name comes back byte for byte.

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
    the run goes on. Entries whose names this system makes one file name
    ('/' and '_' alike; on Windows every character a name can't hold, a last
    dot or space, and letter case too) are written in table order, so the
    later one wins, and each such entry is one line on stderr,
      pakunpack: entry INDEX (PATH) replaced entry INDEX (PATH): same file here
    but not a name the archive repeats. It ends with "N extracted, M failed"
    on stdout, and ", K replaced by a later entry" when there were such
    lines. While it runs, a progress line is shown on stderr when stderr is a
    terminal.
  -C DIR
    Extracts into DIR, which must exist, instead of the current directory.
    A relative ARCHIVE is found before changing into DIR.
  -j N
    Extracts on N threads (at most 64); by default on as many as there are
    processor cores pakunpack may use. Entries that can land on the same
    folder or file go through one thread in table order, and every line is
    printed in table order, so that any N gives the output, exit status and
    files that -j 1, one thread in table order, gives.

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
A PATTERN that matches no entry is reported on stderr. On Windows a PATTERN
is matched as typed, character by character, against the characters of
the names in the ANSI code page.

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

// Paths as the command line gives them; patterns too, since on Windows they
// are matched as typed.
struct Options {
    Command command = Command::List;
    SystemPath archive;
    bool json = false;
    std::optional<SystemPath> reportPath;   // scan -o
    std::optional<SystemPath> folder;       // extract -C
    unsigned jobs = 0;                      // extract -j; 0: one per usable core
    std::vector<SystemPath> patterns;       // as typed
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
        if ((arg == "-o" && command == "scan") || ((arg == "-C" || arg == "-j") && command == "extract") ||
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

// The number of threads `text` asks for: 1 or more, decimal digits only, at
// most kMaxJobs (a larger number counts as kMaxJobs). 0 when it asks for none.
unsigned JobsOf(const std::string& text)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const std::string digits = text.substr(std::min(text.find_first_not_of('0'), text.size()));
    if (digits.size() > 4)
        return kMaxJobs;
    return digits.empty() ? 0 : std::min(static_cast<unsigned>(std::stoul(digits)), kMaxJobs);
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
        } else if (arg == "-j" && options.command == Command::Extract) {
            options.jobs = hasValue ? JobsOf(args[++i].Text()) : 0;
            if (options.jobs == 0) {
                why = "option '-j' needs a number of threads, 1 or more";
                return false;
            }
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
    options.patterns.assign(operands.begin() + 1, operands.end());
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

// Whether the entry starts within the declared size, as ExtractEntry asks first.
bool IsEntryInside(const PakArchive& archive, const PakEntry& entry)
{
    return archive.m_dataStart + entry.offset < archive.m_archiveSize;   // wraps on purpose
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
        Complain("can't find the current folder's path, which '" + PrintablePath(path.Text()) + "' starts from");
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

// FNV-1a from `basis`, which each run draws anew, so that no archive can be
// made to put many different paths under one hash. Its upper half is what
// the grouping keeps.
std::uint32_t Fnv1a(const std::string& text, std::uint64_t basis)
{
    std::uint64_t hash = basis;
    for (const char c : text)
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3u;
    return static_cast<std::uint32_t>(hash >> 32);
}

bool SamePath(const PakEntry& a, const PakEntry& b)
{
    return a.dir == b.dir && a.name == b.name;
}

// The entries among `chosen` that land on one file, group by group, each in
// table order: those whose outputs the system takes for the same file
// although their paths are not all the same (a name the archive repeats is
// no news). A key is as long as its path, so all the entries hold only 8
// bytes each, a 32-bit hash of the key and the entry's index in one number,
// in one block sized once (the table itself takes about 80 bytes an entry,
// and the whole run keeps to 4 x the file + 64 MiB), and where hashes meet
// each different key is held once.
std::vector<std::vector<std::uint32_t>> SameFileGroups(const PakArchive& archive, const std::vector<bool>& chosen)
{
    const std::uint64_t basis = std::uint64_t{std::random_device()()} << 32 ^ std::random_device()();
    std::vector<std::uint64_t> hashes;
    hashes.reserve(static_cast<std::size_t>(std::count(chosen.begin(), chosen.end(), true)));
    for (std::uint32_t i = 0; i < chosen.size(); ++i) {
        const std::string key = chosen[i] ? OutputFileKey(archive.m_table[i]) : std::string();
        if (!key.empty())
            hashes.push_back(std::uint64_t{Fnv1a(key, basis)} << 32 | i);
    }
    std::sort(hashes.begin(), hashes.end());   // by hash, then in table order
    const auto hashOf = [&hashes](std::size_t k) { return hashes[k] >> 32; };
    std::vector<std::vector<std::uint32_t>> groups;
    for (std::size_t first = 0, end = 0; first < hashes.size(); first = end) {
        for (end = first + 1; end < hashes.size() && hashOf(end) == hashOf(first);)
            ++end;
        if (end - first < 2)
            continue;
        std::vector<std::pair<std::string, std::vector<std::uint32_t>>> keys;
        for (std::size_t k = first; k < end; ++k) {
            const auto i = static_cast<std::uint32_t>(hashes[k]);
            std::string key = OutputFileKey(archive.m_table[i]);
            const auto sameKey = [&key](const auto& known) { return known.first == key; };
            auto same = std::find_if(keys.begin(), keys.end(), sameKey);
            if (same == keys.end())
                same = keys.insert(keys.end(), {std::move(key), {}});
            same->second.push_back(i);
        }
        for (auto& known : keys) {
            std::vector<std::uint32_t>& group = known.second;
            const PakEntry& head = archive.m_table[group.front()];
            const auto differs = [&](std::uint32_t i) { return !SamePath(head, archive.m_table[i]); };
            if (std::any_of(group.begin(), group.end(), differs))
                groups.push_back(std::move(group));
        }
    }
    return groups;
}

// Which entry's file each entry of `groups` that is `written` replaces: the
// one written before it in its group, when their paths differ. Pairs of the
// later entry and the earlier one, in table order of the later.
std::vector<std::pair<std::uint32_t, std::uint32_t>> Replacements(
    const PakArchive& archive, const std::vector<std::vector<std::uint32_t>>& groups, const std::vector<bool>& written)
{
    std::vector<std::pair<std::uint32_t, std::uint32_t>> replaced;
    for (const auto& group : groups) {
        std::optional<std::uint32_t> last;
        for (const std::uint32_t i : group) {
            if (!written[i])
                continue;
            if (last && !SamePath(archive.m_table[*last], archive.m_table[i]))
                replaced.emplace_back(i, *last);
            last = i;
        }
    }
    std::sort(replaced.begin(), replaced.end());
    return replaced;
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
    // The entries that extracting them all would write: all but those that
    // start beyond the declared size.
    std::vector<bool> inside(archive.m_numFiles);
    for (std::uint32_t i = 0; i < archive.m_numFiles; ++i)
        inside[i] = IsEntryInside(archive, archive.m_table[i]);
    const auto replaced = Replacements(archive, SameFileGroups(archive, inside), inside);
    auto next = replaced.begin();
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
               ",\"size\":" + std::to_string(entry.size) + ",\"status\":\"" + Verdict(archive, entry) + "\"";
        if (next != replaced.end() && next->first == i)
            out += ",\"replaces\":" + std::to_string((next++)->second);
        out += "}";
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
    Complain("can't write the report '" + PrintablePath(reportPath ? reportPath->Text() : kScanLogName) +
             "': " + ExtractFailureText(archive.LastReportFailure()));
    return kExitIncomplete;
}

// Which entries are to be extracted: all of them, or those a pattern
// matches. Marks every pattern that matches an entry in `matched`. On
// Windows both are matched as characters, so that a character of a pattern
// that the ANSI code page can't hold matches none, never the '?' it would be.
std::vector<bool> SelectEntries(const PakArchive& archive, const std::vector<SystemPath>& patterns,
                                std::vector<bool>& matched)
{
    std::vector<bool> selected(archive.m_numFiles, patterns.empty());
    std::vector<MatchText> typed;
    for (const SystemPath& pattern : patterns)
        typed.push_back(ForMatching(pattern));
    for (std::uint32_t i = 0; i < archive.m_numFiles && !patterns.empty(); ++i) {
        const MatchText path = ForMatching(EntryPath(archive.m_table[i]));
        for (std::size_t p = 0; p < patterns.size(); ++p) {
            if (MatchesPattern(typed[p], path)) {
                matched[p] = true;
                selected[i] = true;
            }
        }
    }
    return selected;
}

// What extract prints about its entries, in table order: a line on stderr
// for each that failed, the progress line meanwhile, the counts at the end.
class EntryLines {
public:
    EntryLines(const PakArchive& archive, ProgressLine& progress)
        : m_archive(archive), m_progress(progress), m_written(archive.m_numFiles, false)
    {
    }

    // Entry `index` is done, with `failure`'s result.
    void Done(std::uint32_t index, const ExtractFailure& failure)
    {
        if (failure.problem == ExtractProblem::None) {
            ++m_extracted;
            m_written[index] = true;
        } else {
            ++m_failed;
            m_progress.Clear();
            std::fprintf(stderr, "%s: entry %" PRIu32 " (%s): %s\n", kProgram, index,
                         Printable(EntryPath(m_archive.m_table[index])).c_str(), ExtractFailureText(failure).c_str());
        }
        m_progress.Show(index + 1, m_archive.m_numFiles);
    }

    // The entries written, by index.
    const std::vector<bool>& Written() const { return m_written; }

    // "N extracted, M failed", and how many entries replaced an earlier
    // one's file when any did.
    void PrintSummary(std::size_t replaced) const
    {
        std::printf("%" PRIu32 " extracted, %" PRIu32 " failed", m_extracted, m_failed);
        if (replaced != 0)
            std::printf(", %" PRIu32 " replaced by a later entry", static_cast<std::uint32_t>(replaced));
        std::printf("\n");
    }

    bool AnyFailed() const { return m_failed != 0; }

private:
    const PakArchive& m_archive;
    ProgressLine& m_progress;
    std::vector<bool> m_written;
    std::uint32_t m_extracted = 0;
    std::uint32_t m_failed = 0;
};

int Extract(PakArchive& archive, const Options& options)
{
    std::string why;
    if (options.folder && !SetCurrentFolder(*options.folder, &why)) {
        Complain("can't enter '" + PrintablePath(options.folder->Text()) + "': " + why);
        return kExitIncomplete;
    }
    std::vector<bool> matched(options.patterns.size(), false);
    const std::vector<bool> selected = SelectEntries(archive, options.patterns, matched);
    const auto sameFile = SameFileGroups(archive, selected);
    std::vector<std::uint32_t> chosen;
    for (std::uint32_t i = 0; i < archive.m_numFiles; ++i) {
        if (selected[i])
            chosen.push_back(i);
    }
    ProgressLine progress;
    EntryLines lines(archive, progress);
    const std::uint32_t count = archive.m_numFiles;
    progress.Show(0, count);
    ExtractSelected(archive, chosen, options.jobs != 0 ? options.jobs : std::min(UsableProcessors(), kMaxJobs),
                    [&lines](std::uint32_t index, const ExtractFailure& failure) { lines.Done(index, failure); });
    progress.Show(count, count);
    progress.Clear();

    // The later entry has won, as the system's own file replacement has it.
    const auto replaced = Replacements(archive, sameFile, lines.Written());
    for (const auto& [later, earlier] : replaced) {
        std::fprintf(stderr, "%s: entry %" PRIu32 " (%s) replaced entry %" PRIu32 " (%s): same file here\n",
                     kProgram, later, Printable(EntryPath(archive.m_table[later])).c_str(), earlier,
                     Printable(EntryPath(archive.m_table[earlier])).c_str());
    }

    bool allMatched = true;
    for (std::size_t i = 0; i < options.patterns.size(); ++i) {
        if (!matched[i]) {
            Complain("no entry matches '" + Printable(options.patterns[i].Text()) + "'");
            allMatched = false;
        }
    }
    lines.PrintSummary(replaced.size());
    return !lines.AnyFailed() && allMatched ? kExitDone : kExitIncomplete;
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
