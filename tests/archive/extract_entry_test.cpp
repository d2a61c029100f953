// ExtractEntry: result codes, the bytes written and where they may land.
#include <gtest/gtest.h>

#include "pak_archive.h"
#include "pak_builder.h"
#include "test_files.h"
#include "test_platform.h"

namespace {

TEST(ExtractEntry, WritesEachEntryToItsFolderAndName)
{
    ScratchDir dir;
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "x.pak", ArchiveOf({{"", "a.txt", "first entry"},
                                                       {"maps", "b.dat", std::string("\0\1\2\xFF", 4)},
                                                       {"maps", "c.dat", "third"},
                                                       {"snd", "d.wav", "fourth"}})), 1);
    ASSERT_EQ(archive.m_table[1].dir, "maps");
    EXPECT_EQ(ExtractAll(archive), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(ListTree(dir.Path()), (std::vector<std::string>{"a.txt", "maps/", "maps/b.dat", "maps/c.dat",
                                                              "snd/", "snd/d.wav", "x.pak"}));
    EXPECT_EQ(ReadBytes("a.txt"), "first entry");
    EXPECT_EQ(ReadBytes("maps/b.dat"), std::string("\0\1\2\xFF", 4));
    EXPECT_EQ(ReadBytes("snd/d.wav"), "fourth");
}

TEST(ExtractEntry, ResultAndBytesAtTheLimits)
{
    struct Row {
        const char* label;
        std::uint32_t dataStart, size, offset, entrySize;
        int result;
        const char* bytes;   // nullptr: nothing is created
    };
    // The file holds "0123456789" at 200..209 and ends there.
    const Row rows[] = {
        {"whole entry inside", 200, 210, 2, 3, 0, "234"},
        {"size 0 before S: empty file", 200, 210, 9, 0, 0, ""},
        {"size 0 exactly at S", 200, 210, 10, 0, -1, nullptr},
        {"start beyond S", 200, 210, 11, 1, -1, nullptr},
        {"D beyond S", 300, 210, 0, 1, -1, nullptr},
        {"end beyond S is written in full", 200, 205, 3, 5, 0, "34567"},
        {"end beyond the file is zero filled", 200, 300, 8, 5, 0, "89\0\0\0"},
        {"start beyond the file is all zeros", 200, 300, 50, 3, 0, "\0\0\0"},
        // 0xFFFFFF00 + 0x100 wraps to 0: the entry starts at the signature.
        {"start wraps at 32 bits", 0xFFFFFF00, 210, 0x100, 2, 0, "\x04\0"},
        {"start wraps to exactly S", 0xFFFFFF00, 210, 0x100 + 210, 1, -1, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ScratchDir dir;
        const std::string bytes = PakBuilder().Header(1, row.dataStart, row.size)
                                      .TableRecord(row.offset, row.entrySize).File("e.bin")
                                      .DataAt(200, "0123456789").Bytes();
        ASSERT_EQ(bytes.size(), 210u);
        PakArchive archive;
        ASSERT_EQ(OpenAndLoad(archive, "x.pak", bytes), 1);
        EXPECT_EQ(archive.ExtractEntry(0), row.result);
        if (row.bytes) {
            EXPECT_EQ(ReadBytes("e.bin"), std::string(row.bytes, row.entrySize));
        } else {
            EXPECT_FALSE(Exists("e.bin"));
        }
    }
}

TEST(ExtractEntry, LaterEntryWithTheSamePathWinsAndFilesAreTruncated)
{
    ScratchDir dir;
    ::mkdir("dir", 0755);
    WriteBytes("dir/same.txt", std::string(100, 'x'));
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "x.pak", ArchiveOf({{"", "first.txt", "1"},
                                                       {"dir", "same.txt", "first version"},
                                                       {"dir", "same.txt", "second"}})), 1);
    EXPECT_EQ(ExtractAll(archive), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(ReadBytes("dir/same.txt"), "second");
    // A second run writes everything again.
    WriteBytes("dir/same.txt", "changed meanwhile, and longer");
    EXPECT_EQ(ExtractAll(archive), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(ReadBytes("dir/same.txt"), "second");
}

TEST(ExtractEntry, RefusesIndexOutsideTheTable)
{
    ScratchDir dir;
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "x.pak", ArchiveOf({{"", "a.txt", "a"}})), 1);
    EXPECT_EQ(archive.ExtractEntry(1), -3);
    EXPECT_EQ(archive.ExtractEntry(0xFFFFFFFF), -3);
    PakArchive neverOpened;
    EXPECT_EQ(neverOpened.ExtractEntry(0), -3);
}

