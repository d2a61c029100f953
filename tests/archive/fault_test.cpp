// What the environment can do to an archive and its outputs: a folder that
// refuses writes, a full disk, an archive cut short while it is open, and an
// archive path that names no regular file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pak_archive.h"
#include "pak_builder.h"
#include "test_files.h"
#include "test_platform.h"

namespace {

// Plain, in a folder, and empty: every kind of output an entry can make.
std::string ThreeEntryArchive()
{
    return PakBuilder()
        .Header(/*numFiles=*/3, /*dataStart=*/200, /*size=*/300)
        .TableRecord(/*offset=*/0, /*size=*/10)
        .TableRecord(/*offset=*/10, /*size=*/20)
        .TableRecord(/*offset=*/30, /*size=*/0)
        .Dir("maps").File("a.txt").File("b.dat").File("c.txt")
        .DataAt(200, std::string(30, 'x'))
        .Bytes();
}

// Runs in the child: a report that fails leaves the progress bar alone.
int WriteReportAndExtractAll(void* context)
{
    auto* archive = static_cast<PakArchive*>(context);
    // Without this the folder refuses nothing and the test proves nothing.
    const int probe = ::open("probe", O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (probe >= 0)
        return 100;
    RecordingProgress progress;
    if (archive->WriteScanLog(progress) != 0)
        return 101;
    if (!progress.calls.empty())
        return 102;
    for (std::uint32_t i = 0; i < archive->m_numFiles; ++i) {
        if (archive->ExtractEntry(i) != -3)
            return static_cast<int>(i);
    }
    return -3;
}

// Root ignores file permissions, so the child gives up its capabilities.
TEST(Faults, FolderThatRefusesWritesSkipsTheReportAndFailsEveryEntry)
{
    SKIP_UNLESS_POSIX("capabilities and permission bits on folders");
    ScratchDir dir;
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "x.pak", ThreeEntryArchive()), 1);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);

    const int result = RunWithoutPrivileges(WriteReportAndExtractAll, &archive);
    ASSERT_NE(result, 100) << "the folder stayed writable; nothing was tested";
    EXPECT_NE(result, 101) << "WriteScanLog reported success";
    EXPECT_NE(result, 102) << "WriteScanLog moved the progress bar";
    EXPECT_EQ(result, -3) << "entry " << result << " did not give -3";
    EXPECT_EQ(ListTree(dir.Path()), (std::vector<std::string>{"x.pak"}));
}

// Takes write permission away from the current folder at the report's
// first progress step, which comes once its output has begun.
class LockingProgress : public ProgressBar {
public:
    void SetRange32(int, int) override {}
    void SetPos(int) override
    {
        if (!locked)
            locked = ::chmod(".", 0555) == 0;
    }
    bool locked = false;
};

int WriteReportWhileTheFolderLocks(void* archive)
{
    LockingProgress progress;
    const int written = static_cast<PakArchive*>(archive)->WriteScanLog(progress);
    return progress.locked ? written : 100;
}

// The new report has begun when the folder stops taking names: it can't be
// put under its name, so it fails, leaving neither a partial report nor a
// temporary, and an old report keeps its bytes. (Written under a name of its
// own from the start, a first report would be complete here, and a
// temporary beside an old one could not be removed.)
TEST(Faults, FolderThatLocksWhileTheReportIsWrittenKeepsWhatItHeld)
{
    SKIP_UNLESS_POSIX("capabilities and permission bits on folders");
    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "over an old report" : "a first report");
        ScratchDir dir;
        if (!UnnamedFilesWorkHere())
            GTEST_SKIP() << "outputs are written under a name here";
        PakArchive archive;
        ASSERT_EQ(OpenAndLoad(archive, "x.pak", ThreeEntryArchive()), 1);
        if (existing)
            WriteBytes("Scan_log.txt", "old report");
        const std::vector<std::string> before = ListTree(dir.Path());
        EXPECT_EQ(RunWithoutPrivileges(WriteReportWhileTheFolderLocks, &archive), 0)
            << "1 written, 100 the folder stayed open";
        EXPECT_EQ(ListTree(dir.Path()), before);
        if (existing) {
            EXPECT_EQ(ReadBytes("Scan_log.txt"), "old report");
        }
    }
}

struct SizedEntry {
    PakArchive* archive;
    std::uint32_t index;
};

int ExtractOne(void* context)
{
    const auto* entry = static_cast<SizedEntry*>(context);
    return entry->archive->ExtractEntry(entry->index);
}

