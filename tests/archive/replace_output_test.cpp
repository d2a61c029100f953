// Outputs that already exist are replaced, never rewritten in place; an
// entry's memory is bounded by the archive file; every refusal says why.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "address_space.h"
#include "file_io.h"
#include "pak_archive.h"
#include "pak_builder.h"
#include "test_files.h"
#include "test_platform.h"

namespace {

using Strings = std::vector<std::string>;

// Two entries: "h.txt" (5 bytes) and "big.bin" (3000 bytes), both in the current folder.
std::string TwoEntryArchive()
{
    return PakBuilder()
        .Header(/*numFiles=*/2, /*dataStart=*/200, /*size=*/0xFFFFFF)
        .TableRecord(/*offset=*/0, /*size=*/5)
        .TableRecord(/*offset=*/5, /*size=*/3000)
        .File("h.txt").File("big.bin")
        .DataAt(200, "hello" + std::string(3000, 'b'))
        .Bytes();
}

mode_t NewFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

struct stat StatOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

struct Call {
    std::function<int()> body;
};

// While it lives, outputs are written the way taken where the system makes
// no files without a name.
struct NamedOutputs {
    NamedOutputs() { UseUnnamedOutputs(false); }
    ~NamedOutputs() { UseUnnamedOutputs(true); }
    NamedOutputs(const NamedOutputs&) = delete;
    NamedOutputs& operator=(const NamedOutputs&) = delete;
};

int RunCall(void* context)
{
    return static_cast<Call*>(context)->body();
}

TEST(ReplaceOutput, ExistingNamesGetANewFileOnlyOnceItIsComplete)
{
    struct Row {
        const char* label;
        std::function<void()> before;          // what the folder holds before
        std::function<int(PakArchive&)> act;   // the call, its result compared with `result`
        int result;
        Strings tree;                           // the folder afterwards
        std::vector<std::pair<std::string, std::string>> bytes;   // files and their bytes afterwards
        bool needsLimits = false;               // a file-size limit: POSIX only
    };
    const auto extractH = [](PakArchive& a) { return a.ExtractEntry(0); };
    const auto extractBigLimited = [](PakArchive& a) {
        Call call{[&a] { return a.ExtractEntry(1); }};
        return RunWithFileSizeLimit(1000, RunCall, &call);
    };
    const auto report = [](PakArchive& a) {
        RecordingProgress progress;
        return a.WriteScanLog(progress);
    };
    const auto reportLimited = [](PakArchive& a) {
        Call call{[&a] {
            RecordingProgress progress;
            return a.WriteScanLog(progress);
        }};
        return RunWithFileSizeLimit(100, RunCall, &call);
    };
    const Row rows[] = {
        {"a new name", [] {}, extractH, 0, {"h.txt", "outside/", "x.pak"}, {{"h.txt", "hello"}}},
        {"an existing file", [] { WriteBytes("h.txt", "old bytes, longer than the new"); }, extractH, 0,
         {"h.txt", "outside/", "x.pak"}, {{"h.txt", "hello"}}},
        {"a hard link to a file outside the folder",
         [] {
             WriteBytes("outside/victim.txt", "victim");
             ASSERT_EQ(::link("outside/victim.txt", "h.txt"), 0);
         },
         extractH, 0, {"h.txt", "outside/", "outside/victim.txt", "x.pak"},
         {{"h.txt", "hello"}, {"outside/victim.txt", "victim"}}},
        {"a failed write over an existing file", [] { WriteBytes("big.bin", "old big"); }, extractBigLimited, -3,
         {"big.bin", "outside/", "x.pak"}, {{"big.bin", "old big"}}, true},
        {"a failed write of a new name", [] {}, extractBigLimited, -3, {"outside/", "x.pak"}, {}, true},
        {"a hard-linked Scan_log.txt",
         [] {
             WriteBytes("outside/victim.txt", "victim");
             ASSERT_EQ(::link("outside/victim.txt", "Scan_log.txt"), 0);
         },
         report, 1, {"Scan_log.txt", "outside/", "outside/victim.txt", "x.pak"}, {{"outside/victim.txt", "victim"}}},
        {"a report that fails under a file-size limit", [] { WriteBytes("Scan_log.txt", "previous report"); },
         reportLimited, 0, {"Scan_log.txt", "outside/", "x.pak"}, {{"Scan_log.txt", "previous report"}}, true},
        {"a first report that fails", [] {}, reportLimited, 0, {"outside/", "x.pak"}, {}, true},
    };
    for (const bool named : {false, true}) {
        std::optional<NamedOutputs> way;
        if (named)
            way.emplace();
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(named ? "named: " : "") + row.label);
            if (row.needsLimits && !kPosixSystem)
                continue;
            ScratchDir dir;
            ::mkdir("outside", 0755);
            PakArchive archive;
            ASSERT_EQ(OpenAndLoad(archive, "x.pak", TwoEntryArchive()), 1);
            row.before();
            ::chmod("outside/victim.txt", 0600);
            if (Exists("h.txt"))
                ::chmod("h.txt", 0600);
            EXPECT_EQ(row.act(archive), row.result);
            EXPECT_EQ(ListTree(dir.Path()), row.tree) << "no temporary file may be left";
            for (const auto& [path, bytes] : row.bytes)
                EXPECT_EQ(ReadBytes(path), bytes) << path;
            if (row.result == 0 && Exists("h.txt")) {
                EXPECT_EQ(StatOf("h.txt").st_mode & 07777, NewFileMode());
                EXPECT_EQ(StatOf("h.txt").st_nlink, 1u);
            }
        }
    }
}

