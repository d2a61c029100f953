// OpenArchive: the signature, the header values and the refusals.
#include <gtest/gtest.h>

#include "open_descriptors.h"
#include "pak_archive.h"
#include "pak_builder.h"
#include "test_files.h"
#include "test_platform.h"

namespace {

std::string TwoEntryArchive()
{
    return PakBuilder()
        .Header(/*numFiles=*/2, /*dataStart=*/200, /*size=*/600)
        .TableRecord(/*offset=*/0, /*size=*/100)
        .TableRecord(/*offset=*/100, /*size=*/400)
        .File("a.txt").Dir("maps").File("b.dat")
        .Bytes();
}

TEST(OpenArchive, ReadsHeaderValuesAndKeepsErrorText)
{
    ScratchDir dir;
    WriteBytes("data.pak", TwoEntryArchive());
    PakArchive archive;
    archive.m_path = "data.pak";
    archive.m_errorText = "earlier";
    ASSERT_EQ(archive.OpenArchive(), 1);
    EXPECT_TRUE(archive.IsOpen());
    EXPECT_EQ(archive.m_numFiles, 2u);
    EXPECT_EQ(archive.m_dataStart, 200u);
    EXPECT_EQ(archive.m_archiveSize, 600u);
    EXPECT_EQ(archive.m_errorText, "earlier");
}

TEST(OpenArchive, RefusesWithTheRightText)
{
    const std::string good = TwoEntryArchive();
    const std::string headerOnly = PakBuilder().Header(0, 0, 0).Bytes();
    struct Row {
        const char* label;
        std::string bytes;
        const char* error;   // nullptr: the open succeeds
    };
    const Row rows[] = {
        {"empty file", "", "Error!It`s not Corvane PAK file!\n"},
        {"three bytes of a signature", std::string("\x04\x00\x00", 3), "Error!It`s not Corvane PAK file!\n"},
        {"signature 5", PakBuilder().Signature(5).Bytes(), "Error!It`s not Corvane PAK file!\n"},
        {"signature 4 in the high byte", PakBuilder().Signature(0x04000000).Bytes(),
         "Error!It`s not Corvane PAK file!\n"},
        {"signature then nothing", std::string("\x04\x00\x00\x00", 4), "Error!Damaged Corvane PAK file!\n"},
        {"header one byte short", headerOnly.substr(0, 91), "Error!Damaged Corvane PAK file!\n"},
        {"bare header, no entries", headerOnly, nullptr},
        {"table one byte short", good.substr(0, 92 + 32 - 1), "Error!Damaged Corvane PAK file!\n"},
        {"table complete, no name area", good.substr(0, 92 + 32), nullptr},
        {"entry count beyond any file", PakBuilder().Header(0xFFFFFFFF, 0, 0).Bytes(),
         "Error!Damaged Corvane PAK file!\n"},
        // 92 + 16 * 0x10000000 wraps to 92 in 32 bits: the check must not.
        {"entry count that wraps 32 bits", PakBuilder().Header(0x10000000, 0, 0).Bytes(),
         "Error!Damaged Corvane PAK file!\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ScratchDir dir;
        WriteBytes("x.pak", row.bytes);
        PakArchive archive;
        archive.m_path = "x.pak";
        const int result = archive.OpenArchive();
        if (row.error) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(archive.m_errorText, row.error);
            EXPECT_FALSE(archive.IsOpen());
        } else {
            EXPECT_EQ(result, 1);
        }
    }
}

TEST(OpenArchive, CantOpenWhatIsNotARegularReadableFile)
{
    ScratchDir dir;
    ::mkdir("folder.pak", 0755);
    for (const char* path : {"missing.pak", "folder.pak", ""}) {
        SCOPED_TRACE(path);
        PakArchive archive;
        archive.m_path = path;
        EXPECT_EQ(archive.OpenArchive(), 0);
        EXPECT_EQ(archive.m_errorText, "Error!Can`t open file!\n");
        EXPECT_FALSE(archive.IsOpen());
    }
}

TEST(OpenArchive, FailedOpenAfterAGoodOneLeavesNoArchiveAndKeepsValues)
{
    ScratchDir dir;
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "good.pak", TwoEntryArchive()), 1);
    WriteBytes("bad.pak", "not an archive at all");
    archive.m_path = "bad.pak";

    EXPECT_EQ(archive.OpenArchive(), 0);
    EXPECT_EQ(archive.m_errorText, "Error!It`s not Corvane PAK file!\n");
    EXPECT_FALSE(archive.IsOpen());
    EXPECT_EQ(archive.m_numFiles, 2u);
    EXPECT_EQ(archive.m_dataStart, 200u);
    EXPECT_EQ(archive.m_archiveSize, 600u);
    ASSERT_EQ(archive.m_table.size(), 2u);
    EXPECT_EQ(archive.m_table[1].name, "b.dat");
    // With no archive open, nothing is taken from the refused file.
    EXPECT_EQ(archive.ExtractEntry(0), -3);
    EXPECT_FALSE(Exists("a.txt"));
}

TEST(OpenArchive, ClosesEveryFileItOpened)
{
    ScratchDir dir;
    WriteBytes("good.pak", TwoEntryArchive());
    WriteBytes("bad.pak", PakBuilder().Signature(7).Bytes());
    WriteBytes("short.pak", TwoEntryArchive().substr(0, 100));
    const int before = OpenDescriptors();
    {
        PakArchive archive;
        for (const char* path : {"good.pak", "bad.pak", "good.pak", "short.pak", "good.pak", "good.pak"}) {
            archive.m_path = path;
            archive.OpenArchive();
        }
        EXPECT_TRUE(archive.IsOpen());
        EXPECT_EQ(OpenDescriptors(), before + 1);   // only the last good one
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(AllocateTable, GivesExactlyNEmptyEntriesReplacingTheOldTable)
{
    ScratchDir dir;
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "good.pak", TwoEntryArchive()), 1);
    WriteBytes("three.pak", PakBuilder().Header(3, 0, 0).TableRecord(0, 0).TableRecord(0, 0).TableRecord(0, 0).Bytes());
    archive.m_path = "three.pak";
    ASSERT_EQ(archive.OpenArchive(), 1);
    archive.AllocateTable();
    ASSERT_EQ(archive.m_table.size(), 3u);
    for (const PakEntry& entry : archive.m_table) {
        EXPECT_EQ(entry.dir, "");
        EXPECT_EQ(entry.name, "");
        EXPECT_EQ(entry.offset, 0u);
        EXPECT_EQ(entry.size, 0u);
    }
    EXPECT_TRUE(archive.IsOpen());
}

} // namespace

namespace {

// 2^32 - 1 entries can't be held: the archive must not stay paired with a
// table that is too small for its entry count.
TEST(AllocateTable, WhenTheEntriesCantBeHeldLeavesNoArchive)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer ends the process instead of throwing std::bad_alloc";
#endif
    ScratchDir dir;
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "good.pak", TwoEntryArchive()), 1);
    archive.m_numFiles = 0xFFFFFFFF;
    EXPECT_THROW(archive.AllocateTable(), std::bad_alloc);
    EXPECT_FALSE(archive.IsOpen());
    EXPECT_EQ(archive.m_numFiles, 0u);
    EXPECT_TRUE(archive.m_table.empty());
}

} // namespace
