// pakunpack list: the text lines and the JSON document.
#include <gtest/gtest.h>

#include "cli_support.h"
#include "pak_builder.h"
#include "test_files.h"

namespace {

TEST(PakunpackList, PrintsOneTabSeparatedLinePerEntry)
{
    ScratchDir dir;
    WriteBytes("mixed.pak", MixedArchive());
    const RunResult run = Pakunpack({"list", "mixed.pak"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "0\t0x0000012C\t5\tGOOD\ta.txt\n"
              "1\t0x00000131\t4\tGOOD\tmaps/b.dat\n"
              "2\t0x00000135\t100\tFAILD\tmaps/c.dat\n"
              "3\t0x0000002C\t4\tFAILD\tmaps/wrap.bin\n"
              "4\t0x00000139\t3\tGOOD\tsnd/d.wav\n"
              "5\t0x0000112C\t1\tFAILD\tsnd/e.ogg\n");
    EXPECT_EQ(Pakunpack({"list", "-C"}).status, 64) << "an option of another command";
}

TEST(PakunpackList, JsonHoldsTheHeaderValuesAndEveryEntry)
{
    ScratchDir dir;
    WriteBytes("mixed.pak", MixedArchive());
    const RunResult run = Pakunpack({"list", "mixed.pak", "--json"});
    ASSERT_EQ(run.status, 0);
    const Json doc = ParseJson(run.out);
    EXPECT_EQ(doc["archive"].text, dir / "mixed.pak");
    EXPECT_EQ(doc["numFiles"].number, 6u);
    EXPECT_EQ(doc["dataStart"].number, 300u);
    EXPECT_EQ(doc["archiveSize"].number, 320u);
    ASSERT_EQ(doc["entries"].items.size(), 6u);
    const Json& wrapped = doc["entries"].items[3];
    EXPECT_EQ(wrapped["index"].number, 3u);
    EXPECT_EQ(wrapped["dir"].text, "maps");
    EXPECT_EQ(wrapped["name"].text, "wrap.bin");
    EXPECT_EQ(wrapped["path"].text, "maps/wrap.bin");
    EXPECT_EQ(wrapped["offset"].number, 0xFFFFFF00u);
    EXPECT_EQ(wrapped["start"].number, 0x2Cu);
    EXPECT_EQ(wrapped["size"].number, 4u);
    EXPECT_EQ(wrapped["status"].text, "FAILD");
    EXPECT_EQ(doc["entries"].items[0]["status"].text, "GOOD");
    EXPECT_EQ(doc["entries"].items[0]["path"].text, "a.txt");
}

TEST(PakunpackList, JsonGivesBackEveryNameExactly)
{
    struct Row {
        const char* label;
        std::string name;
        bool utf8;   // a JSON string; otherwise an array of bytes
    };
    const Row rows[] = {
        {"two-byte", "caf\xC3\xA9.txt", true},
        {"four-byte", "\xF0\x9F\x98\x80.bin", true},
        {"quote, line feed, control, DEL", "q\"\n\x01\x7F.txt", true},
        {"Latin-1", "caf\xE9.txt", false},
        {"overlong two-byte", "\xC0\xAF.txt", false},
        {"overlong three-byte", "\xE0\x80\xAF.txt", false},
        {"overlong four-byte", "\xF0\x80\x80\xAF.txt", false},
        {"surrogate", "\xED\xA0\x80.txt", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80.bin", false},
        {"cut short", "\xE2\x82.txt", false},
        {"continuation first", "\x80.txt", false},
    };
    const std::string oddDir = "d\xFFr";
    PakBuilder builder;
    builder.Header(static_cast<std::uint32_t>(std::size(rows)), 0, 0).Dir(oddDir);
    for (const Row& row : rows)
        builder.TableRecord(0, 0).File(row.name);
    ScratchDir dir;
    WriteBytes("names.pak", builder.Bytes());
    const RunResult run = Pakunpack({"list", "--json", "names.pak"});
    ASSERT_EQ(run.status, 0);
    const Json entries = ParseJson(run.out)["entries"];
    ASSERT_EQ(entries.items.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].label);
        const Json& entry = entries.items[i];
        EXPECT_EQ(entry["name"].kind, rows[i].utf8 ? Json::String : Json::Array);
        EXPECT_EQ(entry["name"].Bytes(), rows[i].name);
        // The first entry has no directory; the odd one applies from the second.
        EXPECT_EQ(entry["dir"].Bytes(), i == 0 ? "" : oddDir);
        EXPECT_EQ(entry["path"].Bytes(), i == 0 ? rows[i].name : oddDir + "/" + rows[i].name);
    }
}

} // namespace
