// pakunpack as a user runs it: exit statuses, usage errors, list and --json,
// the report, the extracted tree, failure lines, patterns and progress.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "cli_support.h"
#include "file_io.h"
#include "pak_archive.h"
#include "pak_builder.h"
#include "test_files.h"
#include "test_platform.h"

namespace {

using Strings = std::vector<std::string>;

// Each test runs in a fresh current folder that holds "mixed.pak": six
// entries over data start 300 and declared size 320,
//   0 a.txt "hello", 1 maps/b.dat "bdat", 2 maps/c.dat runs past the size,
//   3 maps/wrap.bin starts at a wrapped 0x2C, 4 snd/d.wav "wav",
//   5 snd/e<ESC>.ogg starts beyond the size.
class PakunpackTest : public ::testing::Test {
protected:
    PakunpackTest()
    {
        WriteBytes("mixed.pak", PakBuilder()
                                    .Header(/*numFiles=*/6, /*dataStart=*/300, /*size=*/320)
                                    .TableRecord(0, 5).TableRecord(5, 4).TableRecord(9, 100)
                                    .TableRecord(0xFFFFFF00, 4).TableRecord(13, 3).TableRecord(0x1000, 1)
                                    // A directory record applies from the entry after the one it precedes.
                                    .Dir("maps").File("a.txt").File("b.dat").File("c.dat")
                                    .Dir("snd").File("wrap.bin").File("d.wav").File("e\x1B.ogg")
                                    .DataAt(300, "hellobdatc123wav")
                                    .Bytes());
    }
    ScratchDir dir;
};

TEST_F(PakunpackTest, WrongCommandLinesExitWith64BeforeOpeningAnything)
{
    const std::pair<Strings, std::string> rows[] = {
        {{}, "no command given"},
        {{"unpack", "a.pak"}, "unknown command 'unpack'"},
        {{"-x"}, "unknown option '-x'"},
        {{"list"}, "no ARCHIVE given"},
        {{"list", "a.pak", "b\n.pak"}, "unexpected argument 'b\\x0A.pak'"},
        {{"scan", "a.pak", "b.pak"}, "unexpected argument 'b.pak'"},
        {{"scan", "a.pak", "--json"}, "unknown option '--json' for scan"},
        {{"list", "a.pak", "-C", "d"}, "unknown option '-C' for list"},
        {{"extract", "a.pak", "-o", "f"}, "unknown option '-o' for extract"},
        {{"scan", "a.pak", "-o"}, "option '-o' needs a file name"},
        {{"extract", "a.pak", "-C"}, "option '-C' needs a folder"},
        {{"extract", "a.pak", "*.txt", "-v"}, "unknown option '-v' for extract"},
        {{"extract", "a.pak", "-j"}, "option '-j' needs a number of threads, 1 or more"},
        {{"extract", "a.pak", "-j", "0"}, "option '-j' needs a number of threads, 1 or more"},
        {{"extract", "a.pak", "-j", "--help"}, "option '-j' needs a number of threads, 1 or more"},
        {{"scan", "a.pak", "-j", "2"}, "unknown option '-j' for scan"},
    };
    for (const auto& [args, complaint] : rows) {
        SCOPED_TRACE(complaint);
        const RunResult run = Pakunpack(args);
        EXPECT_EQ(run.status, 64);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "pakunpack: " + complaint + "\nTry 'pakunpack --help' for more information.\n");
    }
}

TEST_F(PakunpackTest, HelpAndVersionGoToStdoutWhereverTheyStand)
{
    for (const Strings& args : {Strings{"--help"}, {"-h"}, {"extract", "missing.pak", "--help"}}) {
        const RunResult run = Pakunpack(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind("Usage: pakunpack list ARCHIVE [--json]\n", 0), 0u) << run.out;
        EXPECT_NE(run.out.find("\n  64  the command line was wrong\n"), std::string::npos);
        EXPECT_EQ(run.err, "");
    }
    EXPECT_EQ(Pakunpack({"list", "--version"}).out, std::string("pakunpack ") + PAK_PROJECT_VERSION + "\n");
    // After "--" it is a pattern, and the archive has to be opened.
    EXPECT_EQ(Pakunpack({"extract", "missing.pak", "--", "--help"}).status, 2);
}

TEST_F(PakunpackTest, ArchiveThatCantBeOpenedExitsWith2AndTheReadersText)
{
    WriteBytes("bad.pak", PakBuilder().Signature(5).Header(0, 92, 92).Bytes());
    WriteBytes("short.pak", PakBuilder().Header(3, 92, 92).Bytes());
    const Strings before = ListTree(dir.Path());
    for (const auto& [file, error] :
         {std::pair{"gone.pak", kErrCantOpen}, {"bad.pak", kErrNotPak}, {"short.pak", kErrDamaged}}) {
        for (const Strings& args :
             {Strings{"list", file}, {"list", "--json", file}, {"scan", file}, {"extract", file}}) {
            SCOPED_TRACE(args[0] + " " + file);
            const RunResult run = Pakunpack(args);
            EXPECT_EQ(run.status, 2);
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.err, std::string("pakunpack: ") + error);
            EXPECT_EQ(ListTree(dir.Path()), before);
        }
    }
}

TEST_F(PakunpackTest, ListPrintsOneLinePerEntryAndJsonTheSameWithTheHeader)
{
    const RunResult text = Pakunpack({"list", "mixed.pak"});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.err, "");
    EXPECT_EQ(text.out, "0\t0x0000012C\t5\tGOOD\ta.txt\n"
                        "1\t0x00000131\t4\tGOOD\tmaps/b.dat\n"
                        "2\t0x00000135\t100\tFAILD\tmaps/c.dat\n"
                        "3\t0x0000002C\t4\tFAILD\tmaps/wrap.bin\n"
                        "4\t0x00000139\t3\tGOOD\tsnd/d.wav\n"
                        "5\t0x0000112C\t1\tFAILD\tsnd/e\x1B.ogg\n");