// Every output lands inside the folder being extracted into, whatever the
// decoded directory and name hold; the decoded texts stay as they were.
TEST(ExtractEntry, HostileNamesStayInsideTheFolder)
{
    struct Row {
        const char* label;
        std::string dir, name;
        int result;
        std::vector<std::string> tree;   // of the extraction folder, archive aside
    };
    const Row rows[] = {
        {"slash in the name", "", "../../escape.txt", 0, {".._.._escape.txt"}},
        {"absolute-looking name", "", "/etc/evil.txt", 0, {"_etc_evil.txt"}},
        {"slash in the directory", "../up", "a.txt", 0, {".._up/", ".._up/a.txt"}},
        {"absolute-looking directory", "/tmp", "a.txt", 0, {"_tmp/", "_tmp/a.txt"}},
        {"directory ..", "..", "a.txt", -3, {}},
        {"directory .", ".", "a.txt", -3, {}},
        {"name ..", "sub", "..", -3, {}},
        {"name .", "", ".", -3, {}},
        {"empty name", "sub", "", -3, {}},
        // Windows would drop the last dot, so there it is written as '_'.
        {"dots with more", "...", "..a", 0,
         kPosixSystem ? std::vector<std::string>{".../", ".../..a"} : std::vector<std::string>{".._/", ".._/..a"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ScratchDir outer;
        ::mkdir("work", 0755);
        ::chdir("work");
        PakArchive archive;
        ASSERT_EQ(OpenAndLoad(archive, "x.pak", ArchiveOf({{"", "first.txt", "1"}, {"", "second.txt", "2"}})), 1);
        archive.m_table[1].dir = row.dir;
        archive.m_table[1].name = row.name;
        EXPECT_EQ(archive.ExtractEntry(1), row.result);
        std::vector<std::string> expected = row.tree;
        expected.push_back("x.pak");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(ListTree(outer / "work"), expected);
        EXPECT_EQ(ListTree(outer.Path()).size(), expected.size() + 1);   // "work/" itself
        EXPECT_EQ(archive.m_table[1].name, row.name);
    }
}

TEST(ExtractEntry, NeverFollowsAPlantedSymbolicLink)
{
    if (!CanMakeSymbolicLinks())
        GTEST_SKIP() << "this system won't make symbolic links for us";
    ScratchDir outer;
    ::mkdir("elsewhere", 0755);
    WriteBytes("elsewhere/b.dat", "keep me");
    ::mkdir("work", 0755);
    ::chdir("work");
    ::symlink("../elsewhere", "maps");                 // as the entry's folder
    ::symlink("../elsewhere/b.dat", "top.dat");        // as an output file
    ::symlink("../elsewhere/new.dat", "dangling.dat"); // pointing at nothing yet
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "x.pak", ArchiveOf({{"", "top.dat", "1"},
                                                       {"", "dangling.dat", "2"},
                                                       {"maps", "b.dat", "3"},
                                                       {"maps", "c.dat", "4"}})), 1);
    EXPECT_EQ(ExtractAll(archive), (std::vector<int>{-3, -3, -3, -3}));
    EXPECT_EQ(ReadBytes(outer / "elsewhere/b.dat"), "keep me");
    EXPECT_EQ(ListTree(outer / "elsewhere"), std::vector<std::string>{"b.dat"});
}

