// pakunpack create: the round trip with list and extract byte for byte, each
// item the format can't hold refused by name and rule, and nothing written
// unless everything can be.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "cli_support.h"
#include "pak_builder.h"
#include "pak_writer.h"
#include "test_files.h"
#include "test_platform.h"

namespace {

using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

constexpr std::uint64_t kTwoGiB = std::uint64_t{1} << 31;

// A new file `path` holding `bytes`, its folders made first.
void Put(const std::string& path, const std::string& bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    WriteBytes(path, bytes);
}

// The path column of pakunpack list's output.
Strings ListedPaths(const std::string& listing)
{
    Strings paths;
    for (std::size_t start = 0, end; (end = listing.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = listing.substr(start, end - start);
        paths.push_back(line.substr(line.rfind('\t') + 1));
    }
    return paths;
}

// The tree comes back from its archive as it was, and the archive from the
// extracted tree byte for byte, with and without --like: thousands of
// entries, empty files, every byte value, folder names of three and four
// characters, entries in the order create gives (top-level files, then each
// folder, names in byte order).
TEST(Create, RoundTripGivesBackTheTreeAndTheArchiveByteForByte)
{
    ScratchDir dir;
    Strings order{"B.txt", "a.txt", "empty.dat", "z.bin"};
    Put("tree/a.txt", "hello");
    Put("tree/B.txt", std::string("\0\1\xFF\n", 4));
    Put("tree/empty.dat", "");
    Put("tree/z.bin", NumberedBytes(3 << 20));   // more than one copy block
    for (const std::string folder : {"snd", "maps", "a.b.c"}) {
        for (int i = 0; i < 700; ++i) {
            const std::string name = folder + "/f" + std::to_string(1000 + i) + ".dat";
            Put("tree/" + name, i % 7 == 0 ? std::string() : NumberedBytes(static_cast<std::size_t>(i)));
        }
    }
    for (const std::string folder : {"a.b.c", "maps", "snd"}) {
        for (int i = 0; i < 700; ++i)
            order.push_back(folder + "/f" + std::to_string(1000 + i) + ".dat");
    }

    const RunResult created = Pakunpack({"create", "new.pak", "tree"});
    EXPECT_EQ(created.status, 0);
    EXPECT_EQ(created.out, "2104 added, 0 left out\n");
    EXPECT_EQ(created.err, "");
    EXPECT_EQ(ListedPaths(Pakunpack({"list", "new.pak"}).out), order);

    fs::create_directory("out");
    EXPECT_EQ(Pakunpack({"extract", "new.pak", "-C", "out"}).out, "2104 extracted, 0 failed\n");
    const Strings tree = ListTree("tree");
    ASSERT_EQ(ListTree("out"), tree);
    for (const std::string& path : tree) {
        if (path.back() != '/' && ReadBytes("out/" + path) != ReadBytes("tree/" + path))
            ADD_FAILURE() << path << " differs";
    }

    EXPECT_EQ(Pakunpack({"create", "again.pak", "out"}).status, 0);
    EXPECT_EQ(ReadBytes("again.pak"), ReadBytes("new.pak"));
    const RunResult like = Pakunpack({"create", "like.pak", "out", "--like", "new.pak"});
    EXPECT_EQ(like.out, "2104 added, 0 kept from the original, 0 left out (the original's layout)\n");
    EXPECT_EQ(ReadBytes("like.pak"), ReadBytes("new.pak"));
}

// Each item an archive can't hold is one line naming it and the rule it
// breaks, in path order; then nothing is written. --skip-unsupported writes
// the rest and names what it left out.
TEST(Create, EachItemTheFormatCantHoldIsRefusedByNameAndRule)
{
    ScratchDir dir;
    Put("tree/a.txt", "kept");
    const std::string f128(128, 'f');
    const std::string longName = std::string(250, 'n') + ".dat";
    const struct {
        std::string made;   // a file, or a folder when it ends in '/'
        std::string item;   // as the line names it
        std::string rule;
        bool possible = true;
    } rows[] = {
        {"readme", "readme", "a file name needs an extension of three characters (name.ext)"},
        {"ab/b.dat", "ab/", "a folder name needs three characters at least (a record's first three bytes never end it)"},
        {"x.abcde/b.dat", "x.abcde/", "a folder name with a dot sixth from its end reads back as a file name"},
        {f128 + "/b.dat", f128 + "/", "a folder name has 127 characters at most"},
        {"abcde/" + longName, "abcde/" + longName, "a path (folder/name) has 255 characters at most"},
        {"abcde/deeper/b.dat", "abcde/deeper/", "a folder in a folder (an archive holds one folder level)"},
        {"empty/", "empty/", "an empty folder (an archive holds a folder only through its files)"},
        {"huge.bin", "huge.bin", "larger than 2147483647 bytes"},
        {"big.bin", "big.bin", "it would lie past 2 GiB in the archive"},
        {"back\\slash.txt", "back\\\\slash.txt", "a name can't hold a backslash, '/' or NUL", kPosixSystem},
        {"fifo.bin", "fifo.bin", "not a regular file", kPosixSystem},
        {"link.txt", "link.txt", "a symbolic link (links are not followed)", CanMakeSymbolicLinks()},
#ifdef _WIN32
        // A fullwidth q, which Western code pages show as "q".
        {"\xEF\xBD\x91.txt", "q.txt", "the ANSI code page can't hold its name"},
        {"_nul.txt", "_nul.txt", "a device name with '_' in front, as extraction writes one"},
#endif
    };
    std::vector<std::pair<std::string, std::string>> lines;
    for (const auto& row : rows) {
        if (!row.possible)
            continue;   // the system can't make what the row needs
        const std::string made = "tree/" + row.made;
        if (row.made == "huge.bin" || row.made == "big.bin") {
            Put(made, "");
            fs::resize_file(made, row.made == "huge.bin" ? kTwoGiB : kTwoGiB - 1);   // a hole: nothing is read
        } else if (row.made == "fifo.bin") {
            ASSERT_EQ(::mkfifo(made.c_str(), 0644), 0);
        } else if (row.made == "link.txt") {
            ASSERT_EQ(::symlink("a.txt", made.c_str()), 0);
        } else if (made.back() == '/') {
            fs::create_directories(made);
#ifdef _WIN32
        } else if (row.item == "q.txt") {
            WriteBytes(PathFromWide(L"tree\\\uFF51.txt"), "q");
#endif
        } else {
            Put(made, "x");
        }
        lines.emplace_back(row.item, row.rule);
    }
    std::sort(lines.begin(), lines.end());
    std::string refused, leftOut;
    for (const auto& [item, rule] : lines) {
        refused += "pakunpack: can't add '" + item + "': " + rule + "\n";
        leftOut += "pakunpack: left out '" + item + "': " + rule + "\n";
    }

    const Strings before = ListTree(dir.Path());
    const RunResult run = Pakunpack({"create", "new.pak", "tree"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, refused + "pakunpack: nothing written (--skip-unsupported writes the rest)\n");
    EXPECT_EQ(ListTree(dir.Path()), before);

    const RunResult skipped = Pakunpack({"create", "--skip-unsupported", "new.pak", "tree"});
    EXPECT_EQ(skipped.status, 0);
    EXPECT_EQ(skipped.out, "1 added, " + std::to_string(lines.size()) + " left out\n");
    EXPECT_EQ(skipped.err, leftOut);
    EXPECT_EQ(Pakunpack({"list", "new.pak"}).out, "0\t0x00000074\t4\tGOOD\ta.txt\n");

    // Without a top-level file, no folder's file can come first.
    Put("folders/abcde/b.dat", "b");
    const RunResult noTop = Pakunpack({"create", "top.pak", "folders"});
    EXPECT_EQ(noTop.status, 1);
    EXPECT_EQ(noTop.err, "pakunpack: can't add 'abcde/b.dat': no top-level file comes before it (an archive starts "
                         "with one)\npakunpack: nothing written (--skip-unsupported writes the rest)\n");
}

// An archive no writer here makes: the reader's skipped bytes not zero, the
// data out of table order with gaps, names extraction changes ("x/y.txt" is
// written as x_y.txt, "nul.txt" on Windows as _nul.txt), two entries on one
// file, the later one's, and one past the declared size, never extracted.
std::string UnusualArchive()
{
    // The name records end at 92 + 7 * 16 + 68 = 272; D = 276.
    return PakBuilder()
        .Header(/*numFiles=*/7, /*dataStart=*/276, /*size=*/324)
        .TableRecord(/*offset=*/40, /*size=*/5)   // x/y.txt
        .TableRecord(/*offset=*/30, /*size=*/3)   // nul.txt
        .TableRecord(/*offset=*/20, /*size=*/4)   // a/b.txt
        .TableRecord(/*offset=*/10, /*size=*/6)   // a_b.txt
        .TableRecord(/*offset=*/0, /*size=*/2)    // snd/e.ogg
        .TableRecord(/*offset=*/5, /*size=*/0)    // snd/d.ogg
        .TableRecord(/*offset=*/60, /*size=*/1)   // snd/f.ogg, past S
        .File("x/y.txt").File("nul.txt").File("a/b.txt").Dir("snd").File("a_b.txt").File("e.ogg").File("d.ogg")
        .File("f.ogg")
        .DataAt(276, std::string(48, '\x77'))
        .DataAt(276, "ee").DataAt(286, "a_b a_").DataAt(296, "a/b ").DataAt(306, "nul").DataAt(316, "x/y x")
        .Bytes();
}

// The scan report without its Name: line.
std::string ReportOf(const std::string& archive)
{
    EXPECT_EQ(Pakunpack({"scan", archive, "-o", "report.txt"}).status, 0);
    std::string report = ReadBytes("report.txt");
    const std::size_t name = report.find("Name:");
    return report.erase(name, report.find('\n', name) - name);
}

// create --like from the tree extract made of an archive gives an archive
// that lists, reports and extracts as the original: here the original's own
// bytes, since every file fits its entry. The earlier of two entries on one
// file and the entry extraction doesn't write have no file of their own:
// refused, or kept from the original.
TEST(CreateLike, ExtractedTreeGivesBackTheOriginal)
{
    ScratchDir dir;
    WriteBytes("orig.pak", UnusualArchive());
    fs::create_directory("out");
    EXPECT_EQ(Pakunpack({"extract", "orig.pak", "-C", "out"}).out, "6 extracted, 1 failed, 1 replaced by a later entry\n");

    const RunResult refused = Pakunpack({"create", "new.pak", "out", "--like", "orig.pak"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "pakunpack: missing 'a/b.txt': a later entry is extracted to its file\n"
                           "pakunpack: missing 'snd/f.ogg': extraction doesn't write it (its name is refused or it "
                           "starts at or past the declared size)\n"
                           "pakunpack: nothing written (--skip-unsupported writes the rest)\n");
    EXPECT_FALSE(Exists("new.pak"));

    const RunResult created = Pakunpack({"create", "new.pak", "out", "--like", "orig.pak", "--skip-unsupported"});
    EXPECT_EQ(created.status, 0);
    EXPECT_EQ(created.out, "5 added, 2 kept from the original, 0 left out (the original's layout)\n");
    EXPECT_EQ(created.err, "pakunpack: kept 'a/b.txt' from the original: a later entry is extracted to its file\n"
                           "pakunpack: kept 'snd/f.ogg' from the original: extraction doesn't write it (its name is "
                           "refused or it starts at or past the declared size)\n");
    EXPECT_EQ(Pakunpack({"list", "new.pak"}).out, Pakunpack({"list", "orig.pak"}).out);
    EXPECT_EQ(ReportOf("new.pak"), ReportOf("orig.pak"));
    EXPECT_EQ(ReadBytes("new.pak"), ReadBytes("orig.pak"));
    fs::create_directory("again");
    EXPECT_EQ(Pakunpack({"extract", "new.pak", "-C", "again"}).out, "6 extracted, 1 failed, 1 replaced by a later entry\n");
    const Strings tree = ListTree("out");
    ASSERT_EQ(ListTree("again"), tree);
    for (const std::string& path : tree) {
        if (path.back() != '/') {
            EXPECT_EQ(ReadBytes("again/" + path), ReadBytes("out/" + path)) << path;
        }
    }
}

// A file of another length lays the archive out anew, the entries still in
// the original's order with its names; a file that is no entry is refused
// or left out, an entry with no file refused or kept from the original, and
// the original itself in the folder is no entry.
TEST(CreateLike, ChangedTreeIsLaidOutAnewWithWhatItLacksNamed)
{
    ScratchDir dir;
    WriteBytes("orig.pak", UnusualArchive());
    fs::create_directory("out");
    ASSERT_EQ(Pakunpack({"extract", "orig.pak", "-C", "out"}).out, "6 extracted, 1 failed, 1 replaced by a later entry\n");
    WriteBytes("out/snd/e.ogg", "longer");
    WriteBytes("out/extra.txt", "extra");
    fs::remove("out/snd/d.ogg");
    fs::rename("orig.pak", "out/orig.pak");

    const RunResult refused = Pakunpack({"create", "new.pak", "out", "--like", "out/orig.pak"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "pakunpack: left out 'orig.pak': it is the original archive\n"
                           "pakunpack: can't add 'extra.txt': not an entry of the original\n"
                           "pakunpack: missing 'a/b.txt': a later entry is extracted to its file\n"
                           "pakunpack: missing 'snd/d.ogg': no file in the folder where extraction writes it\n"
                           "pakunpack: missing 'snd/f.ogg': extraction doesn't write it (its name is refused or it "
                           "starts at or past the declared size)\n"
                           "pakunpack: nothing written (--skip-unsupported writes the rest)\n");
    EXPECT_FALSE(Exists("new.pak"));

    const RunResult created =
        Pakunpack({"create", "new.pak", "out", "--like", "out/orig.pak", "--skip-unsupported"});
    EXPECT_EQ(created.status, 0);
    EXPECT_EQ(created.out, "4 added, 3 kept from the original, 1 left out (laid out anew)\n");
    // D follows the name records; the data in table order, f.ogg still at S.
    EXPECT_EQ(Pakunpack({"list", "new.pak"}).out, "0\t0x00000110\t5\tGOOD\tx/y.txt\n"
                                                  "1\t0x00000115\t3\tGOOD\tnul.txt\n"
                                                  "2\t0x00000118\t4\tGOOD\ta/b.txt\n"
                                                  "3\t0x0000011C\t6\tGOOD\ta_b.txt\n"
                                                  "4\t0x00000122\t6\tGOOD\tsnd/e.ogg\n"
                                                  "5\t0x00000127\t0\tGOOD\tsnd/d.ogg\n"
                                                  "6\t0x00000128\t1\tFAILD\tsnd/f.ogg\n");
    const std::string bytes = ReadBytes("new.pak");
    const std::string original = ReadBytes("out/orig.pak");
    EXPECT_EQ(bytes.substr(0, 84), original.substr(0, 84)) << "signature, skipped bytes, N";
    EXPECT_EQ(bytes.substr(92 + 8, 8), original.substr(92 + 8, 8)) << "a record's skipped bytes";
    EXPECT_EQ(bytes.substr(204, 68), original.substr(204, 68)) << "the name records";
    EXPECT_EQ(bytes.substr(272), "x/y xnula/b a_b a_longer");
}

// The archive being written is never an input of its own: written into its
// folder a second time, it comes out the same.
TEST(Create, ArchiveInItsOwnFolderIsLeftOut)
{
    ScratchDir dir;
    Put("tree/a.txt", "hello");
    Put("tree/abcde/b.dat", "bdat");
    ASSERT_EQ(Pakunpack({"create", "tree/new.pak", "tree"}).status, 0);
    const std::string first = ReadBytes("tree/new.pak");
    const RunResult again = Pakunpack({"create", "tree/new.pak", "tree"});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, "2 added, 0 left out\n");
    EXPECT_EQ(again.err, "pakunpack: left out 'new.pak': it is the archive being written\n");
    EXPECT_EQ(ReadBytes("tree/new.pak"), first);
}

TEST(Create, WrongCommandLinesAndFoldersThatCantBeRead)
{
    ScratchDir dir;
    Put("tree/a.txt", "hello");
#ifdef _WIN32
    const std::string missing = SystemErrorText(ERROR_FILE_NOT_FOUND);
    const std::string notFolder = SystemErrorText(ERROR_DIRECTORY);
#else
    const std::string missing = std::strerror(ENOENT);
    const std::string notFolder = std::strerror(ENOTDIR);
#endif
    const struct {
        Strings args;
        int status;
        std::string err;
    } rows[] = {
        {{"create"}, 64, "no NEW.pak given\nTry 'pakunpack --help' for more information."},
        {{"create", "new.pak"}, 64, "no FOLDER given\nTry 'pakunpack --help' for more information."},
        {{"create", "new.pak", "tree", "more"}, 64, "unexpected argument 'more'\nTry 'pakunpack --help' for more "
                                                    "information."},
        {{"list", "new.pak", "--skip-unsupported"}, 64, "unknown option '--skip-unsupported' for list\nTry "
                                                        "'pakunpack --help' for more information."},
        {{"create", "new.pak", "missing"}, 2, "can't read the folder 'missing': " + missing},
        {{"create", "new.pak", "tree/a.txt"}, 2, "can't read the folder 'tree/a.txt': " + notFolder},
        {{"create", "missing/new.pak", "tree"}, 1, "can't write 'missing/new.pak': " + missing},
        {{"create", "new.pak", "tree", "--like"}, 64, "option '--like' needs an archive\nTry 'pakunpack --help' for "
                                                      "more information."},
        {{"create", "new.pak", "tree", "--like", "tree/a.txt"}, 2, "can't read the original 'tree/a.txt': Error!It`s "
                                                                   "not Corvane PAK file!"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.err);
        const RunResult run = Pakunpack(row.args);
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "pakunpack: " + row.err + "\n");
        EXPECT_EQ(ListTree(dir.Path()), (Strings{"tree/", "tree/a.txt"}));
    }
}

// A write that fails in the middle (here at a file-size limit) leaves an
// old archive as it was and no partial one; progress shows on a terminal.
TEST(Create, FailedWriteLeavesNothingAndProgressShowsOnATerminal)
{
    SKIP_UNLESS_POSIX("file-size limits and pseudo-terminals");
    ScratchDir dir;
    Put("tree/a.txt", NumberedBytes(3000));
    Put("tree/b.txt", "b");
    WriteBytes("new.pak", "old");
    RunSetup limited;
    limited.fileSizeLimit = 1000;
    const RunResult run = Pakunpack({"create", "new.pak", "tree"}, limited);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "pakunpack: can't write 'new.pak': " + std::string(std::strerror(EFBIG)) + "\n");
    EXPECT_EQ(ListTree(dir.Path()), (Strings{"new.pak", "tree/", "tree/a.txt", "tree/b.txt"}));
    EXPECT_EQ(ReadBytes("new.pak"), "old");

    RunSetup terminal;
    terminal.stderrOnTerminal = true;
    const RunResult shown = Pakunpack({"create", "new.pak", "tree"}, terminal);
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.err.find("\rcreating: 2/2"), std::string::npos) << shown.err;
    EXPECT_EQ(shown.err.substr(shown.err.rfind('\r')), "\r") << "the line is wiped at the end";
}

} // namespace
