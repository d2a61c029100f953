// WriteScanLog: the report's bytes, its verdicts, progress and refusals.
#include <gtest/gtest.h>

#include "pak_archive.h"
#include "pak_builder.h"
#include "test_files.h"
#include "test_platform.h"

namespace {

const std::string kStars(48, '*');

std::string Header(const std::string& path, const std::string& size, const std::string& start,
                   const std::string& count)
{
    return kStars + "\nScan Test File v 0.1 for Corvane UnPaker\n" + kStars + "\nName:" + path + "\nSize:" + size +
           "\nStart_pos:" + start + "\nNum_files:" + count + "\n" + kStars + "\n<------ Scan Data ----->\n";
}

// Opens and loads `bytes`, then writes the report; returns its text.
std::string ReportOf(const std::string& bytes, const std::string& shownPath = "")
{
    PakArchive archive;
    if (OpenAndLoad(archive, "r.pak", bytes) != 1)
        return "open failed";
    if (!shownPath.empty())
        archive.m_path = shownPath;
    RecordingProgress progress;
    if (archive.WriteScanLog(progress) != 1)
        return "not written";
    return ReadBytes("Scan_log.txt");
}

TEST(WriteScanLog, WritesTheTwoEntryExampleByteForByte)
{
    ScratchDir dir;
    WriteBytes("Scan_log.txt", std::string(5000, 'x'));   // replaced, not appended to
    // "maps" is read in the first entry's turn, so it applies from the second.
    const std::string bytes = PakBuilder()
                                  .Header(/*numFiles=*/2, /*dataStart=*/200, /*size=*/600)
                                  .TableRecord(/*offset=*/0, /*size=*/100)
                                  .TableRecord(/*offset=*/100, /*size=*/400)
                                  .Dir("maps").File("a.txt").File("b.dat")
                                  .Bytes();
    const std::string expected =
        Header("C:\\games\\data.pak", "600 byte [0x258 (hex)]", "0xC8", "2 [0x2 (hex)]") +
        "File_num[0]\nDir->\nName->a.txt\n"
        "Offsets->Real[0xC8] inTable[0x0] Size:100 byte [0x64]\n"
        "Status:GOOD!\n"
        "File_num[1]\nDir->maps\nName->b.dat\n"
        "Offsets->Real[0x12C] inTable[0x64] Size:400 byte [0x190]\n"
        "Status:FAILD!!!!!!!!!!!!!!!!!!!!!!!!\n";
    EXPECT_EQ(ReportOf(bytes, "C:\\games\\data.pak"), expected);
}

TEST(WriteScanLog, EmptyArchiveHasHeaderAndScanLineOnly)
{
    ScratchDir dir;
    EXPECT_EQ(ReportOf(PakBuilder().Header(0, 0x5C, 0).Bytes(), "/p/empty.pak"),
              Header("/p/empty.pak", "0 byte [0x0 (hex)]", "0x5C", "0 [0x0 (hex)]"));
}

TEST(WriteScanLog, PrintsSignedDecimalAndWrappedSums)
{
    ScratchDir dir;
    const std::string bytes = PakBuilder()
                                  .Header(/*numFiles=*/1, /*dataStart=*/0xFFFFFFF0, /*size=*/0x80000000)
                                  .TableRecord(/*offset=*/0x20, /*size=*/0xFFFFFFFF)
                                  .File("big.bin")
                                  .Bytes();
    const std::string expected =
        Header("r.pak", "-2147483648 byte [0x80000000 (hex)]", "0xFFFFFFF0", "1 [0x1 (hex)]") +
        "File_num[0]\nDir->\nName->big.bin\n"
        "Offsets->Real[0x10] inTable[0x20] Size:-1 byte [0xFFFFFFFF]\n"
        "Status:GOOD!\n";   // every sum wraps below S
    EXPECT_EQ(ReportOf(bytes), expected);
}

// The path's control characters alone are shown as '?': a folder's name
// can't split the Name: line.
TEST(WriteScanLog, PrintsNamesByteForByteAndThePathOnOneLine)
{
    ScratchDir dir;
    const std::string name = "\xE9t\xE9\x01\x7F.bin";
    const std::string bytes = PakBuilder().Header(2, 0, 0).TableRecord(0, 0).TableRecord(0, 0)
                                  .Dir("d\xFF\x80z").File("a.txt").File(name).Bytes();
    const std::string report = ReportOf(bytes, "/tmp/\xC3\xA9\xFF\n\r\x1B\x7F\x1F.pak");
    EXPECT_NE(report.find("\nName:/tmp/\xC3\xA9\xFF?????.pak\nSize:"), std::string::npos);
    EXPECT_NE(report.find("Dir->d\xFF\x80z\nName->" + name + "\n"), std::string::npos);
    EXPECT_EQ(report.find('\r'), std::string::npos);
}

TEST(WriteScanLog, RangeVerdicts)
{
    struct Row {
        const char* label;
        std::uint32_t dataStart, size, offset, entrySize;
        bool good;
    };
    const Row rows[] = {
        {"ends exactly at S", 200, 600, 100, 300, true},
        {"ends one past S", 200, 600, 100, 301, false},
        {"size 0 starting exactly at S", 200, 600, 400, 0, true},
        {"starts one past S", 200, 600, 401, 0, false},
        {"D beyond S", 700, 600, 0, 0, false},
        // D + offset wraps to 0x10, but offset alone exceeds S.
        {"offset beyond S, start wraps below", 0x20, 600, 0xFFFFFFF0, 0, false},
        // size + offset + D wraps to exactly 0: every test passes.
        {"end wraps to zero", 0, 600, 10, 0xFFFFFFF6, true},
        {"end wraps past S", 0, 600, 10, 0xFFFFFFF5, false},
        {"empty archive size, empty entry at 0", 0, 0, 0, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ScratchDir dir;
        const std::string bytes = PakBuilder().Header(1, row.dataStart, row.size)
                                      .TableRecord(row.offset, row.entrySize).File("e.bin").Bytes();
        const std::string report = ReportOf(bytes);
        const std::string verdict = row.good ? "\nStatus:GOOD!\n" : "\nStatus:FAILD!!!!!!!!!!!!!!!!!!!!!!!!\n";
        EXPECT_EQ(report.substr(report.size() - verdict.size()), verdict);
    }
}

TEST(WriteScanLog, MovesTheProgressBarAtTheNamedPointsOnly)
{
    ScratchDir dir;
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "p.pak", PakBuilder().Header(3, 0, 0).TableRecord(0, 0).TableRecord(0, 0)
                                                  .TableRecord(0, 0).File("a.txt").File("b.txt").File("c.txt")
                                                  .Bytes()), 1);
    RecordingProgress progress;
    EXPECT_EQ(archive.WriteScanLog(progress), 1);
    const std::vector<std::string> expected = {"pos 0", "pos 0", "pos 1", "pos 2", "pos 0"};
    EXPECT_EQ(progress.calls, expected);
}