// Another process puts its finished file under the new name between the
// failed write and the cleanup (from the handler of the kernel's SIGXFSZ,
// which comes with the failing write): the cleanup must leave it alone.
int ExtractWhileTheNameIsTaken(void* archive)
{
#ifndef _WIN32
    WriteBytes("theirs.tmp", "their file");
    struct sigaction takeName {};
    takeName.sa_handler = [](int) { ::rename("theirs.tmp", "big.bin"); };
    ::sigaction(SIGXFSZ, &takeName, nullptr);
#endif
    return static_cast<PakArchive*>(archive)->ExtractEntry(1);
}

TEST(ReplaceOutput, CleanupRemovesOnlyItsOwnFile)
{
    SKIP_UNLESS_POSIX("file-size limits");
    for (const bool named : {false, true}) {
        SCOPED_TRACE(named ? "named" : "unnamed");
        std::optional<NamedOutputs> way;
        if (named)
            way.emplace();
        ScratchDir dir;
        PakArchive archive;
        ASSERT_EQ(OpenAndLoad(archive, "x.pak", TwoEntryArchive()), 1);
        EXPECT_EQ(RunWithFileSizeLimit(1000, ExtractWhileTheNameIsTaken, &archive), -3);
        EXPECT_EQ(ListTree(dir.Path()), (Strings{"big.bin", "x.pak"}));
        EXPECT_EQ(ReadBytes("big.bin"), "their file");
    }
}

TEST(ReplaceOutput, FailedReportKeepsTheProgressCallsOfAWrittenOne)
{
    SKIP_UNLESS_POSIX("file-size limits");
    ScratchDir dir;
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "x.pak", TwoEntryArchive()), 1);
    RecordingProgress written;
    ASSERT_EQ(archive.WriteScanLog(written), 1);
    struct Context {
        PakArchive* archive;
        std::size_t calls;
    } context{&archive, 0};
    Call call{[&context] {
        RecordingProgress failed;
        const int result = context.archive->WriteScanLog(failed);
        return result == 0 ? static_cast<int>(failed.calls.size()) : -1;
    }};
    EXPECT_EQ(RunWithFileSizeLimit(100, RunCall, &call), static_cast<int>(written.calls.size()));
}

// "No archive, no report": a failed reopen leaves the old table, which must
// not be written under the new name.
TEST(ReplaceOutput, NoReportWithoutAnOpenArchive)
{
    ScratchDir dir;
    PakArchive archive;
    RecordingProgress progress;
    EXPECT_EQ(archive.WriteScanLog(progress), 0);
    ASSERT_EQ(OpenAndLoad(archive, "x.pak", TwoEntryArchive()), 1);
    archive.m_path = "missing.pak";
    ASSERT_EQ(archive.OpenArchive(), 0);
    EXPECT_EQ(archive.WriteScanLog(progress), 0);
    EXPECT_EQ(archive.WriteScanLogAs("other.txt", progress), 0);
    EXPECT_EQ(progress.calls, Strings{});
    EXPECT_EQ(ListTree(dir.Path()), Strings{"x.pak"});
}