#ifdef PAK_TESTS_READ_JSON
    const RunResult json = Pakunpack({"list", "mixed.pak", "--json"});
    EXPECT_EQ(json.status, 0);
    const QJsonObject doc = ParseJson(json.out);
    EXPECT_EQ(doc["archive"].toString().toStdString(), dir / "mixed.pak");
    EXPECT_EQ((std::vector<qint64>{doc["numFiles"].toInteger(), doc["dataStart"].toInteger(),
                                   doc["archiveSize"].toInteger()}),
              (std::vector<qint64>{6, 300, 320}));
    std::string lines;
    for (const QJsonValue& value : doc["entries"].toArray()) {
        const QJsonObject e = value.toObject();
        const std::string dirName = Bytes(e["dir"]), path = Bytes(e["path"]);
        EXPECT_EQ(path, dirName.empty() ? Bytes(e["name"]) : dirName + "/" + Bytes(e["name"]));
        EXPECT_EQ(e["start"].toInteger(), (300 + e["offset"].toInteger()) % 0x100000000);
        char fields[64];
        std::snprintf(fields, sizeof fields, "%lld\t0x%08llX\t%lld\t", e["index"].toInteger(), e["start"].toInteger(),
                      e["size"].toInteger());
        lines += fields + Bytes(e["status"]) + "\t" + path + "\n";
    }
    EXPECT_EQ(lines, text.out);
#endif
}

TEST_F(PakunpackTest, JsonGivesBackEveryNameExactly)
{
#ifndef PAK_TESTS_READ_JSON
    GTEST_SKIP() << "the JSON is read with Qt, which this build has not";
#else
    // Valid UTF-8 comes back as a string, anything else as an array of bytes:
    // Latin-1, overlong forms, a surrogate, above U+10FFFF, cut short, a
    // continuation byte first.
    const std::pair<std::string, bool> rows[] = {
        {"caf\xC3\xA9.txt", true}, {"\xF0\x9F\x98\x80.bin", true}, {"q\"\n\x01\x7F.txt", true},
        {"caf\xE9.txt", false}, {"\xC0\xAF.txt", false}, {"\xE0\x80\xAF.txt", false}, {"\xF0\x80\x80\xAF.txt", false},
        {"\xED\xA0\x80.txt", false}, {"\xF4\x90\x80\x80.bin", false}, {"\xE2\x82.txt", false}, {"\x80.txt", false},
    };
    PakBuilder builder;
    builder.Header(static_cast<std::uint32_t>(std::size(rows)), 0, 0).Dir("d\xFFr");
    for (const auto& row : rows)
        builder.TableRecord(0, 0).File(row.first);
    WriteBytes("names.pak", builder.Bytes());
    const RunResult run = Pakunpack({"list", "--json", "names.pak"});
    EXPECT_EQ(run.status, 0);
    const QJsonArray entries = ParseJson(run.out)["entries"].toArray();
    ASSERT_EQ(entries.size(), static_cast<qsizetype>(std::size(rows)));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        const QJsonObject entry = entries[static_cast<qsizetype>(i)].toObject();
        EXPECT_EQ(entry["name"].isString(), rows[i].second);
        EXPECT_EQ(Bytes(entry["name"]), rows[i].first);
        // The directory applies from the second entry on.
        EXPECT_EQ(Bytes(entry["path"]), i == 0 ? rows[i].first : "d\xFFr/" + rows[i].first);
    }
#endif
}

TEST_F(PakunpackTest, ScanWritesTheLibrarysReportByteForByteWhereAsked)
{
    // The report names the archive by its absolute path, as the dialog's does.
    PakArchive archive;
    RecordingProgress progress;
    ASSERT_EQ(OpenAndLoad(archive, dir / "mixed.pak"), 1);
    ASSERT_EQ(archive.WriteScanLogAs(dir / "expected.txt", progress), 1);
    ::mkdir("sub", 0755);
    for (const auto& [args, report] : {std::pair<Strings, std::string>{{"scan", "mixed.pak"}, "Scan_log.txt"},
                                       {{"scan", "-o", "sub/report.txt", "mixed.pak"}, "sub/report.txt"},
                                       {{"scan", "mixed.pak", "-o", "other.txt"}, "other.txt"}}) {
        SCOPED_TRACE(report);
        const RunResult run = Pakunpack(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out + run.err, "");
        EXPECT_EQ(ReadBytes(report), ReadBytes("expected.txt"));
    }
}

// "." and ".." steps are resolved, relative or absolute, the way the dialog
// resolves the path it is given: the same archive, the same Name: line.
TEST_F(PakunpackTest, ReportNamesTheArchiveByTheDialogsFullPath)
{
    ASSERT_EQ(::mkdir("sub", 0755), 0);
    for (const std::string& given : {std::string("sub/.././mixed.pak"), dir / "sub/../mixed.pak"}) {
        SCOPED_TRACE(given);
        ASSERT_EQ(Pakunpack({"scan", given}).status, 0);
        EXPECT_EQ(FullPathOf(given), dir / "mixed.pak");
        EXPECT_NE(ReadBytes("Scan_log.txt").find("\nName:" + FullPathOf(given).Text() + "\n"), std::string::npos);
    }
}

#ifndef _WIN32
// The file opened and named is the one the system finds by the path: a
// symbolic link is followed before ".." leaves it, a path the system refuses
// fails as a file that can't be opened, and a relative path in a removed
// folder opens nothing (its parent's decoy least of all).
TEST_F(PakunpackTest, OpensAndNamesTheFileTheSystemFindsByThePath)
{
    std::filesystem::create_directories("other/deep");
    std::filesystem::create_directories("w/gone");
    std::filesystem::copy_file("mixed.pak", "other/real.pak");
    WriteBytes("w/real.pak", PakBuilder().Header(0, 92, 92).Bytes());
    ASSERT_EQ(::symlink("../other/deep", "w/link"), 0);
    std::filesystem::current_path("w");
    const RunResult list = Pakunpack({"list", "link/../real.pak"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, Pakunpack({"list", dir / "mixed.pak"}).out);
    ASSERT_EQ(Pakunpack({"scan", "link/../real.pak"}).status, 0);
    EXPECT_NE(ReadBytes("Scan_log.txt").find("\nName:" + dir / "other/real.pak\nSize:320 "), std::string::npos);

    for (const char* refused : {"nosuchdir/../real.pak", "real.pak/.", "real.pak/"}) {
        SCOPED_TRACE(refused);
        const RunResult run = Pakunpack({"list", refused});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out + run.err, std::string("pakunpack: ") + kErrCantOpen);
    }

    std::filesystem::current_path("gone");
    ASSERT_EQ(::rmdir((dir / "w/gone").c_str()), 0);
    const RunResult gone = Pakunpack({"list", "../real.pak"});
    std::filesystem::current_path(dir.Path());
    EXPECT_EQ(gone.status, 2);
    EXPECT_EQ(gone.out, "");
    EXPECT_EQ(gone.err, "pakunpack: can't find the current folder's path, which '../real.pak' starts from\n");
}

