// What the archive library must do on Windows in particular: read-only and
// hard-linked outputs, device names, names in the ANSI code page, paths
// beyond 260 characters, reparse points and a report without CR.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pak_archive.h"
#include "pak_builder.h"
#include "test_files.h"
#include "test_platform.h"
#include "file_io.h"

namespace {

using Strings = std::vector<std::string>;

std::wstring Wide(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<std::size_t>(::MultiByteToWideChar(
        CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

std::wstring LongPath(const std::string& relative)
{
    std::wstring current(32768, L'\0');
    current.resize(::GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data()));
    return L"\\\\?\\" + current + L"\\" + Wide(relative);
}

std::string ReadWide(const std::wstring& path)
{
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "missing";
    std::string bytes;
    char block[4096];
    for (DWORD got = 0; ::ReadFile(file, block, sizeof block, &got, nullptr) && got > 0;)
        bytes.append(block, got);
    ::CloseHandle(file);
    return bytes;
}

using Entry = PakItem;

// ArchiveOf the entries' data with stand-in names, all in the archive's own
// folder; LoadWith puts the entries' directories and names in their place.
std::string StandInArchive(const std::vector<Entry>& entries)
{
    std::vector<PakItem> standIns;
    for (std::size_t i = 0; i < entries.size(); ++i)
        standIns.push_back({"", "e" + std::to_string(i) + ".bin", entries[i].data});
    return ArchiveOf(standIns);
}

// Opens and loads `path` holding StandInArchive(entries) (written first unless
// `bytes` is false), then gives the table the entries' directories and names
// as if they had been decoded (most of them no name record could hold).
int LoadWith(PakArchive& archive, const std::string& path, const std::vector<Entry>& entries, bool write = true)
{
    const int opened = write ? OpenAndLoad(archive, path, StandInArchive(entries)) : OpenAndLoad(archive, path);
    for (std::size_t i = 0; opened == 1 && i < entries.size(); ++i) {
        archive.m_table[i].dir = entries[i].dir;
        archive.m_table[i].name = entries[i].name;
    }
    return opened;
}

// Device names and what Windows would drop or refuse become plain files that
// count as written; names that differ in letter case land on one file.
TEST(WindowsFiles, DeviceNamesAndForbiddenCharactersBecomeFiles)
{
    ScratchDir dir;
    PakArchive archive;
    ASSERT_EQ(LoadWith(archive, "x.pak", {{"", "nul.txt", "1"}, {"", "CON", "2"}, {"", "a:b.dds", "3"},
                                                       {"", "name.", "4"}, {"", "Case.txt", "5"},
                                                       {"", "CASE.TXT", "6"}, {"AUX", "com1.txt", "7"},
                                                       {"AUX", "x?y*", "8"}}), 1);
    EXPECT_EQ(ExtractAll(archive), (std::vector<int>(8, 0)));
    EXPECT_EQ(ReadBytes("_nul.txt"), "1");
    EXPECT_EQ(ReadBytes("_CON"), "2");
    EXPECT_EQ(ReadBytes("a_b.dds"), "3");
    EXPECT_EQ(ReadBytes("name_"), "4");
    EXPECT_EQ(ReadBytes("case.txt"), "6");
    EXPECT_EQ(ReadBytes("_AUX/_com1.txt"), "7");
    EXPECT_EQ(ReadBytes("_AUX/x_y_"), "8");
    EXPECT_EQ(ListTree(dir.Path()).size(), 9u) << "the two case spellings are one file";
    EXPECT_EQ(archive.m_table[0].name, "nul.txt") << "the decoded name stays as it was";
}

// The superscript digits that the name rules know for each ANSI code page
// Windows uses are the system's own.
TEST(WindowsFiles, NameRulesKnowTheSystemsSuperscripts)
{
    for (const unsigned codePage : {874u, 932u, 936u, 949u, 950u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u,
                                    1257u, 1258u}) {
        if (!::IsValidCodePage(codePage))
            continue;
        for (int value = 0x80; value <= 0xFF; ++value) {
            SCOPED_TRACE(std::to_string(codePage) + " byte " + std::to_string(value));
            const char byte = static_cast<char>(value);
            wchar_t wide = 0;
            const bool superscript = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &byte, 1, &wide, 1) == 1 &&
                                     (wide == 0xB9 || wide == 0xB2 || wide == 0xB3);
            EXPECT_EQ(IsWindowsDeviceName(std::string("COM") + byte, codePage), superscript);
        }
    }
}

// In each double-byte code page Windows uses, a lead byte and the byte after
// it stay together only where the system's tables make them one character;
// otherwise the lead byte is written as '_' and the byte after it meets the
// rules on its own, so that ':', '/', '*' and the rest never reach the disk.
TEST(WindowsFiles, DoubleByteCodePagesKeepOnlyTheirOwnCharacters)
{
    const struct {
        unsigned codePage;
        std::string text, disk;
    } rows[] = {
        // Shift JIS: 0x83 0x7C and 0x83 0x5F are katakana, 0x3A ':' and 0x7F are no second bytes.
        {932, "\x83:.txt", "__.txt"}, {932, "\x83/.txt", "__.txt"}, {932, "\x83*.txt", "__.txt"},
        {932, "\x83|.txt", "\x83|.txt"}, {932, "\x83\x5F.txt", "\x83\x5F.txt"}, {932, "\xE0\x5C\x5C|", "\xE0\x5C__"},
        {932, "\x81\x7F", "_\x7F"}, {932, "a\x83", "a_"}, {932, "\xA0|", "\xA0_"},
        // GBK takes 0x7C after a lead byte, Korean's table doesn't; Big5 has no second bytes 0x80-0xA0.
        {936, "\x81|", "\x81|"}, {936, "\x81:", "__"}, {936, "\xFF\x5C", "\xFF_"},
        {949, "\x81|", "__"}, {949, "\xB0\xA1?", "\xB0\xA1_"}, {949, "\xB0\x5C", "__"},
        {950, "\xA5\x5C", "\xA5\x5C"}, {950, "\xA5\x80", "_\x80"}, {950, "\xA5:", "__"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.codePage) + " '" + row.text + "'");
        EXPECT_EQ(WindowsDiskName(row.text, row.codePage), row.disk);
    }
    // Every pair of bytes that starts above 0x7F, against the system's tables.
    int wrong = 0;
    for (const unsigned codePage : {932u, 936u, 949u, 950u}) {
        ASSERT_TRUE(::IsValidCodePage(codePage)) << codePage;
        for (int lead = 0x80; lead <= 0xFF; ++lead) {
            const bool isLead = ::IsDBCSLeadByteEx(codePage, static_cast<BYTE>(lead)) != 0;
            for (int next = 0x01; next <= 0xFF && wrong < 10; ++next) {
                const std::string pair{static_cast<char>(lead), static_cast<char>(next)};
                wchar_t wide[2];
                const bool character =
                    isLead && ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, pair.data(), 2, wide, 2) == 1;
                const std::string disk = character ? pair
                                                   : (isLead ? "_" : pair.substr(0, 1)) +
                                                         WindowsDiskName(pair.substr(1), codePage);
                if (WindowsDiskName(pair, codePage) != disk) {
                    ADD_FAILURE() << codePage << ": " << lead << " " << next;
                    ++wrong;
                }
            }
        }
    }
}

