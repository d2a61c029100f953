// pakunpack extract: the tree it leaves, failure lines, summary, patterns,
// progress and running out of memory.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>

#include "cli_support.h"
#include "pak_builder.h"
#include "test_files.h"

namespace {

TEST(PakunpackExtract, GoesOnPastFailedEntriesAndSumsUp)
{
    ScratchDir dir;
    WriteBytes("mixed.pak", MixedArchive());
    ::mkdir("out", 0755);
    ::mkdir("out/snd", 0755);
    ::mkdir("out/snd/d.wav", 0755);   // entry 4 can't be written over a folder
    // The relative archive path is resolved before changing into "out".
    const RunResult run = Pakunpack({"extract", "mixed.pak", "-C", "out"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "pakunpack: entry 4 (snd/d.wav): can't be written safely or completely\n"
              "pakunpack: entry 5 (snd/e.ogg): starts at or beyond the declared archive size\n");
    EXPECT_EQ(run.out, "4 extracted, 2 failed\n");
    EXPECT_EQ(ListTree(dir / "out"), (std::vector<std::string>{"a.txt", "maps/", "maps/b.dat", "maps/c.dat",
                                                               "maps/wrap.bin", "snd/", "snd/d.wav/"}));
    EXPECT_EQ(ReadBytes("out/a.txt"), "hello");
    EXPECT_EQ(ReadBytes("out/maps/b.dat"), "bdat");
}

TEST(PakunpackExtract, PatternsChooseEntriesInTableOrder)
{
    struct Row {
        std::vector<std::string> patterns;
        std::vector<std::string> tree;
        int status;
        std::string out;
        std::string err;
    };
    const Row rows[] = {
        {{"maps/*"}, {"maps/", "maps/b.dat", "maps/c.dat", "maps/wrap.bin"}, 0, "3 extracted, 0 failed\n", ""},
        // '*' crosses '/'; an entry that two patterns match counts for both.
        {{"m*t", "a.tx?", "*.txt"}, {"a.txt", "maps/", "maps/b.dat", "maps/c.dat"}, 0, "3 extracted, 0 failed\n", ""},
        {{"[ac]*", "*/[bw]*"}, {"a.txt", "maps/", "maps/b.dat", "maps/wrap.bin"}, 0, "3 extracted, 0 failed\n", ""},
        {{"*.txt", "none*", "\\*.txt"}, {"a.txt"}, 1, "1 extracted, 0 failed\n",
         "pakunpack: no entry matches 'none*'\npakunpack: no entry matches '\\\\*.txt'\n"},
        {{"--", "-a.txt"}, {}, 1, "0 extracted, 0 failed\n", "pakunpack: no entry matches '-a.txt'\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.patterns[0]);
        ScratchDir dir;
        // The archive lies beside the folder, so the tree holds only what was extracted.
        const std::string archive = dir.Path() + ".pak";
        WriteBytes(archive, MixedArchive());
        std::vector<std::string> args{"extract", "../" + archive.substr(archive.rfind('/') + 1)};
        args.insert(args.end(), row.patterns.begin(), row.patterns.end());
        const RunResult run = Pakunpack(args);
        std::remove(archive.c_str());
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.out, row.out);
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(ListTree(dir.Path()), row.tree);
    }
}

TEST(PakunpackExtract, FolderThatCantBeEnteredExitsWith1)
{
    ScratchDir dir;
    WriteBytes("mixed.pak", MixedArchive());
    const RunResult run = Pakunpack({"extract", "mixed.pak", "-C", "missing"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "pakunpack: can't enter 'missing': No such file or directory\n");
    EXPECT_EQ(ListTree(dir.Path()), std::vector<std::string>{"mixed.pak"});
}

TEST(PakunpackExtract, ShowsProgressOnlyOnATerminal)
{
    ScratchDir dir;
    WriteBytes("mixed.pak", MixedArchive());
    RunSetup terminal;
    terminal.stderrOnTerminal = true;
    const RunResult run = Pakunpack({"extract", "mixed.pak", "a.txt"}, terminal);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("\rextracting: 6/6"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.substr(run.err.rfind('\r')), "\r") << "the line is wiped at the end";
    EXPECT_EQ(Pakunpack({"extract", "mixed.pak", "a.txt"}).err, "");
}

TEST(PakunpackExtract, OutOfMemoryStopsAtTheEntryWithStatus3)
{
    ScratchDir dir;
    WriteBytes("big.pak", PakBuilder()
                              .Header(/*numFiles=*/3, /*dataStart=*/200, /*size=*/0xFFFFFFFF)
                              .TableRecord(/*offset=*/0, /*size=*/2)
                              .TableRecord(/*offset=*/0, /*size=*/0xF0000000)
                              .TableRecord(/*offset=*/0, /*size=*/2)
                              .File("a.txt").File("b.bin").File("c.txt")
                              .DataAt(200, "ab")
                              .Bytes());
    RunSetup tight;
    tight.memoryHeadroom = std::size_t{1} << 30;
    const RunResult run = Pakunpack({"extract", "big.pak"}, tight);
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "pakunpack: out of memory\n");
    EXPECT_EQ(ListTree(dir.Path()), (std::vector<std::string>{"a.txt", "big.pak"}));
}

} // namespace