// A write past the limit must fail the entry and leave no partial file and no
// temporary one; an earlier file of that name keeps its bytes. Exactly at the
// limit is fine.
TEST(Faults, FullDiskFailsTheEntryAndLeavesNoPartialFile)
{
    SKIP_UNLESS_POSIX("file-size limits");
    struct Row {
        const char* label;
        std::uint32_t entrySize;
        unsigned long limit;
        int expected;
    };
    const Row rows[] = {
        {"block larger than any stream buffer", 64 * 1024, 10000, -3},
        {"small enough for a stream buffer", 3000, 2999, -3},
        {"exactly the limit", 3000, 3000, 0},
        {"several copy blocks", 5u << 20, 3u << 20, -3},
        {"several copy blocks, exactly the limit", 5u << 20, 5u << 20, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ScratchDir dir;
        const std::string data(row.entrySize, 'd');
        PakArchive archive;
        ASSERT_EQ(OpenAndLoad(archive, "x.pak", PakBuilder()
                                                    .Header(/*numFiles=*/2, /*dataStart=*/200, /*size=*/0xFFFFFF)
                                                    .TableRecord(/*offset=*/0, /*size=*/row.entrySize)
                                                    .TableRecord(/*offset=*/0, /*size=*/row.entrySize)
                                                    .Dir("out").File("top.bin").File("in.bin")
                                                    .DataAt(200, data)
                                                    .Bytes()), 1);
        WriteBytes("top.bin", "earlier content");
        for (std::uint32_t index : {0u, 1u}) {
            SizedEntry entry{&archive, index};
            EXPECT_EQ(RunWithFileSizeLimit(row.limit, ExtractOne, &entry), row.expected);
        }
        if (row.expected == 0) {
            EXPECT_EQ(ReadBytes("top.bin"), data);
            EXPECT_EQ(ReadBytes("out/in.bin"), data);
        } else {
            EXPECT_EQ(ReadBytes("top.bin"), "earlier content");
            EXPECT_FALSE(Exists("out/in.bin"));
        }
        const std::vector<std::string> written{"out/", "out/in.bin", "top.bin", "x.pak"};
        const std::vector<std::string> failed{"out/", "top.bin", "x.pak"};
        EXPECT_EQ(ListTree(dir.Path()), row.expected == 0 ? written : failed);
    }
}

int WriteReport(void* archive)
{
    RecordingProgress progress;
    return static_cast<PakArchive*>(archive)->WriteScanLog(progress);
}

// The report of a small archive fits a stream buffer, so a full disk may show
// only at close; one byte less room than it needs must give 0.
TEST(Faults, FullDiskWhileWritingTheReportGivesZero)
{
    SKIP_UNLESS_POSIX("file-size limits");
    ScratchDir dir;
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "x.pak", ThreeEntryArchive()), 1);
    RecordingProgress progress;
    ASSERT_EQ(archive.WriteScanLog(progress), 1);
    const unsigned long reportSize = ReadBytes("Scan_log.txt").size();
    ASSERT_LT(reportSize, 4096u);

    EXPECT_EQ(RunWithFileSizeLimit(reportSize - 1, WriteReport, &archive), 0);
    EXPECT_EQ(RunWithFileSizeLimit(reportSize, WriteReport, &archive), 1);
}

// Far beyond any read buffer, so what was cut is really gone from the reads.
constexpr std::uint32_t kFarAway = 1u << 20;

class CountingProgress : public ProgressBar {
public:
    void SetRange32(int, int) override { ++calls; }
    void SetPos(int) override { ++calls; }
    std::size_t calls = 0;
};

// A table so long (512 KiB) that its end and the name area lie far beyond
// the bytes read with the header.
TEST(Faults, ArchiveCutToNothingBeforeTheTableIsReadLoadsZeros)
{
    ScratchDir dir;
    const std::uint32_t count = 32768;
    PakBuilder builder;
    builder.Header(count, /*dataStart=*/0, /*size=*/0xFFFFFFFF);
    for (std::uint32_t i = 0; i < count; ++i)
        builder.TableRecord(/*offset=*/i + 1, /*size=*/7);
    for (std::uint32_t i = 0; i < count; ++i)
        builder.File("n.txt");
    WriteBytes("x.pak", builder.Bytes());
    PakArchive archive;
    archive.m_path = "x.pak";
    ASSERT_EQ(archive.OpenArchive(), 1);
    archive.AllocateTable();
    ASSERT_EQ(::truncate("x.pak", 0), 0);

    CountingProgress progress;
    archive.LoadTable(progress);
    EXPECT_EQ(progress.calls, 3 + 2 * std::size_t{count});
    const PakEntry& last = archive.m_table.back();
    EXPECT_EQ(last.size, 0u);
    EXPECT_EQ(last.offset, 0u);
    EXPECT_EQ(last.dir, "");
    EXPECT_EQ(last.name, "");
}