#ifndef _WIN32
// Runs `body` in a child process that may map only `extra` bytes of address
// space beyond what it holds when it starts. Returns what `body` returned
// (99 when it ran out of memory), or -100 when the child did not exit normally.
int RunWithAddressSpace(rlim_t extra, const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        LimitAddressSpace(extra);
        int code = 0;
        try {
            code = body();
        } catch (const std::bad_alloc&) {
            code = 99;
        }
        ::_exit(code & 0xFF);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -100;
    return WEXITSTATUS(status);
}
#endif

// 151 bytes declaring an entry of 4 GiB - 1 that starts inside the declared
// size: the file holds 3 of its bytes, so memory for 3 bytes is all it takes,
// and the output is extended with zeros to its full length.
TEST(BoundedMemory, HugeDeclaredEntryTakesOnlyTheBytesTheFileHolds)
{
    SKIP_UNLESS_POSIX("fork and address-space limits");
    ScratchDir dir;
    const std::string bytes = PakBuilder()
                                  .Header(/*numFiles=*/2, /*dataStart=*/148, /*size=*/0xFFFFFFFF)
                                  .TableRecord(/*offset=*/0, /*size=*/0xFFFFFFFF)
                                  .TableRecord(/*offset=*/0, /*size=*/3)
                                  .File("huge.bin").File("after.bin")
                                  .DataAt(148, "abc")
                                  .Bytes();
    ASSERT_EQ(bytes.size(), 151u);
    WriteBytes("x.pak", bytes);
#ifndef _WIN32
    // 1 GiB of address space beyond what the process has now.
    const int code = RunWithAddressSpace(rlim_t{1} << 30, [] {
        rusage before{};
        ::getrusage(RUSAGE_SELF, &before);
        PakArchive archive;
        if (OpenAndLoad(archive, "x.pak") != 1)
            return 10;
        if (archive.ExtractEntry(0) != 0)
            return 11;
        if (archive.ExtractEntry(1) != 0)
            return 12;
        rusage after{};
        ::getrusage(RUSAGE_SELF, &after);
        return after.ru_maxrss - before.ru_maxrss > 64 * 1024 ? 14 : 0;   // KiB
    });
    ASSERT_EQ(code, 0) << "10 open, 11/12 an entry failed, 99 out of memory, 14 peak memory";

    const struct stat st = StatOf("huge.bin");
    EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), 0xFFFFFFFFull);
    const int fd = ::open("huge.bin", O_RDONLY);
    ASSERT_GE(fd, 0);
    char head[4] = {};
    EXPECT_EQ(::pread(fd, head, sizeof head, 0), 4);
    EXPECT_EQ(std::string(head, 4), std::string("abc\0", 4));
    std::string tail(4096, 'x');
    EXPECT_EQ(::pread(fd, tail.data(), tail.size(), 0xFFFFFFFFll - 4096), 4096);
    EXPECT_EQ(tail, std::string(4096, '\0'));
    ::close(fd);
    EXPECT_EQ(ReadBytes("after.bin"), "abc");
#endif
}

// One directory record of 511 characters before 200,000 file records: its
// text is held once for all the entries that follow it, so opening, loading,
// the report and extraction all fit in 4 x the file + 64 MiB (a copy in every
// entry would take 25 x the file).
TEST(BoundedMemory, ADirectoryIsHeldOnceForAllItsEntries)
{
    SKIP_UNLESS_POSIX("fork and address-space limits");
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory and quarantine don't fit such a limit";
#endif
    ScratchDir dir;
    constexpr std::uint32_t kEntries = 200000;
    const std::string longDir(511, 'd');
    PakBuilder builder;
    builder.Header(kEntries, /*dataStart=*/0, /*size=*/1000).Dir(longDir).File("first.txt");
    for (std::uint32_t i = 0; i < kEntries; ++i)
        builder.TableRecord(/*offset=*/0, /*size=*/4);
    for (std::uint32_t i = 1; i < kEntries; ++i)
        builder.File("a.txt");
    const std::string bytes = builder.Bytes();
    WriteBytes("long.pak", bytes);
#ifndef _WIN32
    const int code = RunWithAddressSpace(4 * bytes.size() + (rlim_t{64} << 20), [&] {
        PakArchive archive;
        archive.m_path = "long.pak";
        NoProgress progress;
        if (archive.OpenArchive() != 1)
            return 10;
        archive.AllocateTable();
        archive.LoadTable(progress);
        if (!archive.m_table[0].dir.empty() || archive.m_table[kEntries - 1].dir != longDir)
            return 11;
        if (archive.WriteScanLog(progress) != 1)
            return 12;
        // The folder's name is longer than a file system allows.
        return archive.ExtractEntry(0) == 0 && archive.ExtractEntry(kEntries - 1) == -3 ? 0 : 13;
    });
    ASSERT_EQ(code, 0) << "10 open, 11 table, 12 report, 13 extraction, 99 out of memory";
    EXPECT_EQ(ListTree(dir.Path()), (Strings{"Scan_log.txt", "first.txt", "long.pak"}));
    EXPECT_EQ(ReadBytes("first.txt"), bytes.substr(0, 4));
#endif
}