TEST(ExtractEntry, NeverOverwritesTheArchiveItself)
{
    ScratchDir dir;
    const std::string bytes = ArchiveOf({{"", "x.pak", "overwritten!"}, {"", "alias.pak", "also"}});
    WriteBytes("x.pak", bytes);
    ASSERT_EQ(::link("x.pak", "alias.pak"), 0);   // the same file under another name
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "x.pak"), 1);
    EXPECT_EQ(ExtractAll(archive), (std::vector<int>{-3, -3}));
    EXPECT_EQ(ReadBytes("x.pak"), bytes);
}

TEST(ExtractEntry, OutputThatCantBeCreatedGivesMinusThree)
{
    ScratchDir dir;
    WriteBytes("plain", "a file where a folder should be");
    ::mkdir("taken.txt", 0755);
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "x.pak", ArchiveOf({{"", "ok.txt", "1"},
                                                       {"", "taken.txt", "2"},
                                                       {"plain", "a.txt", "3"},
                                                       {"long", std::string(300, 'n') + ".txt", "4"}})), 1);
    EXPECT_EQ(ExtractAll(archive), (std::vector<int>{0, -3, -3, -3}));
    EXPECT_EQ(ReadBytes("plain"), "a file where a folder should be");
    // The over-long name fails in the file system, leaving its folder empty.
    EXPECT_EQ(ListTree(dir.Path()),
              (std::vector<std::string>{"long/", "ok.txt", "plain", "taken.txt/", "x.pak"}));
}

int ExtractSecond(void* archive)
{
    return static_cast<PakArchive*>(archive)->ExtractEntry(1);
}

TEST(ExtractEntry, FailedWriteGivesMinusThreeAndLeavesNoFile)
{
    SKIP_UNLESS_POSIX("file-size limits");
    ScratchDir dir;
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "x.pak", ArchiveOf({{"", "small.txt", "1"},
                                                       {"dir", "big.bin", std::string(64 * 1024, 'b')}})), 1);
    EXPECT_EQ(RunWithFileSizeLimit(1000, ExtractSecond, &archive), -3);
    EXPECT_FALSE(Exists("dir/big.bin"));
    EXPECT_EQ(RunWithFileSizeLimit(1 << 20, ExtractSecond, &archive), 0);
    EXPECT_EQ(ReadBytes("dir/big.bin"), std::string(64 * 1024, 'b'));
}

// Positions at 2^31 and beyond are reached exactly; a sparse file keeps this cheap.
TEST(ExtractEntry, ReachesDataBeyondTwoGigabytes)
{
    ScratchDir dir;
    const std::uint32_t dataStart = 0x7FFFFFF0;
    WriteBytes("x.pak", PakBuilder().Header(3, dataStart, 0xF0000000)
                            .TableRecord(/*offset=*/0x0C, /*size=*/8)       // straddles 2^31
                            .TableRecord(/*offset=*/0x80000010, /*size=*/4) // wraps to 0
                            .TableRecord(/*offset=*/0x70000000, /*size=*/4) // at 0xEFFFFFF0
                            .File("a.bin").File("b.bin").File("c.bin").Bytes());
    const int fd = ::open("x.pak", O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "ABCDEFGH", 8, 0x7FFFFFFC), 8);
    ASSERT_EQ(::pwrite(fd, "wxyz", 4, 0xEFFFFFF0), 4);
    ::close(fd);
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "x.pak"), 1);
    EXPECT_EQ(ExtractAll(archive), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(ReadBytes("a.bin"), "ABCDEFGH");
    EXPECT_EQ(ReadBytes("b.bin"), std::string("\x04\0\0\0", 4));   // the signature, not 2^32
    EXPECT_EQ(ReadBytes("c.bin"), "wxyz");
}

