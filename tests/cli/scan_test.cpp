// pakunpack scan: the library's report, byte for byte, where it is asked for.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "cli_support.h"
#include "pak_archive.h"
#include "test_files.h"

namespace {

TEST(PakunpackScan, WritesTheLibrarysReportByteForByte)
{
    struct Row {
        std::vector<std::string> args;
        std::string report;   // where it must be
    };
    const Row rows[] = {
        {{"scan", "mixed.pak"}, "Scan_log.txt"},
        {{"scan", "-o", "sub/report.txt", "mixed.pak"}, "sub/report.txt"},
        {{"scan", "mixed.pak", "-o", "other.txt"}, "other.txt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.report);
        ScratchDir dir;
        WriteBytes("mixed.pak", MixedArchive());
        ::mkdir("sub", 0755);
        // The report names the archive by its absolute path, as the dialog's does.
        PakArchive archive;
        archive.m_path = dir / "mixed.pak";
        RecordingProgress progress;
        ASSERT_EQ(archive.OpenArchive(), 1);
        archive.AllocateTable();
        archive.LoadTable(progress);
        ASSERT_EQ(archive.WriteScanLogAs(dir / "expected.txt", progress), 1);

        const RunResult run = Pakunpack(row.args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out + run.err, "");
        EXPECT_EQ(ReadBytes(row.report), ReadBytes("expected.txt"));
    }
}

TEST(PakunpackScan, ReportThatCantBeWrittenExitsWith1)
{
    ScratchDir dir;
    WriteBytes("mixed.pak", MixedArchive());
    const RunResult run = Pakunpack({"scan", "mixed.pak", "-o", "missing/report.txt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "pakunpack: can't write the report 'missing/report.txt'\n");
    EXPECT_EQ(ListTree(dir.Path()), std::vector<std::string>{"mixed.pak"});
}

} // namespace
