// WritePak and its rules: what every reader reads back, the canonical
// layout, and an archive that is written whole or not at all.
#include <gtest/gtest.h>

#include <filesystem>

#include "file_io.h"
#include "pak_archive.h"
#include "pak_builder.h"
#include "pak_writer.h"
#include "test_files.h"
#include "test_platform.h"

namespace {

using Rules = std::vector<PakRule>;
constexpr std::uint64_t kTwoGiB = std::uint64_t{1} << 31;

PakInput In(const std::string& dir, const std::string& name, std::uint64_t size = 1)
{
    PakInput input;
    input.dir = dir;
    input.name = name;
    input.size = size;
    return input;
}

TEST(WritePak, RulesRefuseWhatNotEveryReaderReadsBackAsWritten)
{
    // A single top-level "a.txt" of one byte: D = 92 + 16 + 8 = 116.
    const std::uint64_t fits = kTwoGiB - 116;
    const std::string f127(127, 'f');
    const struct {
        const char* label;
        std::vector<PakInput> inputs;
        Rules rules;
    } rows[] = {
        {"shortest name, shortest folder, longest folder and path",
         {In("", ".txt"), In("abc", "b.dat"), In("a.cd", "b.dat"), In("abc.de", "b.dat"),
          In(f127, std::string(123, 'n') + ".dat")},
         {PakRule::None, PakRule::None, PakRule::None, PakRule::None, PakRule::None}},
        {"no three-character extension",
         {In("", "a.txt"), In("", "readme"), In("", "a.tx"), In("", "a.text"), In("", "")},
         {PakRule::None, PakRule::NoExtension, PakRule::NoExtension, PakRule::NoExtension, PakRule::NoExtension}},
        {"backslash, slash, NUL",
         {In("", "a.txt"), In("", "a\\b.txt"), In("", "a/b.txt"), In("", std::string("a\0b.txt", 7)),
          In("abc\\de", "b.dat")},
         {PakRule::None, PakRule::ForbiddenCharacter, PakRule::ForbiddenCharacter, PakRule::ForbiddenCharacter,
          PakRule::ForbiddenCharacter}},
        {"folder names",
         {In("", "a.txt"), In("ab", "b.dat"), In("a", "b.dat"), In("x.abcde", "b.dat"), In(".abcde", "b.dat"),
          In(f127 + "f", "b.dat")},
         {PakRule::None, PakRule::FolderNameTooShort, PakRule::FolderNameTooShort, PakRule::FolderNameLikeFile,
          PakRule::FolderNameLikeFile, PakRule::FolderNameTooLong}},
        {"paths", {In("", std::string(252, 'n') + ".txt"), In(f127, std::string(124, 'n') + ".dat")},
         {PakRule::PathTooLong, PakRule::PathTooLong}},
        {"a folder's file first, a top-level one after a folder's",
         {In("abcde", "b.dat"), In("", "a.txt"), In("abcde", "c.dat"), In("", "d.txt")},
         {PakRule::NoTopLevelFileFirst, PakRule::None, PakRule::None, PakRule::TopLevelAfterFolder}},
        {"sizes", {In("", "a.txt", kTwoGiB - 1), In("", "b.txt", kTwoGiB)}, {PakRule::PastTwoGiB, PakRule::TooLarge}},
        {"last byte at 2^31 - 1", {In("", "a.txt", fits)}, {PakRule::None}},
        {"one byte further", {In("", "a.txt", fits + 1)}, {PakRule::PastTwoGiB}},
        // D = 92 + 48 + 24 = 164 with all three: b.txt would end at 2^31 + 1.
        {"a later, smaller file still fits",
         {In("", "a.txt"), In("", "b.txt", kTwoGiB - 164), In("", "c.txt", kTwoGiB - 165)},
         {PakRule::None, PakRule::PastTwoGiB, PakRule::None}},
        {"the only top-level file past 2 GiB takes its folder's along",
         {In("", "a.txt", fits), In("abcde", "b.dat", 0)}, {PakRule::PastTwoGiB, PakRule::NoTopLevelFileFirst}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(PakWriteRules(row.inputs), row.rules);
    }
}

// The layout reads back, through the library's reader, as exactly the
// inputs it was made of; every byte the reader skips is zero, and every
// entry can be extracted, empty ones at the end included.
TEST(WritePak, CanonicalLayoutReadsBackAsItsInputs)
{
    const struct {
        const char* label;
        std::vector<PakInput> inputs;
        std::vector<std::uint32_t> offsets;
        std::uint32_t dataBytes;   // S - D
    } rows[] = {
        {"no entry", {}, {}, 0},
        {"files and folders of three, four and five characters, empty files among them",
         {In("", "a.txt", 3), In("", "e.txt", 0), In("abc", "b.dat", 2), In("abc", "z.dat", 0),
          In("fghi", "c.dat", 0), In("jklmn", "d.dat", 0)},
         {0, 3, 3, 4, 4, 4}, 5},
        {"no byte at all", {In("", "a.txt", 0), In("", "b.txt", 0)}, {0, 0}, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        ScratchDir dir;
        const PakLayout layout = LayOutPak(row.inputs);
        EXPECT_EQ(layout.offsets, row.offsets);
        EXPECT_EQ(layout.dataStart, layout.head.size());
        EXPECT_EQ(layout.archiveSize, layout.dataStart + row.dataBytes);
        std::string bytes = layout.head;
        for (const PakInput& input : row.inputs)
            bytes += NumberedBytes(static_cast<std::size_t>(input.size));
        bytes.resize(layout.archiveSize, '\0');

        PakArchive archive;
        ASSERT_EQ(OpenAndLoad(archive, "x.pak", bytes), 1);
        EXPECT_EQ(archive.m_dataStart, layout.dataStart);
        EXPECT_EQ(archive.m_archiveSize, bytes.size());
        ASSERT_EQ(archive.m_numFiles, row.inputs.size());
        std::string skipped = bytes.substr(4, 72) + bytes.substr(80, 4);
        for (std::size_t i = 0; i < row.inputs.size(); ++i) {
            const PakEntry& entry = archive.m_table[i];
            EXPECT_EQ(PakPath(entry.dir, entry.name), PakPath(row.inputs[i].dir, row.inputs[i].name));
            EXPECT_EQ(entry.size, row.inputs[i].size);
            EXPECT_EQ(entry.offset, layout.offsets[i]);
            skipped += bytes.substr(92 + 16 * i + 8, 8);
            const std::string& name = row.inputs[i].name;
            EXPECT_NE(bytes.find(std::string(2, '\0') + std::string(name.rbegin(), name.rend()) + '\0'),
                      std::string::npos) << "two zero bytes before the name";
        }
        EXPECT_EQ(skipped, std::string(skipped.size(), '\0'));
        EXPECT_EQ(ExtractAll(archive), std::vector<int>(row.inputs.size(), 0));
    }
}

// A file record behind two leading bytes of its own.
std::string LeadRecord(const std::string& lead, const std::string& name)
{
    return lead + FileRecord(name).substr(2);
}

// An archive no writer here makes: PakBuilder's non-zero skipped bytes, file
// records behind other leading bytes, names out of byte order, a gap after
// the name area and gaps between the data, two entries on the same bytes.
// D = 92 + 4 * 16 + 5 + 4 * 8 + 8 = 201.
const std::string kUnusualNames = DirRecord("maps") + LeadRecord("\x01\x02", "z.txt") +
                                  LeadRecord("\x03\x04", "b.dat") + LeadRecord("..", "a.dat") +
                                  LeadRecord("\xFF\\", "c.dat");
std::string UnusualArchive()
{
    return PakBuilder()
        .Header(/*numFiles=*/4, /*dataStart=*/201, /*size=*/246)
        .TableRecord(/*offset=*/40, /*size=*/5)   // z.txt
        .TableRecord(/*offset=*/0, /*size=*/4)    // maps/b.dat
        .TableRecord(/*offset=*/0, /*size=*/4)    // maps/a.dat, on b.dat's bytes
        .TableRecord(/*offset=*/10, /*size=*/3)   // maps/c.dat
        .Raw(kUnusualNames + std::string(8, '\x66'))
        .DataAt(201, "BDAT" + std::string(6, '\x77') + "cat" + std::string(27, '\x77') + "ztext")
        .Bytes();
}

// One entry whose bytes are the header's first four and whose name record
// runs to the end of the file: data after it would lengthen the name.
std::string NamesToTheEnd()
{
    return PakBuilder().Header(1, 0, 300).TableRecord(0, 4).Raw(FileRecord("z.txt").substr(0, 7)).Bytes();
}

// An archive like an original, from the tree extraction made of it: the
// original's layout when every file fits it, else laid out anew after the
// original's name records; either way every byte the reader skips is the
// original's and every entry reads back with its file's bytes, or with the
// original's when it has no file.
TEST(WritePakLike, KeepsTheOriginalsBytesAndLayoutWhereTheFilesAllow)
{
    const std::string unusual = UnusualArchive();
    const struct {
        const char* label;
        std::string original;
        void (*change)();
        std::vector<std::string> missing;
        PakLikeLayout layout;
        std::string kept;        // Kept: the archive expected
        PakRule refused = PakRule::None;
    } rows[] = {
        {"as extracted", unusual, [] {}, {}, PakLikeLayout::Kept, unusual},
        {"z.txt changed, as long", unusual, [] { WriteBytes("z.txt", "ZTEXT"); }, {}, PakLikeLayout::Kept,
         unusual.substr(0, 241) + "ZTEXT"},
        {"a.dat changed, whose bytes are b.dat's too", unusual, [] { WriteBytes("maps/a.dat", "ADAT"); }, {},
         PakLikeLayout::Anew, ""},
        {"c.dat longer", unusual, [] { WriteBytes("maps/c.dat", "cats"); }, {}, PakLikeLayout::Anew, ""},
        {"c.dat gone, kept from the original", unusual, [] { std::filesystem::remove("maps/c.dat"); },
         {"maps/c.dat"}, PakLikeLayout::Kept, unusual},
        {"c.dat gone, z.txt longer", unusual,
         [] {
             std::filesystem::remove("maps/c.dat");
             WriteBytes("z.txt", "ztexts");
         },
         {"maps/c.dat"}, PakLikeLayout::Anew, ""},
        {"names to the end, as extracted", NamesToTheEnd(), [] {}, {}, PakLikeLayout::Kept, NamesToTheEnd()},
        {"names to the end, the header's bytes changed", NamesToTheEnd(), [] { WriteBytes("z.txt", "abcd"); }, {},
         PakLikeLayout::Anew, "", PakRule::NamesRunToEnd},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        ScratchDir dir;
        PakArchive extracted;
        ASSERT_EQ(OpenAndLoad(extracted, "orig.pak", row.original), 1);
        ExtractAll(extracted);
        row.change();
        PakOriginal original;
        std::string error;
        ASSERT_EQ(ReadPakOriginal("orig.pak", original, error), 1);
        PakTree tree;
        PakTreeFailure listing;
        ASSERT_TRUE(ListPakFolder(".", "new.pak", "orig.pak", tree, listing));
        const PakLike like = MatchPakLike(original, tree);
        std::vector<std::string> missing;
        for (const PakRefusal& entry : like.missing)
            missing.push_back(entry.path);
        EXPECT_EQ(missing, row.missing);
        EXPECT_EQ(like.extra.size(), 0u);

        NoProgress progress;
        PakWriteFailure failure;
        PakLikeLayout layout = PakLikeLayout::Kept;
        const int written = WritePakLike("new.pak", original, like.inputs, progress, failure, layout);
        EXPECT_EQ(layout, row.layout);
        EXPECT_EQ(failure.rule, row.refused);
        if (row.refused != PakRule::None) {
            EXPECT_EQ(written, 0);
            EXPECT_FALSE(Exists("new.pak"));
            continue;
        }
        ASSERT_EQ(written, 1);
        const std::string bytes = ReadBytes("new.pak");
        if (layout == PakLikeLayout::Kept) {
            EXPECT_EQ(bytes, row.kept);
        }

        PakArchive again;
        ASSERT_EQ(OpenAndLoad(again, "new.pak"), 1);
        ASSERT_EQ(again.m_numFiles, original.entries.size());
        const std::size_t namesEnd = 92 + 16 * original.entries.size() + kUnusualNames.size();
        if (layout == PakLikeLayout::Anew) {
            EXPECT_EQ(again.m_dataStart, namesEnd) << "the data right after the name records";
            EXPECT_EQ(bytes.substr(0, 84), row.original.substr(0, 84)) << "signature, skipped bytes, N";
            EXPECT_EQ(bytes.substr(156, kUnusualNames.size()), kUnusualNames) << "the name records as they were";
        }
        for (std::size_t i = 0; i < original.entries.size(); ++i) {
            const PakEntry& entry = again.m_table[i];
            const PakEntry& was = original.entries[i];
            EXPECT_EQ(PakPath(entry.dir, entry.name), PakPath(was.dir, was.name));
            EXPECT_EQ(bytes.substr(92 + 16 * i + 8, 8), row.original.substr(92 + 16 * i + 8, 8));
            const std::string path = PakPath(entry.dir, entry.name);
            const std::string expected =
                Exists(path) ? ReadBytes(path) : row.original.substr(was.offset + 201, was.size);   // D = 201
            EXPECT_EQ(bytes.substr(again.m_dataStart + entry.offset, entry.size), expected) << path;
        }
    }
}

// The tree's files as ReadPakTree lists them; `folder` holds a.txt "hello"
// and abcde/b.dat "bdat".
PakTree ListedTree(const std::string& folder)
{
    std::filesystem::create_directories(folder + "/abcde");
    WriteBytes(folder + "/a.txt", "hello");
    WriteBytes(folder + "/abcde/b.dat", "bdat");
    PakTree tree;
    PakTreeFailure failure;
    EXPECT_TRUE(ReadPakTree(folder, "x.pak", tree, failure));
    EXPECT_EQ(tree.refusals.size(), 0u);
    return tree;
}

// Every input is checked before anything is begun and copied whole; any
// failure leaves the file the archive would replace, and nothing else.
TEST(WritePak, WritesItsInputsOrNothing)
{
    const std::string written = ArchiveOf({{"", "a.txt", "hello"}, {"abcde", "b.dat", "bdat"}});
    const struct {
        const char* label;
        void (*change)(PakTree&);
        const char* path;
        PakWriteProblem problem;
        std::size_t input;
    } rows[] = {
        {"written", [](PakTree&) {}, "x.pak", PakWriteProblem::None, 0},
        {"refused", [](PakTree& tree) { tree.inputs[1].name = "b"; }, "x.pak", PakWriteProblem::Refused, 1},
        {"gone", [](PakTree&) { std::filesystem::remove("t/abcde/b.dat"); }, "x.pak", PakWriteProblem::CantRead, 1},
        {"another file in its place",
         [](PakTree&) {
             WriteBytes("t/new", "HELLO");
             std::filesystem::rename("t/new", "t/a.txt");
         },
         "x.pak", PakWriteProblem::InputChanged, 0},
        {"longer now", [](PakTree&) { WriteBytes("t/abcde/b.dat", "bdat!"); }, "x.pak", PakWriteProblem::InputChanged,
         1},
        {"a folder in its place",
         [](PakTree&) {
             std::filesystem::remove("t/a.txt");
             std::filesystem::create_directory("t/a.txt");
         },
         "x.pak", PakWriteProblem::InputChanged, 0},
        {"the file the archive replaces", [](PakTree&) {}, "t/abcde/b.dat", PakWriteProblem::InputIsArchive, 1},
        {"no folder for the archive", [](PakTree&) {}, "missing/x.pak", PakWriteProblem::CantWrite, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        ScratchDir dir;
        WriteBytes("x.pak", "old");
        PakTree tree = ListedTree("t");
        row.change(tree);
        const std::vector<std::string> before = ListTree(dir.Path());
        RecordingProgress progress;
        PakWriteFailure failure;
        const int result = WritePak(row.path, tree.inputs, progress, failure);
        EXPECT_EQ(failure.problem, row.problem);
        EXPECT_EQ(failure.input, row.input);
        if (row.problem == PakWriteProblem::None) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(ReadBytes("x.pak"), written);
            EXPECT_EQ(progress.calls, (std::vector<std::string>{"range 0..2", "pos 0", "pos 1", "pos 2"}));
            continue;
        }
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ListTree(dir.Path()), before) << "nothing written, no temporary";
        EXPECT_EQ(ReadBytes("x.pak"), "old");
    }
}

// The writer's output is any output: an interruption in the middle of the
// archive leaves no partial file and no temporary, and a file it would
// have replaced as it was; where outputs are unnamed files even SIGKILL does.
TEST(WritePak, InterruptionLeavesNothing)
{
    SKIP_UNLESS_POSIX("file-size limits and signals");
#ifndef _WIN32
    const struct {
        const char* label;
        int signal;
        bool existing;
        bool named;
    } rows[] = {
        {"SIGINT, new name", SIGINT, false, false},
        {"SIGTERM, replaced name", SIGTERM, true, false},
        {"SIGKILL, replaced name", SIGKILL, true, false},
        {"named: SIGINT, new name", SIGINT, false, true},
        {"named: SIGHUP, replaced name", SIGHUP, true, true},
    };
    const bool unnamedFiles = UnnamedFilesWorkHere();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        if (row.signal == SIGKILL && !unnamedFiles)
            continue;   // nothing can catch SIGKILL: only an unnamed output leaves nothing
        ScratchDir dir;
        if (row.existing)
            WriteBytes("x.pak", "old");
        std::filesystem::create_directory("t");
        WriteBytes("t/a.txt", NumberedBytes(3000));
        const std::vector<std::string> before = ListTree(dir.Path());
        static bool s_named = false;
        s_named = row.named;
        const auto write = [](void*) {
            UseUnnamedOutputs(!s_named);
            PakTree tree;
            PakTreeFailure listing;
            PakWriteFailure failure;
            NoProgress progress;
            return ReadPakTree("t", "x.pak", tree, listing) ? WritePak("x.pak", tree.inputs, progress, failure) : 2;
        };
        EXPECT_EQ(RunInterruptedMidWrite(1000, row.signal, write, nullptr), 128 + row.signal);
        EXPECT_EQ(ListTree(dir.Path()), before);
        if (row.existing) {
            EXPECT_EQ(ReadBytes("x.pak"), "old");
        }
    }
#endif
}

} // namespace