// Only the full path is longer than the system takes: the archive is opened
// by the relative path given, and the report names it all the same.
TEST_F(PakunpackTest, OpensARelativeArchiveInAFolderDeeperThanPathMax)
{
    const std::string step(200, 'd');
    while (CurrentFolder().Text().size() <= PATH_MAX) {
        ASSERT_EQ(::mkdir(step.c_str(), 0755), 0);
        ASSERT_EQ(::chdir(step.c_str()), 0);
    }
    std::filesystem::copy_file(dir / "mixed.pak", "x.pak");
    const RunResult list = Pakunpack({"list", "x.pak"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, Pakunpack({"list", dir / "mixed.pak"}).out);
    ASSERT_EQ(Pakunpack({"scan", "x.pak"}).status, 0);
    EXPECT_NE(ReadBytes("Scan_log.txt").find("\nName:" + CurrentFolder().Text() + "/x.pak\n"), std::string::npos);
}
#endif

// Each refusal gives the reason an entry would give; nothing is left behind.
TEST_F(PakunpackTest, ReportThatCantBeWrittenSaysWhy)
{
    ::mkdir("Scan_log.txt", 0755);
    const bool links = ::symlink("elsewhere", "link") == 0 && IsLink("link");
    const bool fifos = ::mkfifo("fifo", 0644) == 0;
#ifdef _WIN32
    const std::string missing = SystemErrorText(ERROR_FILE_NOT_FOUND);
    const bool proc = false;
    const std::string noNewFile;
#else
    const std::string missing = std::strerror(ENOENT);
    // /proc takes no new file: the reason is that, not the name of one it
    // was asked to create.
    const bool proc = Exists("/proc/version");
    const std::string noNewFile = std::strerror(::access("/proc", W_OK) == 0 ? EOPNOTSUPP : EACCES);
#endif
    const struct {
        Strings args;
        std::string shown, reason;
        bool possible = true;
    } rows[] = {
        {{"scan", "mixed.pak", "-o", "missing/report.txt"}, "missing/report.txt", missing},
        {{"scan", "mixed.pak"}, "Scan_log.txt", "a folder is in the way"},
        {{"scan", "mixed.pak", "-o", "Scan_log.txt/"}, "Scan_log.txt/", "a folder is in the way"},
        {{"scan", "mixed.pak", "-o", "/proc/version"}, "/proc/version", noNewFile, proc},
        {{"scan", "mixed.pak", "-o", "link"}, "link", "a symbolic link is in the way", links},
        {{"scan", "mixed.pak", "-o", "fifo"}, "fifo", "a file that is not a regular file is in the way", fifos},
        {{"scan", "mixed.pak", "-o", "mixed.pak"}, "mixed.pak", "it would overwrite the archive itself"},
    };
    const Strings before = ListTree(dir.Path());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.shown);
        if (!row.possible)
            continue;   // the system can't plant what the row needs
        const RunResult run = Pakunpack(row.args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "pakunpack: can't write the report '" + row.shown + "': " + row.reason + "\n");
        EXPECT_EQ(ListTree(dir.Path()), before);
    }
}

TEST_F(PakunpackTest, ExtractGoesOnPastFailedEntriesAndSumsUp)
{
    const RunResult missing = Pakunpack({"extract", "mixed.pak", "-C", "missing"});
    EXPECT_EQ(missing.status, 1);
#ifdef _WIN32
    EXPECT_EQ(missing.err, "pakunpack: can't enter 'missing': " + SystemErrorText(ERROR_FILE_NOT_FOUND) + "\n");
#else
    EXPECT_EQ(missing.err, "pakunpack: can't enter 'missing': No such file or directory\n");
#endif
    EXPECT_EQ(ListTree(dir.Path()), Strings{"mixed.pak"});

    std::filesystem::create_directories("out/snd/d.wav");   // entry 4 can't be written over a folder
    // The relative archive path is opened before changing into "out".
    const RunResult run = Pakunpack({"extract", "mixed.pak", "-C", "out"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "pakunpack: entry 4 (snd/d.wav): a folder is in the way\n"
                       "pakunpack: entry 5 (snd/e\\x1B.ogg): starts at or beyond the declared archive size\n");
    EXPECT_EQ(run.out, "4 extracted, 2 failed\n");
    EXPECT_EQ(ListTree(dir / "out"),
              (Strings{"a.txt", "maps/", "maps/b.dat", "maps/c.dat", "maps/wrap.bin", "snd/", "snd/d.wav/"}));
    EXPECT_EQ(ReadBytes("out/a.txt"), "hello");
    EXPECT_EQ(ReadBytes("out/maps/b.dat"), "bdat");
}

// Entries whose names the system's rules (on Windows letter case as well)
// make one file: the later one wins, a line names both, the summary counts
// them and nothing failed. A repeated name is no news, and an entry that
// failed replaced nothing. --json marks the entry that would replace.
TEST_F(PakunpackTest, EntriesThatLandOnOneFileAreNamed)
{
    const Strings names = {"a:b.txt", "a_b.txt", "c.tx.", "c.tx_", "x/y.txt", "x_y.txt", "x_y.txt",
                           "same.txt", "same.txt", "Case.txt", "CASE.TXT"};
    PakBuilder builder;
    builder.Header(static_cast<std::uint32_t>(names.size()), /*dataStart=*/600, /*size=*/611);
    for (std::uint32_t i = 0; i < names.size(); ++i)
        builder.TableRecord(i == 5 ? 0x1000 : i, 1).File(names[i]);   // entry 5 starts beyond the size
    WriteBytes("same.pak", builder.DataAt(600, "0123456789A").Bytes());
    const std::string failed = "pakunpack: entry 5 (x_y.txt): starts at or beyond the declared archive size\n";
    const std::string line64 = "pakunpack: entry 6 (x_y.txt) replaced entry 4 (x/y.txt): same file here\n";
    const struct {
        Strings args;
        std::string err, out;
        Strings tree;
        int status;
    } rows[] = {
#ifdef _WIN32
        {{"same.pak"}, failed + "pakunpack: entry 1 (a_b.txt) replaced entry 0 (a:b.txt): same file here\n"
                                "pakunpack: entry 3 (c.tx_) replaced entry 2 (c.tx.): same file here\n" +
                           line64 + "pakunpack: entry 10 (CASE.TXT) replaced entry 9 (Case.txt): same file here\n",
         "10 extracted, 1 failed, 4 replaced by a later entry\n",
         {"a_b.txt", "c.tx_", "case.txt", "same.txt", "x_y.txt"}, 1},
        {{"same.pak", "[ac]*"}, "pakunpack: entry 1 (a_b.txt) replaced entry 0 (a:b.txt): same file here\n"
                                "pakunpack: entry 3 (c.tx_) replaced entry 2 (c.tx.): same file here\n",
         "4 extracted, 0 failed, 2 replaced by a later entry\n", {"a_b.txt", "c.tx_"}, 0},
#else
        {{"same.pak"}, failed + line64, "10 extracted, 1 failed, 1 replaced by a later entry\n",
         {"CASE.TXT", "Case.txt", "a:b.txt", "a_b.txt", "c.tx.", "c.tx_", "same.txt", "x_y.txt"}, 1},
        {{"same.pak", "[ac]*"}, "", "4 extracted, 0 failed\n", {"a:b.txt", "a_b.txt", "c.tx.", "c.tx_"}, 0},
#endif
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.back());
        const std::string folder = "run" + std::to_string(&row - rows);
        ::mkdir(folder.c_str(), 0755);
        Strings args{"extract", "-C", folder};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const RunResult run = Pakunpack(args);
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(run.out, row.out);
        Strings tree = ListTree(dir / folder);
        if (!kPosixSystem) {   // which letter case a replaced file keeps is the file system's choice
            for (std::string& name : tree)
                std::transform(name.begin(), name.end(), name.begin(), [](char c) {
                    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                });
            std::sort(tree.begin(), tree.end());
        }
        EXPECT_EQ(tree, row.tree);
    }
    EXPECT_EQ(ReadBytes("run0/x_y.txt"), "6");
    EXPECT_EQ(ReadBytes("run0/same.txt"), "8");

    // One entry a line: the index and the mark of each marked one.
    std::string marks;
    const std::string json = Pakunpack({"list", "same.pak", "--json"}).out;
    for (std::size_t line = 0, end = 0; (end = json.find('\n', line)) != std::string::npos; line = end + 1) {
        const std::size_t mark = json.find("\"replaces\":", line);
        if (mark < end)
            marks += json.substr(line, json.find(',', line) - line) + " " +
                     json.substr(mark, json.find('}', mark) + 1 - mark) + "\n";
    }
    EXPECT_EQ(marks, kPosixSystem ? "{\"index\":6 \"replaces\":4}\n"
                                  : "{\"index\":1 \"replaces\":0}\n{\"index\":3 \"replaces\":2}\n"
                                    "{\"index\":6 \"replaces\":4}\n{\"index\":10 \"replaces\":9}\n");
}