// Whatever is gone of an entry's bytes comes out as zeros, at full length.
TEST(Faults, EntryCutShortAfterLoadingIsZeroFilled)
{
    struct Row {
        const char* label;
        std::uint32_t entrySize;
        off_t cutAt;
    };
    const Row rows[] = {
        {"not cut", 1000, kFarAway + 1000},
        {"cut inside the entry", 1000, kFarAway + 600},
        {"cut to nothing", 1000, 0},
        {"cut inside an entry of several copy blocks", 5u << 20, kFarAway + (3 << 20) + 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ScratchDir dir;
        const std::string data = NumberedBytes(row.entrySize);
        PakArchive archive;
        ASSERT_EQ(OpenAndLoad(archive, "x.pak", PakBuilder()
                                                    .Header(/*numFiles=*/1, /*dataStart=*/kFarAway, /*size=*/0xFFFFFFFF)
                                                    .TableRecord(/*offset=*/0, /*size=*/row.entrySize)
                                                    .File("e.bin")
                                                    .DataAt(kFarAway, data)
                                                    .Bytes()), 1);
        ASSERT_EQ(::truncate("x.pak", row.cutAt), 0);
        EXPECT_EQ(archive.ExtractEntry(0), 0);
        const std::size_t kept = row.cutAt > kFarAway ? static_cast<std::size_t>(row.cutAt - kFarAway) : 0;
        std::string expected = data.substr(0, kept);
        expected.resize(row.entrySize, '\0');
        EXPECT_TRUE(ReadBytes("e.bin") == expected);   // no dump of megabytes when it fails
    }
}

// Once the archive's descriptor is a folder's, every read of it fails. An
// entry then gives -3 with ReadFailed and leaves nothing: neither one read
// whole before its output is created nor one copied block by block into an
// output already begun; an earlier file of that name keeps its bytes.
TEST(Faults, ArchiveThatCantBeReadFailsTheEntryAndLeavesNothing)
{
    SKIP_UNLESS_POSIX("descriptors that can be replaced");
#ifndef _WIN32
    ScratchDir dir;
    const std::uint32_t large = 5u << 20;
    const std::string bytes = PakBuilder()
                                  .Header(/*numFiles=*/4, /*dataStart=*/kFarAway, /*size=*/0xFFFFFFFF)
                                  .TableRecord(/*offset=*/0, /*size=*/3000)
                                  .TableRecord(/*offset=*/0, /*size=*/3000)
                                  .TableRecord(/*offset=*/0, /*size=*/large)
                                  .TableRecord(/*offset=*/0, /*size=*/large)
                                  .File("small.bin").File("old.bin").File("large.bin").File("old.bin")
                                  .DataAt(kFarAway, NumberedBytes(large))
                                  .Bytes();
    WriteBytes("old.bin", "earlier content");
    // The archive's open takes the lowest free descriptor.
    const int archiveFd = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(archiveFd, 0);
    ::close(archiveFd);
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "x.pak", bytes), 1);
    struct stat opened {}, named {};
    ASSERT_EQ(::fstat(archiveFd, &opened), 0);
    ASSERT_EQ(::stat("x.pak", &named), 0);
    ASSERT_EQ(opened.st_ino, named.st_ino) << "the archive took another descriptor";
    const int folder = ::open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::dup2(folder, archiveFd), archiveFd);
    ::close(folder);

    for (std::uint32_t index = 0; index < 4; ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(archive.ExtractEntry(index), -3);
        EXPECT_EQ(archive.LastExtractFailure().problem, ExtractProblem::ReadFailed);
        EXPECT_NE(archive.LastExtractFailure().systemCode, 0);
    }
    EXPECT_EQ(ListTree(dir.Path()), (std::vector<std::string>{"old.bin", "x.pak"}));
    EXPECT_EQ(ReadBytes("old.bin"), "earlier content");
#endif
}

int OpenWithoutHanging(void* archive)
{
    ::alarm(60);   // only ever fires when the open blocks
    auto* pak = static_cast<PakArchive*>(archive);
    const int opened = pak->OpenArchive();
    if (opened != 0)
        return 1;
    if (pak->m_errorText != kErrCantOpen)
        return 2;
    return pak->IsOpen() ? 3 : 0;
}

// A child process, so that an open that blocks ends with the child.
int RunInChild(int (*body)(void*), void* context)
{
    return RunWithFileSizeLimit(RLIM_INFINITY, body, context);
}

// A FIFO with no writer blocks a plain open and reads as empty; /dev/null
// reads as empty too. Each must be refused as unopenable, and a good archive
// opened before must be closed.
TEST(Faults, PathThatIsNoRegularFileIsRefusedWithoutHanging)
{
    SKIP_UNLESS_POSIX("FIFOs, alarm() and fork");
    struct Row {
        const char* label;
        const char* path;
    };
    const Row rows[] = {
        {"folder", "folder.pak"},
        {"FIFO without a writer", "fifo.pak"},
        {"character device", "/dev/null"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ScratchDir dir;
        ASSERT_EQ(::mkdir("folder.pak", 0755), 0);
        ASSERT_EQ(::mkfifo("fifo.pak", 0644), 0);
        PakArchive archive;
        ASSERT_EQ(OpenAndLoad(archive, "good.pak", ThreeEntryArchive()), 1);
        archive.m_path = row.path;
        EXPECT_EQ(RunInChild(OpenWithoutHanging, &archive), 0) << "1 opened, 2 wrong text, 3 left open, -100 hung";
    }
}

} // namespace
