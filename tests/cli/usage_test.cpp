// pakunpack's command line: usage errors, --help, --version, archives that
// can't be opened and output that can't be written, for every command.
#include <gtest/gtest.h>

#include "cli_support.h"
#include "pak_archive.h"
#include "pak_builder.h"
#include "test_files.h"

namespace {

TEST(PakunpackUsage, WrongCommandLinesExitWith64BeforeOpeningAnything)
{
    struct Row {
        std::vector<std::string> args;
        std::string complaint;
    };
    const Row rows[] = {
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
    };
    ScratchDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.complaint);
        const RunResult run = Pakunpack(row.args);
        EXPECT_EQ(run.status, 64);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "pakunpack: " + row.complaint + "\nTry 'pakunpack --help' for more information.\n");
    }
}

TEST(PakunpackUsage, HelpAndVersionGoToStdoutWhereverTheyStand)
{
    ScratchDir dir;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"-h"}, {"extract", "missing.pak", "--help"}}) {
        const RunResult run = Pakunpack(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind("Usage: pakunpack list ARCHIVE [--json]\n", 0), 0u) << run.out;
        EXPECT_NE(run.out.find("\n  64  the command line was wrong\n"), std::string::npos);
        EXPECT_EQ(run.err, "");
    }
    const RunResult version = Pakunpack({"list", "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("pakunpack ") + PAK_PROJECT_VERSION + "\n");
    // After "--" it is a pattern, and the archive has to be opened.
    EXPECT_EQ(Pakunpack({"extract", "missing.pak", "--", "--help"}).status, 2);
}

TEST(PakunpackUsage, ArchiveThatCantBeOpenedExitsWith2AndTheReadersText)
{
    struct Row {
        const char* label;
        std::string bytes;   // empty: no file at all
        const char* error;
    };
    const Row rows[] = {
        {"missing", "", kErrCantOpen},
        {"wrong signature", PakBuilder().Signature(5).Header(0, 92, 92).Bytes(), kErrNotPak},
        {"cut short", PakBuilder().Header(3, 92, 92).Bytes(), kErrDamaged},
    };
    for (const Row& row : rows) {
        ScratchDir dir;
        if (!row.bytes.empty())
            WriteBytes("x.pak", row.bytes);
        const std::vector<std::string> before = ListTree(dir.Path());
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"list", "x.pak"}, {"list", "--json", "x.pak"}, {"scan", "x.pak"},
              {"extract", "x.pak"}}) {
            SCOPED_TRACE(std::string(row.label) + ", " + args[0]);
            const RunResult run = Pakunpack(args);
            EXPECT_EQ(run.status, 2);
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.err, std::string("pakunpack: ") + row.error);
            EXPECT_EQ(ListTree(dir.Path()), before);
        }
    }
}

TEST(PakunpackUsage, StdoutThatCantBeWrittenExitsWith1)
{
    ScratchDir dir;
    WriteBytes("mixed.pak", MixedArchive());
    RunSetup full;
    full.stdoutPath = "/dev/full";
    const RunResult run = Pakunpack({"list", "mixed.pak"}, full);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "pakunpack: can't write to standard output\n");
}

} // namespace