// Thousands of entries over dozens of folders, whose names meet on disk
// close together in the table: twice the same name in a row, names in
// another letter case and names that Windows writes alike, each folder's
// entries spread among the others', and at the end of the top-level files
// one named like a folder. Every 53rd entry starts beyond the declared
// size; some reach past the end of the file.
std::string CrowdedArchive()
{
    std::vector<std::pair<std::string, std::string>> entries{
        {"", "top.txt"}, {"", "TOP.TXT"}, {"", "a:b.txt"}, {"", "a?b.txt"}};
    for (int i = 0; i < 300; ++i)
        entries.push_back({"", "t" + std::to_string(i / 2) + ".bin"});
    entries.push_back({"", "d05.bin"});
    std::vector<std::string> dirs{"D07", "x:y", "x?y", "d05.bin"};
    for (int d = 0; d < 38; ++d)
        dirs.push_back((d < 10 ? "d0" : "d") + std::to_string(d));
    const int folders = static_cast<int>(dirs.size());
    for (int j = 0; j < 2700; ++j)
        entries.push_back({dirs[static_cast<std::size_t>(j * 13 % folders)], "n" + std::to_string(j / folders % 30) + ".bin"});

    const std::string data = NumberedBytes(4096);
    const std::uint32_t count = static_cast<std::uint32_t>(entries.size());
    PakBuilder builder;
    std::string names;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t offset = i % 53 == 52 ? 0xF0000000 : (i * 37) % 4000;
        builder.TableRecord(offset, i % 97 == 0 ? 5000 : i % 64);
        // A directory record sets the folder of the entries after it.
        if (i + 1 < count && entries[i + 1].first != entries[i].first)
            names += DirRecord(entries[i + 1].first);
        names += FileRecord(entries[i].second);
    }
    const std::uint32_t dataStart = static_cast<std::uint32_t>(92 + 16 * count + names.size());
    return builder.Header(count, dataStart, 0xFFFFFF).Raw(names).DataAt(dataStart, data).Bytes();
}

// Any number of threads prints, exits and writes what one thread does.
TEST_F(PakunpackTest, ThreadsGiveWhatOneThreadGives)
{
    WriteBytes("crowded.pak", CrowdedArchive());
    RunResult runs[2];
    const char* const folders[2] = {"one", "four"};
    for (int k = 0; k < 2; ++k) {
        // A folder in the way of an entry of d07.
        std::filesystem::create_directories(std::string(folders[k]) + "/d07/n7.bin");
        runs[k] = Pakunpack({"extract", "crowded.pak", "-C", folders[k], "-j", k == 0 ? "1" : "4"});
    }
    EXPECT_EQ(runs[0].status, 1);
    EXPECT_NE(runs[0].err.find("pakunpack: entry 52 (t24.bin): starts at or beyond the declared archive size\n"),
              std::string::npos);
    EXPECT_NE(runs[0].err.find("(d05.bin/n"), std::string::npos) << "the file d05.bin comes first";
    EXPECT_EQ(runs[1].status, runs[0].status);
    EXPECT_EQ(runs[1].out, runs[0].out);
    EXPECT_TRUE(runs[1].err == runs[0].err);   // no dump of thousands of lines when it fails
    const Strings tree = ListTree("one");
    EXPECT_GT(tree.size(), 1000u);
    ASSERT_EQ(ListTree("four"), tree);
    for (const std::string& path : tree) {
        if (path.back() != '/' && ReadBytes("four/" + path) != ReadBytes("one/" + path))
            ADD_FAILURE() << path << " differs";
    }
}

