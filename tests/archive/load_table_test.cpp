// LoadTable: sizes and offsets, directory and name records, progress.
#include <gtest/gtest.h>

#include "pak_archive.h"
#include "pak_builder.h"
#include "test_files.h"

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;   // (dir, name)

// An archive of `count` empty entries whose name area is `names`.
std::string WithNameArea(std::uint32_t count, const std::string& names)
{
    PakBuilder builder;
    builder.Header(count, 0, 0);
    for (std::uint32_t i = 0; i < count; ++i)
        builder.TableRecord(0, 0);
    return builder.Raw(names).Bytes();
}

Entries Decode(std::uint32_t count, const std::string& names)
{
    ScratchDir dir;
    PakArchive archive;
    if (OpenAndLoad(archive, "n.pak", WithNameArea(count, names)) != 1)
        return {{"open failed", ""}};
    Entries entries;
    for (const PakEntry& entry : archive.m_table)
        entries.emplace_back(entry.dir, entry.name);
    return entries;
}

TEST(LoadTable, ReadsSizeAndOffsetFromEachRecord)
{
    ScratchDir dir;
    PakArchive archive;
    const std::string bytes = PakBuilder()
                                  .Header(/*numFiles=*/3, /*dataStart=*/0, /*size=*/0)
                                  .TableRecord(/*offset=*/0x11223344, /*size=*/0x55667788)
                                  .TableRecord(/*offset=*/0, /*size=*/0xFFFFFFFF)
                                  .TableRecord(/*offset=*/0x80000000, /*size=*/7)
                                  .File("a.txt").File("b.txt").File("c.txt")
                                  .Bytes();
    ASSERT_EQ(OpenAndLoad(archive, "t.pak", bytes), 1);
    ASSERT_EQ(archive.m_table.size(), 3u);
    EXPECT_EQ(archive.m_table[0].size, 0x55667788u);
    EXPECT_EQ(archive.m_table[0].offset, 0x11223344u);
    EXPECT_EQ(archive.m_table[1].size, 0xFFFFFFFFu);
    EXPECT_EQ(archive.m_table[1].offset, 0u);
    EXPECT_EQ(archive.m_table[2].size, 7u);
    EXPECT_EQ(archive.m_table[2].offset, 0x80000000u);
}

TEST(LoadTable, DirectoryRecordAppliesFromTheNextEntryOn)
{
    const std::string names =
        DirRecord("dirA") + FileRecord("one.dat") + FileRecord("two.dat") + DirRecord("dirB") + FileRecord("six.dat");
    const Entries expected = {{"", "one.dat"}, {"dirA", "two.dat"}, {"dirA", "six.dat"}};
    EXPECT_EQ(Decode(3, names), expected);
    // The fourth entry is the first to see dirB.
    const Entries four = {{"", "one.dat"}, {"dirA", "two.dat"}, {"dirA", "six.dat"}, {"dirB", "ten.dat"}};
    EXPECT_EQ(Decode(4, names + FileRecord("ten.dat")), four);
}