// A report that can't be written safely is skipped: result 0, no progress.
TEST(WriteScanLog, RefusesWhatItMustNotWrite)
{
    const std::string bytes = PakBuilder().Header(1, 0, 10).TableRecord(0, 1).File("a.txt").Bytes();
    struct Row {
        const char* label;
        void (*prepare)(const std::string& bytes);
        const char* archiveName;
        bool needsLinks = false;
    };
    const Row rows[] = {
        {"report name is a folder", [](const std::string&) { ::mkdir("Scan_log.txt", 0755); }, "r.pak"},
        {"report name is a symbolic link",
         [](const std::string&) {
             WriteBytes("target.txt", "keep");
             ::symlink("target.txt", "Scan_log.txt");
         },
         "r.pak", true},
        {"report name is a dangling symbolic link",
         [](const std::string&) { ::symlink("created-elsewhere.txt", "Scan_log.txt"); }, "r.pak", true},
        {"archive is named like the report", [](const std::string&) {}, "Scan_log.txt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        if (row.needsLinks && !CanMakeSymbolicLinks())
            continue;   // this system won't make symbolic links for us
        ScratchDir dir;
        row.prepare(bytes);
        PakArchive archive;
        ASSERT_EQ(OpenAndLoad(archive, row.archiveName, bytes), 1);
        RecordingProgress progress;
        EXPECT_EQ(archive.WriteScanLog(progress), 0);
        EXPECT_TRUE(progress.calls.empty());
        EXPECT_EQ(ReadBytes(row.archiveName), bytes);
        if (Exists("target.txt")) {
            EXPECT_EQ(ReadBytes("target.txt"), "keep");
        }
        EXPECT_FALSE(Exists("created-elsewhere.txt"));
    }
}

int WriteReport(void* archive)
{
    RecordingProgress progress;
    return static_cast<PakArchive*>(archive)->WriteScanLog(progress);
}

// A full disk must not be reported as a written report.
TEST(WriteScanLog, FailedWriteReturnsZero)
{
    SKIP_UNLESS_POSIX("file-size limits");
    ScratchDir dir;
    PakBuilder builder;
    builder.Header(2000, 0, 0);
    for (int i = 0; i < 2000; ++i)
        builder.TableRecord(0, 0);
    for (int i = 0; i < 2000; ++i)
        builder.File("entry.bin");
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "big.pak", builder.Bytes()), 1);
    EXPECT_EQ(RunWithFileSizeLimit(4096, WriteReport, &archive), 0);
    EXPECT_EQ(RunWithFileSizeLimit(1 << 24, WriteReport, &archive), 1);
}

} // namespace

namespace {

TEST(WriteScanLogAs, WritesTheSameReportElsewhere)
{
    ScratchDir dir;
    ::mkdir("reports", 0755);
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "r.pak", PakBuilder().Header(1, 100, 200).TableRecord(0, 5).File("a.txt").Bytes()), 1);
    RecordingProgress progress;
    ASSERT_EQ(archive.WriteScanLog(progress), 1);
    EXPECT_EQ(archive.WriteScanLogAs("reports/one.txt", progress), 1);
    EXPECT_EQ(archive.WriteScanLogAs(dir / "two.txt", progress), 1);
    EXPECT_EQ(ReadBytes("reports/one.txt"), ReadBytes("Scan_log.txt"));
    EXPECT_EQ(ReadBytes("two.txt"), ReadBytes("Scan_log.txt"));
    EXPECT_EQ(archive.WriteScanLogAs("missing/three.txt", progress), 0);
    EXPECT_EQ(archive.WriteScanLogAs(dir / "r.pak", progress), 0);   // never the archive
    EXPECT_EQ(archive.WriteScanLogAs("reports/", progress), 0);
}

} // namespace