// With the archive on another file system than the outputs, the system's copy
// call refuses, and the bytes of an entry of several copy blocks go through
// the buffer: the same bytes, each from its own position, then the zeros.
TEST(ExtractEntry, CopiesAnEntryFromAnotherFileSystem)
{
    SKIP_UNLESS_POSIX("/dev/shm");
#ifndef _WIN32
    ScratchDir dir;
    char folder[] = "/dev/shm/pak_test_XXXXXX";
    struct stat here {}, there {};
    if (::mkdtemp(folder) == nullptr)
        GTEST_SKIP() << "no /dev/shm";
    const std::string path = std::string(folder) + "/x.pak";
    const std::string data = NumberedBytes((5u << 20) + 3);
    PakArchive archive;
    const int opened = OpenAndLoad(archive, path, PakBuilder()
                                                      .Header(/*numFiles=*/1, /*dataStart=*/200, /*size=*/0xFFFFFFFF)
                                                      .TableRecord(/*offset=*/0, /*size=*/(6u << 20))
                                                      .File("e.bin")
                                                      .DataAt(200, data)
                                                      .Bytes());
    const bool apart = ::stat(".", &here) == 0 && ::stat(folder, &there) == 0 && here.st_dev != there.st_dev;
    ::unlink(path.c_str());   // the open archive stays readable
    ::rmdir(folder);
    ASSERT_EQ(opened, 1);
    if (!apart)
        GTEST_SKIP() << "/dev/shm is on the scratch folder's file system";
    EXPECT_EQ(archive.ExtractEntry(0), 0) << ExtractFailureText(archive.LastExtractFailure());
    std::string expected = data;
    expected.resize(6u << 20, '\0');
    EXPECT_TRUE(ReadBytes("e.bin") == expected);   // no dump of megabytes when it fails
#endif
}

} // namespace