// Every entry but the last reads two directory records of 3 characters, so
// each holds a folder text of its own and the table takes over 3 x the file;
// the last entry spans the whole file. Its bytes pass through a buffer of a
// fixed size: once the table is loaded, extracting it fits in 16 MiB more
// (a buffer as large as the entry would not), and everything in 4 x the file
// + 64 MiB.
TEST(BoundedMemory, AnEntryAsLargeAsTheFileTakesAFixedBuffer)
{
    SKIP_UNLESS_POSIX("fork and address-space limits");
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory and quarantine don't fit such a limit";
#endif
    ScratchDir dir;
    constexpr std::uint32_t kEntries = 1000000;
    PakBuilder builder;
    builder.Header(kEntries, /*dataStart=*/0, /*size=*/0xFFFFFFFF);
    for (std::uint32_t i = 0; i < kEntries; ++i)
        builder.TableRecord(/*offset=*/0, /*size=*/0);
    for (std::uint32_t i = 1; i < kEntries; ++i)
        builder.Dir("abc").Dir("abd");
    std::string bytes = builder.Dir("abc").File("all.bin").Bytes();
    const auto fileSize = static_cast<std::uint32_t>(bytes.size());
    for (std::size_t k = 0; k < 4; ++k)   // the last record's size: the whole file
        bytes[92 + 16 * std::size_t{kEntries - 1} + k] = static_cast<char>(fileSize >> (8 * k));
    WriteBytes("x.pak", bytes);
#ifndef _WIN32
    const int code = RunWithAddressSpace(4 * bytes.size() + (rlim_t{64} << 20), [] {
        PakArchive archive;
        if (OpenAndLoad(archive, "x.pak") != 1)
            return 10;
        if (archive.m_table.back().name != "all.bin" || archive.m_table.back().dir != "abd")
            return 11;
        if (!LimitAddressSpace(rlim_t{16} << 20))
            return 12;
        return archive.ExtractEntry(kEntries - 1) == 0 ? 0 : 13;
    });
    ASSERT_EQ(code, 0) << "10 open, 11 table, 12 limit, 13 extraction, 99 out of memory";
    EXPECT_TRUE(ReadBytes("abd/all.bin") == bytes);   // no dump of 24 MB when it fails
#endif
}