// An option's value is a value even when it looks like --help or --version.
TEST_F(PakunpackTest, OptionValuesThatLookLikeHelpOrVersionAreValues)
{
    ::mkdir("-h", 0755);
    const RunResult extracted = Pakunpack({"extract", "mixed.pak", "-C", "-h", "a.txt"});
    EXPECT_EQ(extracted.status, 0);
    EXPECT_EQ(extracted.out, "1 extracted, 0 failed\n");
    EXPECT_EQ(ReadBytes("-h/a.txt"), "hello");

    const RunResult scanned = Pakunpack({"scan", "mixed.pak", "-o", "--version"});
    EXPECT_EQ(scanned.status, 0);
    EXPECT_EQ(scanned.out + scanned.err, "");
    EXPECT_EQ(ReadBytes("--version").substr(0, 48), std::string(48, '*'));
    // Where an option may stand, they still count.
    EXPECT_EQ(Pakunpack({"scan", "mixed.pak", "-o", "r.txt", "--version"}).out.rfind("pakunpack ", 0), 0u);
}

TEST_F(PakunpackTest, PatternsChooseEntriesInTableOrder)
{
    const struct {
        Strings patterns;
        Strings tree;
        std::string out, err;
    } rows[] = {
        {{"maps/*"}, {"maps/", "maps/b.dat", "maps/c.dat", "maps/wrap.bin"}, "3 extracted, 0 failed\n", ""},
        // '*' crosses '/', a backslash quotes; an entry that two patterns match counts for both.
        {{"m*t", "\\a.tx?", "*.txt"}, {"a.txt", "maps/", "maps/b.dat", "maps/c.dat"}, "3 extracted, 0 failed\n", ""},
        {{"[ac]*", "*/[bw]*"}, {"a.txt", "maps/", "maps/b.dat", "maps/wrap.bin"}, "3 extracted, 0 failed\n", ""},
        {{"*.txt", "none*", "\\*.txt"}, {"a.txt"}, "1 extracted, 0 failed\n",
         "pakunpack: no entry matches 'none*'\npakunpack: no entry matches '\\\\*.txt'\n"},
        {{"--", "-a.txt"}, {}, "0 extracted, 0 failed\n", "pakunpack: no entry matches '-a.txt'\n"},
    };
    // A file that "m*t" would name if anything expanded the pattern first.
    WriteBytes("m-bait.t", "");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.patterns[0]);
        const std::string folder = "run" + std::to_string(&row - rows);
        ::mkdir(folder.c_str(), 0755);
        Strings args{"extract", "mixed.pak", "-C", folder};
        args.insert(args.end(), row.patterns.begin(), row.patterns.end());
        const RunResult run = Pakunpack(args);
        EXPECT_EQ(run.status, row.err.empty() ? 0 : 1);
        EXPECT_EQ(run.out, row.out);
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(ListTree(dir / folder), row.tree);
    }
}

// A pattern is matched as typed: a character that the ANSI code page can't
// hold matches itself only, never what the code page would make of it
// ('?', which the matcher would take as any character).
TEST_F(PakunpackTest, PatternsOutsideTheAnsiCodePageMatchOnlyThemselves)
{
    WriteBytes("pt.pak",
               ArchiveOf({{"", "z.txt", "z"}, {"", "b.txt", "b"}, {"", "long.txt", "l"}, {"", "??.txt", "q"}}));
    // A Cyrillic a, and two mathematical bold letters beyond the 16-bit range.
    const struct {
        const char* utf8;
        const wchar_t* wide;
    } rows[] = {{"\xD0\xB0.txt", L"\u0430.txt"}, {"\xF0\x9D\x90\x9A\xF0\x9D\x90\x9B.txt", L"\U0001D41A\U0001D41B.txt"}};
    for (const auto& row : rows) {
#ifdef _WIN32
        const SystemPath arg = PathFromWide(row.wide);   // as the UTF-16 command line gives it
#else
        const SystemPath arg = row.utf8;
#endif
        SCOPED_TRACE(arg.Text());
#ifdef _WIN32
        const RunResult run = Pakunpack({"extract", "pt.pak", "--", arg});
#else
        const RunResult run = Pakunpack({"extract", "pt.pak", "--", arg.Text()});
#endif
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "pakunpack: no entry matches '" + arg.Text() + "'\n");
        EXPECT_EQ(run.out, "0 extracted, 0 failed\n");
    }
    EXPECT_EQ(Pakunpack({"extract", "pt.pak", "?.txt"}).out, "2 extracted, 0 failed\n");
    EXPECT_EQ(ListTree(dir.Path()), (Strings{"b.txt", "mixed.pak", "pt.pak", "z.txt"}));
}

TEST_F(PakunpackTest, ShowsProgressOnlyOnATerminal)
{
    if (kPosixSystem) {   // the runner makes pseudo-terminals on POSIX systems only
        RunSetup terminal;
        terminal.stderrOnTerminal = true;
        const RunResult run = Pakunpack({"extract", "mixed.pak", "a.txt"}, terminal);
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.err.find("\rextracting: 6/6"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.substr(run.err.rfind('\r')), "\r") << "the line is wiped at the end";
    }
    EXPECT_EQ(Pakunpack({"extract", "mixed.pak", "a.txt"}).err, "");
}

TEST_F(PakunpackTest, OutputThatCantBeWrittenExitsWith1AndOutOfMemoryWith3)
{
    SKIP_UNLESS_POSIX("/dev/full and address-space limits");
    RunSetup full;
    full.stdoutPath = "/dev/full";
    const RunResult unwritten = Pakunpack({"list", "mixed.pak"}, full);
    EXPECT_EQ(unwritten.status, 1);
    EXPECT_EQ(unwritten.err, "pakunpack: can't write to standard output\n");

#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "under AddressSanitizer an operator new that fails ends the program instead of throwing";
#endif
    // The table of 64 Mi entries is in the file (a hole of 1 GiB), and
    // holding it needs far more memory than the child may have.
    constexpr std::uint32_t kEntries = 1u << 26;
    WriteBytes("big.pak", PakBuilder().Header(kEntries, /*dataStart=*/0, /*size=*/0xFFFFFFFF).Bytes());
    std::filesystem::resize_file("big.pak", 92 + 16ull * kEntries);
    RunSetup tight;
    tight.memoryHeadroom = std::size_t{1} << 30;
    const RunResult run = Pakunpack({"extract", "big.pak"}, tight);
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "pakunpack: out of memory\n");
    EXPECT_EQ(ListTree(dir.Path()), (Strings{"big.pak", "mixed.pak"}));
}