// Under a double-byte ANSI code page a name's second bytes stay as they are:
// "\x83\x7C.txt" and "\x83\x5F.txt" are two files, and "\x83\x5C" a folder.
// CTest runs it once more under Wine with Japanese as the locale.
TEST(WindowsFiles, DoubleByteNamesKeepTheirCharacters)
{
    if (::GetACP() != 932)
        GTEST_SKIP() << "needs the ANSI code page 932 (under Wine: LC_ALL=ja_JP.UTF-8)";
    ScratchDir dir;
    const HANDLE probe = ::CreateFileW(L"\u30DD", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        GTEST_SKIP() << "no Japanese file names here (under Wine the system needs the locale ja_JP.UTF-8)";
    ::CloseHandle(probe);
    PakArchive archive;
    ASSERT_EQ(LoadWith(archive, "x.pak", {{"", "\x83\x7C.txt", "po"}, {"", "\x83\x5F.txt", "da"},
                                          {"\x83\x5C", "a|\x83\x5C", "so"}}), 1);
    EXPECT_EQ(ExtractAll(archive), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(ReadWide(LongPath("\x83\x7C.txt")), "po");
    EXPECT_EQ(ReadWide(LongPath("\x83\x5F.txt")), "da");
    EXPECT_EQ(ReadWide(LongPath("\x83\x5C\\a_\x83\x5C")), "so");
}

// A report path naming a device would become a file that ordinary Windows
// programs can't open or remove: it is refused and nothing is created.
TEST(WindowsFiles, ReportPathNamingADeviceIsRefused)
{
    ScratchDir dir;
    PakArchive archive;
    ASSERT_EQ(LoadWith(archive, "x.pak", {{"", "a.txt", "1"}}), 1);
    ASSERT_EQ(::mkdir("sub", 0755), 0);
    RecordingProgress progress;
    for (const SystemPath& path : {SystemPath("NUL"), SystemPath("CON"), SystemPath("COM1"), SystemPath("nul.txt"),
                                   PathFromWide(L"COM\u00B9"), SystemPath("Aux .log"),
                                   PathFromWide(L"sub\\lpt\u00B2.txt"), SystemPath("CONOUT$")}) {
        SCOPED_TRACE(path.Text());
        EXPECT_EQ(archive.WriteScanLogAs(path, progress), 0);
    }
    const OutputFile refused = OutputFolder::Current().Begin("nul", FileIdentity{});
    EXPECT_FALSE(refused.IsOpen());
    EXPECT_EQ(refused.Error().problem, FileProblem::NotRegular);
    EXPECT_EQ(ListTree(dir.Path()), (Strings{"sub/", "x.pak"}));
    EXPECT_EQ(progress.calls, Strings{});
}

// Read-only is the user's "don't change this": the old file stays, the
// entry fails with the system's "access denied", and no temporary is left.
TEST(WindowsFiles, ReadOnlyOutputIsLeftAloneWithAccessDenied)
{
    ScratchDir dir;
    PakArchive archive;
    ASSERT_EQ(LoadWith(archive, "x.pak", {{"", "kept.txt", "new bytes"}}), 1);
    WriteBytes("kept.txt", "old");
    WriteBytes("Scan_log.txt", "old report");
    ASSERT_TRUE(::SetFileAttributesA("kept.txt", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(::SetFileAttributesA("Scan_log.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(archive.ExtractEntry(0), -3);
    EXPECT_EQ(archive.LastExtractFailure().problem, ExtractProblem::SystemError);
    EXPECT_EQ(archive.LastExtractFailure().systemCode, ERROR_ACCESS_DENIED);
    RecordingProgress progress;
    EXPECT_EQ(archive.WriteScanLog(progress), 0);
    EXPECT_EQ(ReadBytes("kept.txt"), "old");
    EXPECT_EQ(ReadBytes("Scan_log.txt"), "old report");
    EXPECT_EQ(ListTree(dir.Path()), (Strings{"Scan_log.txt", "kept.txt", "x.pak"}));
    ::SetFileAttributesA("kept.txt", FILE_ATTRIBUTE_NORMAL);
    ::SetFileAttributesA("Scan_log.txt", FILE_ATTRIBUTE_NORMAL);
}

// A file that another program holds open without letting it be deleted
// can't be replaced: the rename fails, the old file keeps its bytes and the
// temporary goes through its handle. While an output is written, no other
// file can take its temporary's name.
TEST(WindowsFiles, FailedReplacementLeavesTheOldFileAndNoTemporary)
{
    ScratchDir dir;
    PakArchive archive;
    ASSERT_EQ(LoadWith(archive, "x.pak", {{"", "kept.txt", "new bytes"}}), 1);
    WriteBytes("kept.txt", "old");
    WriteBytes("Scan_log.txt", "old report");
    WriteBytes("theirs.txt", "their file");
    const auto hold = [](const char* name) {
        return ::CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    const HANDLE kept = hold("kept.txt");
    const HANDLE report = hold("Scan_log.txt");
    ASSERT_NE(kept, INVALID_HANDLE_VALUE);
    ASSERT_NE(report, INVALID_HANDLE_VALUE);
    EXPECT_EQ(archive.ExtractEntry(0), -3);
    RecordingProgress progress;
    EXPECT_EQ(archive.WriteScanLog(progress), 0);

    OutputFile out = OutputFolder::Current().Begin("kept.txt", FileIdentity{});
    ASSERT_TRUE(out.IsOpen());
    std::string temporary;
    for (const std::string& name : ListTree(dir.Path()))
        temporary = name.rfind(".pak-", 0) == 0 ? name : temporary;
    ASSERT_NE(temporary, "");
    EXPECT_FALSE(::MoveFileExA("theirs.txt", temporary.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_TRUE(out.Write("new", 3));
    EXPECT_FALSE(out.Commit());
    ::CloseHandle(kept);
    ::CloseHandle(report);
    EXPECT_EQ(ReadBytes("kept.txt"), "old");
    EXPECT_EQ(ReadBytes("Scan_log.txt"), "old report");
    EXPECT_EQ(ReadBytes("theirs.txt"), "their file");
    EXPECT_EQ(ListTree(dir.Path()), (Strings{"Scan_log.txt", "kept.txt", "theirs.txt", "x.pak"}));
}

// Run only as the child of KilledProgramLeavesNoOutput: begins a new output
// and a replacement in the current folder, writes to both, tells the parent
// and waits to be killed.
TEST(WindowsFilesChild, DISABLED_WritesUntilKilled)
{
    const char* ready = std::getenv("PAK_TEST_READY_EVENT");
    if (!ready)
        GTEST_SKIP() << "started by KilledProgramLeavesNoOutput only";
    const OutputFolder here = OutputFolder::Current();
    OutputFile fresh = here.Begin("new.txt", FileIdentity{});
    OutputFile replacing = here.Begin("kept.txt", FileIdentity{});
    ASSERT_TRUE(fresh.Write("partial", 7) && replacing.Write("partial", 7));
    ::SetEvent(::OpenEventA(EVENT_MODIFY_STATE, FALSE, ready));
    ::Sleep(INFINITE);
}

// A killed program (Task Manager, TerminateProcess) runs no code of its own:
// its outputs, marked for deletion from the start, go with its handles.
TEST(WindowsFiles, KilledProgramLeavesNoOutput)
{
    ScratchDir dir;
    WriteBytes("kept.txt", "old");
    const std::string eventName = "pak-test-ready-" + std::to_string(::GetCurrentProcessId());
    const HANDLE ready = ::CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
    ASSERT_TRUE(ready && ::SetEnvironmentVariableA("PAK_TEST_READY_EVENT", eventName.c_str()));
    std::wstring self(32768, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    std::wstring line = L"\"" + self + L"\" --gtest_also_run_disabled_tests "
                        L"--gtest_filter=WindowsFilesChild.DISABLED_WritesUntilKilled";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(::CreateProcessW(self.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &child));
    ::SetEnvironmentVariableA("PAK_TEST_READY_EVENT", nullptr);
    const HANDLE ends[] = {ready, child.hProcess};
    const DWORD first = ::WaitForMultipleObjects(2, ends, FALSE, INFINITE);
    EXPECT_EQ(first, WAIT_OBJECT_0) << "the child ended before its outputs were begun";
    EXPECT_EQ(ListTree(dir.Path()).size(), 3u) << "kept.txt, new.txt and the temporary while it writes";
    ::TerminateProcess(child.hProcess, 9);
    ::WaitForSingleObject(child.hProcess, INFINITE);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    ::CloseHandle(ready);
    EXPECT_EQ(ListTree(dir.Path()), Strings{"kept.txt"});
    EXPECT_EQ(ReadBytes("kept.txt"), "old");
}

// The open archive is known by volume serial number and file index, so a
// second name made with CreateHardLinkW is caught too, for entries and the report.
TEST(WindowsFiles, ArchiveAndASecondHardLinkToItAreNeverOutputs)
{
    ScratchDir dir;
    const std::vector<Entry> entries{{"", "x.pak", "overwritten!"}, {"", "second.pak", "also"}};
    const std::string bytes = StandInArchive(entries);
    WriteBytes("x.pak", bytes);
    ASSERT_TRUE(::CreateHardLinkW(LongPath("second.pak").c_str(), LongPath("x.pak").c_str(), nullptr));
    ASSERT_TRUE(::CreateHardLinkW(LongPath("Scan_log.txt").c_str(), LongPath("x.pak").c_str(), nullptr));
    PakArchive archive;
    ASSERT_EQ(LoadWith(archive, "x.pak", entries, /*write=*/false), 1);
    EXPECT_EQ(ExtractAll(archive), (std::vector<int>{-3, -3}));
    EXPECT_EQ(archive.LastExtractFailure().problem, ExtractProblem::IsTheArchive);
    RecordingProgress progress;
    EXPECT_EQ(archive.WriteScanLog(progress), 0);
    EXPECT_EQ(ReadBytes("x.pak"), bytes);
    EXPECT_EQ(ReadBytes("Scan_log.txt"), bytes);
}

// Streams are binary: every line ends in LF alone, as on every platform.
TEST(WindowsFiles, ReportHasNoCarriageReturn)
{
    ScratchDir dir;
    PakArchive archive;
    ASSERT_EQ(LoadWith(archive, "x.pak", {{"", "a.txt", "1"}, {"maps", "b.dat", "22"}}), 1);
    archive.m_path = "C:\\games\\data.pak";
    RecordingProgress progress;
    ASSERT_EQ(archive.WriteScanLog(progress), 1);
    const std::string stars(48, '*');
    EXPECT_EQ(ReadBytes("Scan_log.txt"),
              stars + "\nScan Test File v 0.1 for Corvane UnPaker\n" + stars + "\nName:C:\\games\\data.pak\n" +
                  "Size:145 byte [0x91 (hex)]\nStart_pos:0x8E\nNum_files:2 [0x2 (hex)]\n" + stars +
                  "\n<------ Scan Data ----->\n"
                  "File_num[0]\nDir->\nName->a.txt\nOffsets->Real[0x8E] inTable[0x0] Size:1 byte [0x1]\n"
                  "Status:GOOD!\n"
                  "File_num[1]\nDir->maps\nName->b.dat\nOffsets->Real[0x8F] inTable[0x1] Size:2 byte [0x2]\n"
                  "Status:GOOD!\n");
}

// Paths are bytes in the ANSI code page: spaces and 0x80-0xFF in the
// archive's folder, its name and the entries' names arrive unchanged.
TEST(WindowsFiles, AnsiBytesInPathsAndNamesPassUnchanged)
{
    ScratchDir dir;
    const std::string folder = "with spaces \xC4\xE9\xFC\x80\xFF";
    const std::string name = "\xE6rchive \xA3\xB5.pak";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const std::string path = dir / (folder + "\\" + name);
    PakArchive archive;
    ASSERT_EQ(LoadWith(archive, path, {{"", "\x80\xE9 \xFF.bin", "data"}, {"d\xF8r \xC0", "f\xEE.txt", "in"}}), 1);
    EXPECT_EQ(ExtractAll(archive), (std::vector<int>{0, 0}));
    EXPECT_EQ(ReadWide(LongPath("\x80\xE9 \xFF.bin")), "data");
    EXPECT_EQ(ReadWide(LongPath("d\xF8r \xC0\\f\xEE.txt")), "in");
    RecordingProgress progress;
    ASSERT_EQ(archive.WriteScanLog(progress), 1);
    const std::string report = ReadBytes("Scan_log.txt");
    EXPECT_NE(report.find("\nName:" + path + "\n"), std::string::npos);
    EXPECT_NE(report.find("\nDir->d\xF8r \xC0\nName->f\xEE.txt\n"), std::string::npos);
}

// The wide calls with the "\\?\" prefix take paths of any length: an
// archive path of about 300 characters, an output path of about 450.
TEST(WindowsFiles, PathsLongerThan260CharactersWork)
{
    ScratchDir dir;
    const std::string first(150, 'a'), second(150, 'b');
    ASSERT_TRUE(::CreateDirectoryW(LongPath(first).c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(LongPath(first + "\\" + second).c_str(), nullptr));
    const std::string archivePath = first + "\\" + second + "\\x.pak";
    ASSERT_GT((dir / archivePath).size(), 260u);
    const std::vector<Entry> entries{{"", "short.txt", "s"}, {std::string(200, 'd'), std::string(200, 'n'), "long"}};
    const std::string bytes = StandInArchive(entries);
    const HANDLE file = ::CreateFileW(LongPath(archivePath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);

    PakArchive archive;
    ASSERT_EQ(LoadWith(archive, dir / archivePath, entries, /*write=*/false), 1);
    EXPECT_EQ(ExtractAll(archive), (std::vector<int>{0, 0}));
    EXPECT_EQ(ReadWide(LongPath(std::string(200, 'd') + "\\" + std::string(200, 'n'))), "long");
    RecordingProgress progress;
    EXPECT_EQ(archive.WriteScanLogAs(first + "/" + second + "\\report.txt", progress), 1);
    EXPECT_EQ(ReadWide(LongPath(first + "\\" + second + "\\report.txt")).substr(0, 48), std::string(48, '*'));
}

// The archive path must name a disk file: a folder or a device is refused.
TEST(WindowsFiles, DevicesAndFoldersAreNoArchives)
{
    ScratchDir dir;
    ASSERT_EQ(::mkdir("folder.pak", 0755), 0);
    for (const char* path : {"folder.pak", "NUL", "CON", "CONIN$", "\\\\.\\NUL"}) {
        SCOPED_TRACE(path);
        PakArchive archive;
        ASSERT_EQ(LoadWith(archive, "good.pak", {{"", "a.txt", "1"}}), 1);
        archive.m_path = path;
        EXPECT_EQ(archive.OpenArchive(), 0);
        EXPECT_EQ(archive.m_errorText, kErrCantOpen);
        EXPECT_FALSE(archive.IsOpen());
    }
}

// 4 GiB - 1 declared, three bytes held: the 32-bit build could never hold
// the declared size, so this passes only with memory bounded by the file.
TEST(WindowsFiles, HugeDeclaredEntryIsWrittenByExtendingTheFile)
{
    ScratchDir dir;
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "x.pak", PakBuilder()
                                                .Header(/*numFiles=*/2, /*dataStart=*/148, /*size=*/0xFFFFFFFF)
                                                .TableRecord(/*offset=*/0, /*size=*/0xFFFFFFFF)
                                                .TableRecord(/*offset=*/0, /*size=*/3)
                                                .File("huge.bin").File("after.bin")
                                                .DataAt(148, "abc")
                                                .Bytes()), 1);
    EXPECT_EQ(ExtractAll(archive), (std::vector<int>{0, 0}));
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(::GetFileAttributesExA("huge.bin", GetFileExInfoStandard, &data));
    EXPECT_EQ(std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow, 0xFFFFFFFFull);
    const int fd = ::_open("huge.bin", _O_RDONLY | _O_BINARY);
    ASSERT_GE(fd, 0);
    char head[4] = {}, tail[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(pread(fd, head, 4, 0), 4);
    EXPECT_EQ(pread(fd, tail, 4, 0xFFFFFFFFll - 4), 4);
    ::_close(fd);
    EXPECT_EQ(std::string(head, 4), std::string("abc\0", 4));
    EXPECT_EQ(std::string(tail, 4), std::string(4, '\0'));
    EXPECT_EQ(ReadBytes("after.bin"), "abc");
}

// A junction (a reparse point that Windows follows for a folder) as the
// entry's folder, and a symbolic link as its file, are refused. Wine 8
// makes neither, so there the test is skipped.
TEST(WindowsFiles, ReparsePointsAreNeverFollowed)
{
    ScratchDir dir;
    ASSERT_EQ(::mkdir("elsewhere", 0755), 0);
    ASSERT_EQ(::mkdir("maps", 0755), 0);
    const HANDLE junction = ::CreateFileW(LongPath("maps").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    ASSERT_NE(junction, INVALID_HANDLE_VALUE);
    // A mount-point reparse buffer: tag, sizes, then the NT target and its
    // printed form, each ended by a NUL.
    const std::wstring target = L"\\??\\" + LongPath("elsewhere").substr(4);
    const auto targetBytes = static_cast<USHORT>(target.size() * sizeof(wchar_t));
    std::vector<unsigned char> buffer(16 + 2 * (targetBytes + 2), 0);
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    const auto dataLength = static_cast<USHORT>(buffer.size() - 8);
    const USHORT offsets[4] = {0, targetBytes, static_cast<USHORT>(targetBytes + 2), targetBytes};
    std::memcpy(buffer.data(), &tag, 4);
    std::memcpy(buffer.data() + 4, &dataLength, 2);
    std::memcpy(buffer.data() + 8, offsets, sizeof offsets);
    std::memcpy(buffer.data() + 16, target.c_str(), targetBytes);
    std::memcpy(buffer.data() + 16 + targetBytes + 2, target.c_str(), targetBytes);
    DWORD ignored = 0;
    const bool made = ::DeviceIoControl(junction, FSCTL_SET_REPARSE_POINT, buffer.data(),
                                        static_cast<DWORD>(buffer.size()), nullptr, 0, &ignored, nullptr) != 0;
    ::CloseHandle(junction);
    if (!made || !IsLink("maps"))
        GTEST_SKIP() << "this system makes no junctions (Wine 8 doesn't)";
    const bool fileLink = CanMakeSymbolicLinks() && ::symlink("elsewhere\\victim.txt", "top.txt") == 0;
    WriteBytes("elsewhere/victim.txt", "keep");
    PakArchive archive;
    ASSERT_EQ(LoadWith(archive, "x.pak", {{"", "top.txt", "1"}, {"maps", "victim.txt", "2"}}), 1);
    EXPECT_EQ(archive.ExtractEntry(1), -3);
    EXPECT_EQ(archive.LastExtractFailure().problem, ExtractProblem::LinkInTheWay);
    if (fileLink) {
        EXPECT_EQ(archive.ExtractEntry(0), -3);
        EXPECT_EQ(archive.LastExtractFailure().problem, ExtractProblem::LinkInTheWay);
    }
    EXPECT_EQ(ReadBytes("elsewhere/victim.txt"), "keep");
    EXPECT_EQ(ListTree(dir / "elsewhere"), Strings{"victim.txt"});
}

} // namespace