TEST(ExtractReasons, EachRefusalSaysWhy)
{
    enum class Needs { Nothing, Links, Fifos };
    struct Row {
        const char* label;
        std::function<void()> before;
        std::string dir, name;
        bool beyond;   // the entry starts at the declared size
        int result;
        ExtractProblem problem;
        std::string text;
        Needs needs = Needs::Nothing;
    };
    const std::string longName(300, 'n');
#ifdef _WIN32
    const std::string tooLong = SystemErrorText(ERROR_FILENAME_EXCED_RANGE);
#else
    const std::string tooLong = std::strerror(ENAMETOOLONG);
#endif
    const Row rows[] = {
        {"written", [] {}, "", "a.txt", false, 0, ExtractProblem::None, "written"},
        {"start beyond the declared size", [] {}, "", "a.txt", true, -1, ExtractProblem::OutsideArchive,
         "starts at or beyond the declared archive size"},
        {"name ..", [] {}, "", "..", false, -3, ExtractProblem::NameRefused, "its name is empty, \".\" or \"..\""},
        {"folder .", [] {}, ".", "a.txt", false, -3, ExtractProblem::NameRefused, "its name is empty, \".\" or \"..\""},
        {"a link as the file", [] { ASSERT_EQ(::symlink("elsewhere", "a.txt"), 0); }, "", "a.txt", false, -3,
         ExtractProblem::LinkInTheWay, "a symbolic link is in the way", Needs::Links},
        {"a link as the folder", [] { ASSERT_EQ(::symlink(".", "sub"), 0); }, "sub", "a.txt", false, -3,
         ExtractProblem::LinkInTheWay, "a symbolic link is in the way", Needs::Links},
        {"a folder as the file", [] { ::mkdir("a.txt", 0755); }, "", "a.txt", false, -3, ExtractProblem::FolderInTheWay,
         "a folder is in the way"},
        {"a file as the folder", [] { WriteBytes("sub", "plain"); }, "sub", "a.txt", false, -3,
         ExtractProblem::FileInTheWay, "a file is where its folder should be"},
        {"a FIFO as the file", [] { ASSERT_EQ(::mkfifo("a.txt", 0644), 0); }, "", "a.txt", false, -3,
         ExtractProblem::NotRegularInTheWay, "a file that is not a regular file is in the way", Needs::Fifos},
        {"the archive itself", [] {}, "", "x.pak", false, -3, ExtractProblem::IsTheArchive,
         "it would overwrite the archive itself"},
        {"a name too long", [] {}, "", longName, false, -3, ExtractProblem::SystemError, tooLong},
        {"a folder name too long", [] {}, longName, "a.txt", false, -3, ExtractProblem::SystemError, tooLong},
    };
    // An entry of one block finds what is in the way when its output is
    // named, a larger one before it is copied: both give the same answer.
    const std::string bigData(std::size_t{2} << 20 | 1, 'd');
    for (const std::string& data : {std::string("data"), bigData})
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.label) + (data.size() > 4 ? ", more than one block" : ""));
            if ((row.needs == Needs::Links && !CanMakeSymbolicLinks()) || (row.needs == Needs::Fifos && !kPosixSystem))
                continue;   // the system can't plant what the row needs
            ScratchDir dir;
            PakArchive archive;
            const auto size = static_cast<std::uint32_t>(data.size());
            ASSERT_EQ(OpenAndLoad(archive, "x.pak", PakBuilder()
                                                        .Header(/*numFiles=*/1, /*dataStart=*/200, 200 + size)
                                                        .TableRecord(/*offset=*/0, size)
                                                        .File("a.txt")
                                                        .DataAt(200, data)
                                                        .Bytes()), 1);
            archive.m_table[0] = PakEntry{row.dir, row.name, row.beyond ? 200 + size : 0, size};
            row.before();
            EXPECT_EQ(archive.ExtractEntry(0), row.result);
            EXPECT_EQ(archive.LastExtractFailure().problem, row.problem);
            EXPECT_EQ(ExtractFailureText(archive.LastExtractFailure()), row.text);
            if (row.result == 0) {
                EXPECT_TRUE(ReadBytes("a.txt") == data);
            }
        }
}

int ExtractIntoLockedFolder(void* context)
{
    auto* archive = static_cast<PakArchive*>(context);
    const int result = archive->ExtractEntry(0);
    const ExtractFailure failure = archive->LastExtractFailure();
    return result == -3 && failure.problem == ExtractProblem::SystemError && failure.systemCode == EACCES ? 0 : 1;
}

TEST(ExtractReasons, SystemReasonsAndEntriesOutsideTheTable)
{
    ScratchDir dir;
    PakArchive archive;
    EXPECT_EQ(archive.ExtractEntry(0), -3);
    EXPECT_EQ(ExtractFailureText(archive.LastExtractFailure()), "no such entry in the loaded table");
    ASSERT_EQ(OpenAndLoad(archive, "x.pak", TwoEntryArchive()), 1);
    EXPECT_EQ(archive.ExtractEntry(2), -3);
    EXPECT_EQ(archive.LastExtractFailure().problem, ExtractProblem::NoSuchEntry);
    if (kPosixSystem) {   // permission bits on a folder and capabilities
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
        EXPECT_EQ(RunWithoutPrivileges(ExtractIntoLockedFolder, &archive), 0);
        EXPECT_EQ(ExtractFailureText(ExtractFailure{ExtractProblem::SystemError, EACCES}), std::strerror(EACCES));
        ::chmod(dir.Path().c_str(), 0755);
    }
    EXPECT_EQ(archive.ExtractEntry(0), 0);
    EXPECT_EQ(archive.LastExtractFailure().problem, ExtractProblem::None) << "a success clears the reason";
}

} // namespace