namespace {

// The folder of one entry is kept for the next; it must be looked up again
// whenever the name in the current directory stops meaning that folder.
TEST(ExtractEntry, FindsTheFolderAgainWhenItChangesBetweenEntries)
{
    ScratchDir outer;
    PakArchive archive;
    ASSERT_EQ(OpenAndLoad(archive, "x.pak", ArchiveOf({{"", "a.txt", "a"}, {"maps", "b.dat", "b"},
                                                       {"maps", "c.dat", "c"}})), 1);
    ASSERT_EQ(archive.ExtractEntry(1), 0);

    ASSERT_EQ(::rename("maps", "moved"), 0);
    EXPECT_EQ(archive.ExtractEntry(2), 0);
    EXPECT_EQ(ReadBytes("maps/c.dat"), "c");
    EXPECT_FALSE(Exists("moved/c.dat"));

    ASSERT_EQ(::unlink("maps/c.dat"), 0);
    ASSERT_EQ(::rmdir("maps"), 0);
    EXPECT_EQ(archive.ExtractEntry(2), 0);
    EXPECT_EQ(ReadBytes("maps/c.dat"), "c");

    if (CanMakeSymbolicLinks()) {
        ASSERT_EQ(::rename("maps", "gone"), 0);
        ASSERT_EQ(::symlink("moved", "maps"), 0);
        EXPECT_EQ(archive.ExtractEntry(1), -3);
        EXPECT_EQ(ListTree(outer / "moved"), std::vector<std::string>{"b.dat"});
    }

    ::mkdir("other", 0755);
    ASSERT_EQ(::chdir("other"), 0);
    EXPECT_EQ(archive.ExtractEntry(2), 0);
    EXPECT_EQ(ReadBytes(outer / "other/maps/c.dat"), "c");
}

// The groups that `groupOf` gives the entries `indices`, as lists of table
// indices in the order of their first entries.
std::vector<std::vector<std::uint32_t>> GroupsOf(const std::vector<std::uint32_t>& indices,
                                                 const std::vector<std::uint32_t>& groupOf)
{
    std::vector<std::vector<std::uint32_t>> groups;
    for (std::size_t place = 0; place < indices.size(); ++place) {
        groups.resize(std::max<std::size_t>(groups.size(), groupOf[place] + std::size_t{1}));
        groups[groupOf[place]].push_back(indices[place]);
    }
    return groups;
}

// Entries whose outputs may meet on disk share a group: the same folder,
// a folder and a top-level file of one name, in either letter case or with
// the characters some file systems take for others; a possible short name
// puts everything in one group.
TEST(ExtractionGroups, KeepsEntriesThatMayMeetOnDiskTogether)
{
    using Groups = std::vector<std::vector<std::uint32_t>>;
    const struct {
        const char* label;
        std::vector<std::pair<std::string, std::string>> entries;   // dir, name
        Groups groups;
    } rows[] = {
        {"folders, and a file named like one",
         {{"", "maps"}, {"maps", "a"}, {"snd", "b"}, {"maps", "c"}, {"", "top.txt"}, {"snd", "d"}},
         {{0, 1, 3}, {2, 5}, {4}}},
        {"letter case, a last dot, an accent in one character or two",
         {{"Maps", "a"}, {"MAPS", "b"}, {"", "maps."}, {"caf\xC3\xA9", "c"}, {"cafe\xCC\x81", "d"}, {"dir0001", "e"},
          {"dir0002", "f"}},
#ifdef _WIN32
         // Windows writes "maps_", and the UTF-8 bytes are other characters
         // of the ANSI code page.
         {{0, 1}, {2}, {3}, {4}, {5}, {6}}},
#else
         {{0, 1, 2}, {3, 4}, {5}, {6}}},
#endif
        {"a dotless i and a long s, which some systems make I and S",
         {{"f\xC4\xB1le", "a"}, {"FILE", "b"}, {"\xC5\xBFnd", "c"}, {"snd", "d"}, {"fol", "e"}},
         {{0, 1}, {2, 3}, {4}}},
#ifdef _WIN32
        {"names Windows writes alike", {{"a:b", "x"}, {"a?b", "y"}, {"", "a_b"}, {"con", "z"}, {"", "_CON"}},
         {{0, 1, 2}, {3, 4}}},
#else
        {"names Windows would write alike", {{"a:b", "x"}, {"a?b", "y"}, {"", "a_b"}}, {{0}, {1}, {2}}},
#endif
        {"a short name", {{"", "LONGNA~1"}, {"longname", "x"}, {"other", "y"}}, {{0, 1, 2}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        PakArchive archive;
        std::vector<std::uint32_t> all;
        for (const auto& [dir, name] : row.entries) {
            all.push_back(static_cast<std::uint32_t>(archive.m_table.size()));
            archive.m_table.push_back(PakEntry{dir, name, 0, 0});
        }
        archive.m_numFiles = static_cast<std::uint32_t>(all.size());
        EXPECT_EQ(GroupsOf(all, archive.ExtractionGroups(all, 100)), row.groups);
        // Past `most` names, a group takes more than one of them.
        const std::vector<std::uint32_t> two = archive.ExtractionGroups(all, 2);
        EXPECT_TRUE(std::all_of(two.begin(), two.end(), [](std::uint32_t group) { return group < 2; }));
        for (const auto& group : row.groups) {
            for (const std::uint32_t index : group)
                EXPECT_EQ(two[index], two[group.front()]) << index;
        }
    }
    // Only the entries asked for; one outside the table writes nothing.
    PakArchive archive;
    archive.m_table = {PakEntry{"maps", "a", 0, 0}, PakEntry{"snd", "b", 0, 0}, PakEntry{"maps", "c", 0, 0}};
    EXPECT_EQ(archive.ExtractionGroups({1, 2, 7}, 100), (std::vector<std::uint32_t>{0, 1, 2}));
}

} // namespace