#ifndef _WIN32
// Extracts every entry of `archive` in a child process set up as the programs
// set themselves up, whose files may not grow beyond 1000 bytes; `signal`
// arrives in the middle of the first write that passes the limit (the
// kernel's SIGXFSZ there is turned into it). `named`: outputs are written the
// way taken where there are no unnamed files. With `threads` above 1, entry
// i is extracted on thread i, and the signal arrives once that many writes
// have passed the limit, each output still open. Returns the status a shell
// shows: 128 + the number of the signal that ended the child.
int ExtractInterrupted(const std::string& archive, int signal, bool named, int threads = 1)
{
    const pid_t child = ::fork();
    if (child == 0) {
        InstallOutputSignalHandlers();
        UseUnnamedOutputs(!named);
        static int s_signal = 0;
        static int s_threads = 1;
        static std::atomic<int> s_passed{0};
        s_signal = signal;
        s_threads = threads;
        struct sigaction midWrite {};
        midWrite.sa_handler = [](int) {
            if (s_passed.fetch_add(1) + 1 == s_threads)
                ::kill(::getpid(), s_signal);
            for (;;)
                ::pause();   // with its output open, until the signal ends the process
        };
        ::sigaction(SIGXFSZ, &midWrite, nullptr);
        const rlimit limit{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const rlimit noCore{0, 0};   // SIGQUIT and SIGXCPU dump no core into the folder
        ::setrlimit(RLIMIT_CORE, &noCore);
        PakArchive pak;
        if (OpenAndLoad(pak, archive) == 1 && threads == 1)
            ExtractAll(pak);
        std::vector<std::thread> workers;
        for (int i = 0; i < threads && threads > 1; ++i) {
            workers.emplace_back([&pak, i] {
                Extractor extractor;
                pak.ExtractEntryWith(static_cast<std::uint32_t>(i), extractor);
            });
        }
        for (std::thread& worker : workers)
            worker.join();
        ::_exit(0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return -1;
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

// A file-size limit fails the one output with the system's reason and the
// run goes on; a signal that ends the run ends it with the usual status and
// leaves no partial file and no temporary, and where outputs are unnamed
// files even SIGKILL does. An earlier file keeps its bytes.
TEST_F(PakunpackTest, LimitsAndInterruptionsLeaveNoPartialFile)
{
    SKIP_UNLESS_POSIX("file-size limits and signals");
#ifndef _WIN32
    // a.txt, big.bin (3000 bytes), tail.bin (3 bytes held, 3000 declared: a
    // zero tail), z.txt.
    WriteBytes("limits.pak", PakBuilder()
                                 .Header(/*numFiles=*/4, /*dataStart=*/200, /*size=*/0xFFFFFF)
                                 .TableRecord(0, 5).TableRecord(5, 3000).TableRecord(3007, 3000).TableRecord(3005, 2)
                                 .File("a.txt").File("big.bin").File("tail.bin").File("z.txt")
                                 .DataAt(200, "hello" + std::string(3000, 'b') + "zzttt")
                                 .Bytes());
    const std::string tooLarge = std::strerror(EFBIG);
    const std::string cantExtract = "pakunpack: entry 1 (big.bin): " + tooLarge + "\n";
    // four.pak: x0.bin to x3.bin, 3000 bytes each, written on four threads at once.
    PakBuilder four;
    four.Header(/*numFiles=*/4, /*dataStart=*/200, /*size=*/0xFFFFFF);
    for (int i = 0; i < 4; ++i)
        four.TableRecord(/*offset=*/0, /*size=*/3000).File("x" + std::to_string(i) + ".bin");
    WriteBytes("four.pak", four.DataAt(200, std::string(3000, 'x')).Bytes());
    const Strings interrupted{"a.txt", "four.pak", "limits.pak", "mixed.pak"};
    const Strings interruptedOverOld{"a.txt", "big.bin", "four.pak", "limits.pak", "mixed.pak"};
    const Strings nothingOfFour{"four.pak", "limits.pak", "mixed.pak"};
    enum Way { Either, Unnamed, Named };   // how outputs are written
    const struct {
        const char* label;
        const char* existing;   // a file there before, with bytes "old"
        Strings args;           // pakunpack's, when no signal is sent
        unsigned long limit;    // for its files, standard output and error among them
        int signal;             // sent mid-write to a child that extracts everything
        int status;
        std::string err;
        Strings tree;
        Way way = Either;
        int threads = 1;   // with more, four.pak's entries on as many threads
    } rows[] = {
        {"limit, new name", nullptr, {"extract", "limits.pak", "big.bin", "z.txt"}, 1000, 0, 1, cantExtract,
         {"four.pak", "limits.pak", "mixed.pak", "z.txt"}},
        {"limit, replaced name", "big.bin", {"extract", "limits.pak", "big.bin", "z.txt"}, 1000, 0, 1, cantExtract,
         {"big.bin", "four.pak", "limits.pak", "mixed.pak", "z.txt"}},
        {"limit, zero tail", "tail.bin", {"extract", "limits.pak", "tail.bin", "z.txt"}, 1000, 0, 1,
         "pakunpack: entry 2 (tail.bin): " + tooLarge + "\n", {"four.pak", "limits.pak", "mixed.pak", "tail.bin", "z.txt"}},
        {"limit, report", "Scan_log.txt", {"scan", "limits.pak"}, 100, 0, 1,
         "pakunpack: can't write the report 'Scan_log.txt': " + tooLarge + "\n",
         {"Scan_log.txt", "four.pak", "limits.pak", "mixed.pak"}},
        {"limit, listing into a file", nullptr, {"list", "limits.pak"}, 50, 0, 1,
         "pakunpack: can't write to standard output\n", {"four.pak", "limits.pak", "mixed.pak"}},
        {"SIGINT, new name", nullptr, {}, 1000, SIGINT, 130, "", interrupted},
        {"SIGTERM, replaced name", "big.bin", {}, 1000, SIGTERM, 143, "", interruptedOverOld},
        {"SIGQUIT, new name", nullptr, {}, 1000, SIGQUIT, 131, "", interrupted},
        {"SIGKILL, new name", nullptr, {}, 1000, SIGKILL, 137, "", interrupted, Unnamed},
        {"SIGKILL, replaced name", "big.bin", {}, 1000, SIGKILL, 137, "", interruptedOverOld, Unnamed},
        {"named: SIGINT, replaced name", "big.bin", {}, 1000, SIGINT, 130, "", interruptedOverOld, Named},
        {"named: SIGQUIT, new name", nullptr, {}, 1000, SIGQUIT, 131, "", interrupted, Named},
        {"named: SIGXCPU, replaced name", "big.bin", {}, 1000, SIGXCPU, 152, "", interruptedOverOld, Named},
        {"named: SIGALRM, new name", nullptr, {}, 1000, SIGALRM, 142, "", interrupted, Named},
        {"named: SIGUSR1, new name", nullptr, {}, 1000, SIGUSR1, 138, "", interrupted, Named},
        {"named: SIGUSR2, new name", nullptr, {}, 1000, SIGUSR2, 140, "", interrupted, Named},
        {"SIGINT, four outputs at once", nullptr, {}, 1000, SIGINT, 130, "", nothingOfFour, Either, 4},
        {"named: SIGINT, four outputs at once", nullptr, {}, 1000, SIGINT, 130, "", nothingOfFour, Named, 4},
        {"named: SIGTERM, four outputs at once over old files", "x2.bin", {}, 1000, SIGTERM, 143, "",
         {"four.pak", "limits.pak", "mixed.pak", "x2.bin"}, Named, 4},
    };
    const bool unnamedFiles = UnnamedFilesWorkHere();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        if (row.way == Unnamed && !unnamedFiles)
            continue;   // nothing can catch SIGKILL: only an unnamed output leaves nothing
        for (const std::string& name : ListTree(dir.Path())) {
            if (name != "four.pak" && name != "limits.pak" && name != "mixed.pak")
                std::filesystem::remove(name);
        }
        if (row.existing)
            WriteBytes(row.existing, "old");
        if (row.signal != 0) {
            EXPECT_EQ(ExtractInterrupted(row.threads > 1 ? "four.pak" : "limits.pak", row.signal, row.way == Named,
                                         row.threads),
                      row.status);
        } else {
            RunSetup limited;
            limited.fileSizeLimit = row.limit;
            const RunResult run = Pakunpack(row.args, limited);
            EXPECT_EQ(run.status, row.status) << "-1: ended by a signal";
            EXPECT_EQ(run.err, row.err);
        }
        EXPECT_EQ(ListTree(dir.Path()), row.tree) << "no partial file, no temporary";
        if (row.existing) {
            EXPECT_EQ(ReadBytes(row.existing), "old");
        }
        if (Exists("z.txt")) {
            EXPECT_EQ(ReadBytes("z.txt"), "zz") << "the entry after the failed one";
        }
    }
#endif
}

#ifndef _WIN32
struct Straced {
    int status = -1;   // pakunpack's, through strace; 127 when strace isn't there
    int stops = 0;
    std::string err;
};

// Runs pakunpack with `args` under strace, whose `tampering` options inject
// failures and SIGSTOPs; its files may not grow beyond `fileSizeLimit` (0:
// no limit). Each time an injected SIGSTOP has stopped pakunpack, `atStop`
// runs, standing in for another process, and pakunpack goes on.
Straced PakunpackUnderStrace(const Strings& tampering, const Strings& args, unsigned long fileSizeLimit = 0,
                             const std::function<void()>& atStop = [] {})
{
    Strings line{"strace", "-qq", "-o", "/dev/fd/3"};
    line.insert(line.end(), tampering.begin(), tampering.end());
    line.push_back(PAKUNPACK_PATH);
    line.insert(line.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : line)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::FILE* err = std::tmpfile();
    int log[2];
    if (!err || ::pipe(log) != 0)
        throw std::runtime_error("can't set up strace's output");
    const pid_t child = ::fork();
    if (child == 0) {
        ::setpgid(0, 0);   // SIGCONT reaches pakunpack through the group
        ::dup2(::open("/dev/null", O_RDWR), 0);
        ::dup2(0, 1);
        ::dup2(::fileno(err), 2);
        ::dup2(log[1], 3);
        const rlimit size{fileSizeLimit, fileSizeLimit};
        if (fileSizeLimit != 0)
            ::setrlimit(RLIMIT_FSIZE, &size);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(log[1]);
    Straced result;
    const std::string stopped = "--- stopped by SIGSTOP ---";
    std::string text;
    char block[4096];
    for (ssize_t got; (got = ::read(log[0], block, sizeof block)) > 0;) {
        text.append(block, static_cast<std::size_t>(got));
        for (std::size_t at; (at = text.find(stopped)) != std::string::npos; ::kill(-child, SIGCONT)) {
            text.erase(0, at + stopped.size());
            ++result.stops;
            atStop();
        }
    }
    ::close(log[0]);
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    result.err = ReadAll(::fileno(err));
    std::fclose(err);
    return result;
}
#endif

// A failed output removes nothing that another process has put in its
// place. strace stops pakunpack right after its last look at a new name
// that then fails (a full disk; an entry of more than one block is looked
// at before it is copied), or right after a rename over an existing file has
// failed; "their" file goes to the name, or to the temporary's name, at that
// moment and must still be there at the end.
TEST_F(PakunpackTest, FailedOutputNeverRemovesAnotherProcesssFile)
{
    SKIP_UNLESS_POSIX("strace");
#ifndef _WIN32
    if (PakunpackUnderStrace({"-e", "trace=none"}, {"--version"}).status != 0)
        GTEST_SKIP() << "strace isn't installed, or can't trace here";
    WriteBytes("one.pak", ArchiveOf({{"", "x.bin", std::string((std::size_t{2} << 20) + 1, 'x')}}));
    std::string theirs;   // where their file was put
    const auto putTheirs = [&theirs](const std::string& name) {
        WriteBytes("theirs.new", "their file");
        ASSERT_EQ(::rename("theirs.new", name.c_str()), 0);
        theirs = name;
    };
    const auto atTheName = [&] { putTheirs("x.bin"); };
    const auto atTheTemporary = [&] {
        for (const std::string& name : ListTree("."))
            if (name.rfind(".pak-", 0) == 0)
                putTheirs(name);
    };
    const Strings failedRename{"-e", "trace=rename,renameat,renameat2", "-e",
                               "inject=rename,renameat,renameat2:error=EACCES"};
    const std::string permission = "pakunpack: entry 0 (x.bin): " + std::string(std::strerror(EACCES)) + "\n";
    const struct {
        const char* label;
        bool existing;   // x.bin holds "old" before
        Strings tampering;
        unsigned long limit;
        std::function<void()> atStop;
        std::string err;
    } rows[] = {
        {"a new name on a full disk", false,
         {"-P", "x.bin", "-e", "trace=%%stat", "-e", "inject=%%stat:signal=SIGSTOP:when=1"}, 4096, atTheName,
         "pakunpack: entry 0 (x.bin): " + std::string(std::strerror(EFBIG)) + "\n"},
        {"a failed rename over an existing file", true, failedRename, 0, {}, permission},
        {"a failed rename, their file at the temporary's name", true,
         {failedRename[0], failedRename[1], failedRename[2], failedRename[3] + ":signal=SIGSTOP"}, 0, atTheTemporary,
         permission},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        std::filesystem::remove("x.bin");
        if (row.existing)
            WriteBytes("x.bin", "old");
        theirs.clear();
        const Straced run = PakunpackUnderStrace(row.tampering, {"extract", "one.pak"}, row.limit, row.atStop);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(run.stops, row.atStop ? 1 : 0);
        EXPECT_EQ(theirs.empty(), !row.atStop) << "nothing was put in the output's place";
        Strings tree{"mixed.pak", "one.pak"};
        if (row.existing || !theirs.empty())
            tree.push_back("x.bin");
        if (!theirs.empty() && theirs != "x.bin")
            tree.push_back(theirs);
        std::sort(tree.begin(), tree.end());
        EXPECT_EQ(ListTree(dir.Path()), tree) << "their file removed, or a temporary left";
        if (!theirs.empty()) {
            EXPECT_EQ(ReadBytes(theirs), "their file");
        }
        if (row.existing) {
            EXPECT_EQ(ReadBytes("x.bin"), "old");
        }
    }
#endif
}

#ifdef _WIN32
// Under a double-byte ANSI code page a lead byte before ':', '/' or '*' makes
// no character with it: each byte is written as '_', and the three entries
// land on one file, which the run says. CTest runs it under the Japanese,
// Chinese and Korean locales, from which Wine takes the code page.
TEST_F(PakunpackTest, LeadByteBeforeAForbiddenCharacterIsNoCharacter)
{
    CPINFO info{};
    if (!::GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 2 || !::IsDBCSLeadByte(0x83))
        GTEST_SKIP() << "needs a double-byte ANSI code page (under Wine: LC_ALL=ja_JP.UTF-8, for one)";
    WriteBytes("dbcs.pak",
               ArchiveOf({{"", "\x83:.txt", "first"}, {"", "\x83/.txt", "second"}, {"", "\x83*.txt", "third"}}));
    ASSERT_EQ(::mkdir("out", 0755), 0);
    const RunResult run = Pakunpack({"extract", "dbcs.pak", "-C", "out"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "3 extracted, 0 failed, 2 replaced by a later entry\n");
    EXPECT_EQ(run.err, "pakunpack: entry 1 (\x83/.txt) replaced entry 0 (\x83:.txt): same file here\n"
                       "pakunpack: entry 2 (\x83*.txt) replaced entry 1 (\x83/.txt): same file here\n");
    EXPECT_EQ(ListTree("out"), Strings{"__.txt"});
    EXPECT_EQ(ReadBytes("out/__.txt"), "third");
}

// Windows drops the dots and spaces at the end of a path's last step, so
// -o names the file the system itself would, never one that ordinary
// programs can't open; a last step of nothing else names the folder. A
// message shows a path as the system writes it, one backslash a separator.
TEST_F(PakunpackTest, ReportPathIsTheOneTheSystemNames)
{
    ASSERT_EQ(::mkdir("sub", 0755), 0);
    for (const char* path : {"rep.txt.", "rep.txt ", "sub\\two.txt. . "}) {
        SCOPED_TRACE(path);
        const RunResult run = Pakunpack({"scan", "mixed.pak", "-o", path});
        EXPECT_EQ(run.status, 0) << run.err;
    }
    EXPECT_EQ(ListTree(dir.Path()), (Strings{"mixed.pak", "rep.txt", "sub/", "sub/two.txt"}));
    const std::pair<std::string, std::string> refused[] = {
        {"...", "a folder is in the way"},
        {"sub\\ . .", "a folder is in the way"},
        {"sub\\nul", "a file that is not a regular file is in the way"},
    };
    for (const auto& [path, reason] : refused) {
        SCOPED_TRACE(path);
        const RunResult run = Pakunpack({"scan", "mixed.pak", "-o", path});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "pakunpack: can't write the report '" + path + "': " + reason + "\n");
    }
    const RunResult entered = Pakunpack({"extract", "mixed.pak", "-C", "missing\\out"});
    EXPECT_EQ(entered.err.rfind("pakunpack: can't enter 'missing\\out': ", 0), 0u) << entered.err;
    EXPECT_EQ(ListTree(dir.Path()), (Strings{"mixed.pak", "rep.txt", "sub/", "sub/two.txt"}));
}

// Arguments arrive in UTF-16: a path the ANSI code page can't hold names its
// own file or folder, never the look-alike the code page would make of it.
// The report names the archive in the ANSI form.
TEST_F(PakunpackTest, PathsTheAnsiCodePageCantHoldNameTheirOwnFiles)
{
    const SystemPath archive = PathFromWide(L"\uFF41.pak");   // a fullwidth "a"
    const SystemPath out = PathFromWide(L"\uFF4F\uFF55\uFF54");
    ASSERT_FALSE(archive.Exact().empty()) << "the ANSI code page holds fullwidth letters";
    WriteBytes("a.pak", ReadBytes("mixed.pak"));
    WriteBytes(archive, PakBuilder().Header(1, 200, 203).TableRecord(0, 3).File("own.txt").DataAt(200, "own").Bytes());
    ASSERT_EQ(::mkdir("out", 0755), 0);
    ASSERT_TRUE(::CreateDirectoryW(L"\uFF4F\uFF55\uFF54", nullptr));

    const RunResult list = Pakunpack({"list", archive});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "0\t0x000000C8\t3\tGOOD\town.txt\n");
    const RunResult extract = Pakunpack({"extract", archive, "-C", out});
    EXPECT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(ReadBytes(PathFromWide(L"\uFF4F\uFF55\uFF54\\own.txt")), "own");
    EXPECT_EQ(ListTree("out"), Strings{});
    const SystemPath report = PathFromWide(L"\uFF4F\uFF55\uFF54\\\uFF52.txt");
    EXPECT_EQ(Pakunpack({"scan", archive, "-o", report}).status, 0);
    EXPECT_NE(ReadBytes(report).find("\nName:" + dir / "a.pak" + "\nSize:203 byte"), std::string::npos);
}
#endif

} // namespace