// Each row's name area is followed by a record for a second entry, which
// shows the directory a row's directory record set, and that the records
// after it are still read in step.
TEST(LoadTable, DecodesNameRecords)
{
    struct Row {
        const char* label;
        std::string names;   // the first entry's records
        std::string dir;     // the second entry's directory
        std::string name;    // the first entry's name
    };
    const std::string nul(1, '\0');
    const std::string one = FileRecord("one.txt");
    const Row rows[] = {
        {"zeros at 0 and 1 read as f", std::string("\0\0sdd.elif\0", 11), "", "file.dds"},
        {"zero at 2 ends the name as f", std::string("\0\0\0tx.ab\0", 9), "", "ba.xtf"},
        {"backslash becomes underscore", std::string("\0\0txt.a\\b\0", 10), "", "b_a.txt"},
        {"backslash at 0 and 1 leaves no trace", "\\\\txt.ab" + nul, "", "ba.txt"},
        {"slash colon and dots pass", std::string("\0\0txt./:..\0", 11), "", "..:/.txt"},
        {"non-ASCII bytes pass", std::string("\0\0txt.\xE9\xFF\x80\0", 10), "", "\x80\xFF\xE9.txt"},
        {"plain directory", DirRecord("world") + one, "world", "one.txt"},
        {"dot not at 5: directory", "ab.cdefg" + nul + one, "gfedc.ba", "one.txt"},
        {"three characters: directory", "abc" + nul + one, "cba", "one.txt"},
        {"four characters: directory", "abcd" + nul + one, "dcba", "one.txt"},
        {"five characters: directory", "ab.de" + nul + one, "ed.ba", "one.txt"},
        {"zeros at 0-2 of a directory count", std::string("\0\0\0\0", 4) + one, "fff", "one.txt"},
        {"backslash in a directory", std::string("b\\a\0", 4) + one, "a_b", "one.txt"},
        {"directory then directory: no name", DirRecord("first") + DirRecord("second"), "second", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const Entries expected = {{"", row.name}, {row.dir, "two.txt"}};
        EXPECT_EQ(Decode(2, row.names + FileRecord("two.txt")), expected);
    }
}

TEST(LoadTable, LongRecordKeeps511CharactersAndStaysAligned)
{
    const std::string longDir(600, 'd');
    const std::string longName = std::string(596, 'n') + ".txt";   // 600 characters
    const std::string names = DirRecord(longDir) + FileRecord("a.txt") + FileRecord(longName) + FileRecord("b.txt");
    const Entries entries = Decode(3, names);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], std::make_pair(std::string(), std::string("a.txt")));
    EXPECT_EQ(entries[1].first, std::string(511, 'd'));
    // Kept: the first 511 raw characters, i.e. the name's last 509, reversed back.
    EXPECT_EQ(entries[1].second, longName.substr(600 - 509));
    EXPECT_EQ(entries[2], std::make_pair(std::string(511, 'd'), std::string("b.txt")));
}

TEST(LoadTable, EndOfFileEndsARecordAndLeavesLaterEntriesWithoutNames)
{
    const Entries inside = {{"", "name.txt"}};
    EXPECT_EQ(Decode(1, std::string("\0\0txt.eman", 10)), inside);
    // At end of file every record is empty, so a directory record: it ends
    // the current directory too.
    const Entries expected = {{"", "a.txt"}, {"", "b.txt"}, {"dirA", ""}, {"", ""}};
    EXPECT_EQ(Decode(4, FileRecord("a.txt") + DirRecord("dirA") + FileRecord("b.txt")), expected);
}

TEST(LoadTable, NewTableShowsNothingOfThePreviousArchive)
{
    ScratchDir dir;
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "a.pak", WithNameArea(2, DirRecord("old") + FileRecord("a.txt") + FileRecord("b.txt"))), 1);
    ASSERT_EQ(archive.m_table[1].dir, "old");
    ASSERT_EQ(OpenAndLoad(archive, "b.pak", WithNameArea(2, "")), 1);
    const Entries expected = {{"", ""}, {"", ""}};
    Entries entries;
    for (const PakEntry& entry : archive.m_table)
        entries.emplace_back(entry.dir, entry.name);
    EXPECT_EQ(entries, expected);
}

TEST(LoadTable, MovesTheProgressBarAtTheNamedPointsOnly)
{
    struct Row {
        std::uint32_t count;
        std::vector<std::string> calls;
    };
    const Row rows[] = {
        {0, {"range 0..0", "pos 0", "pos 0"}},
        {1, {"range 0..1", "pos 0", "pos 1", "pos 0", "pos 0"}},
        {3, {"range 0..3", "pos 0", "pos 1", "pos 2", "pos 3", "pos 0", "pos 0", "pos 1", "pos 2"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.count);
        ScratchDir dir;
        std::string names;
        for (std::uint32_t i = 0; i < row.count; ++i)
            names += FileRecord("f.txt");
        WriteBytes("p.pak", WithNameArea(row.count, names));
        PakArchive archive;
        archive.m_path = "p.pak";
        ASSERT_EQ(archive.OpenArchive(), 1);
        archive.AllocateTable();
        RecordingProgress progress;
        archive.LoadTable(progress);
        EXPECT_EQ(progress.calls, row.calls);
    }
}

} // namespace
