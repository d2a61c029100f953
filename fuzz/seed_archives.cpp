// Seed archives, built with the same generator as the tests.
#include "seed_archives.h"

#include <cstdint>

#include "pak_builder.h"

namespace {

const std::string kNul(1, '\0');

// The two-entry example: a.txt at D, maps/b.dat running past S.
std::string TwoEntryExample()
{
    return PakBuilder()
        .Header(/*numFiles=*/2, /*dataStart=*/200, /*size=*/600)
        .TableRecord(/*offset=*/0, /*size=*/100)
        .TableRecord(/*offset=*/100, /*size=*/400)
        .File("a.txt").Dir("maps").File("b.dat")
        .DataAt(200, std::string(100, 'a'))
        .DataAt(300, std::string(300, 'b'))
        .Bytes();
}

// Entries with data right after the name area; `names` is the raw name area.
std::string PackedArchive(std::uint32_t count, const std::string& names, std::uint32_t entrySize)
{
    const std::uint32_t dataStart = 92 + 16 * count + static_cast<std::uint32_t>(names.size());
    PakBuilder builder;
    builder.Header(count, dataStart, dataStart + count * entrySize);
    for (std::uint32_t i = 0; i < count; ++i)
        builder.TableRecord(/*offset=*/i * entrySize, /*size=*/entrySize);
    builder.Raw(names);
    for (std::uint32_t i = 0; i < count; ++i)
        builder.DataAt(dataStart + i * entrySize, std::string(entrySize, static_cast<char>('A' + i % 26)));
    return builder.Bytes();
}

} // namespace

std::vector<SeedArchive> SeedArchives()
{
    const std::string two = TwoEntryExample();
    return {
        {"two_entry_example", two},
        {"file_record_ffsdd_elif", PackedArchive(1, FileRecord("file.dds"), 8)},
        {"dir_a_file_dir_b", PackedArchive(3, DirRecord("dir_a") + FileRecord("one.txt") + FileRecord("two.txt") +
                                                  DirRecord("dir_b") + FileRecord("thr.txt"), 5)},
        {"no_entries", PakBuilder().Header(0, 92, 92).Bytes()},
        {"signature_5", PakBuilder().Signature(5).Bytes()},
        {"three_bytes", std::string("\x04\x00\x00", 3)},
        {"header_cut_short", two.substr(0, 60)},
        {"table_cut_short", two.substr(0, 92 + 20)},
        {"no_name_area", two.substr(0, 92 + 32)},
        {"end_of_file_inside_record", two.substr(0, 92 + 32 + 5)},
        {"long_record_then_normal",
         PackedArchive(2, DirRecord(std::string(600, 'd')) + FileRecord("one.txt") + FileRecord("two.txt"), 4)},
        {"records_of_3_to_5_characters",
         PackedArchive(3, "abc" + kNul + FileRecord("a.txt") + "abcd" + kNul + FileRecord("b.txt") + "ab.de" + kNul +
                              FileRecord("c.txt"), 3)},
        {"dot_not_at_5", PackedArchive(1, "ab.cdefg" + kNul + FileRecord("x.txt"), 3)},
        {"backslashes_and_zero_at_2",
         PackedArchive(2, DirRecord("a\\b") + FileRecord("c\\d.txt") + std::string("\0\0\0ab.n\0", 8), 3)},
        {"directory_then_directory", PackedArchive(2, DirRecord("first") + DirRecord("second") + FileRecord("n.txt"), 3)},
        {"size_at_2_gib", PakBuilder().Header(2, 92 + 32 + 20, 0x80000000u)
                              .TableRecord(0, 4).TableRecord(0x7FFFFF00u, 16)
                              .File("a.bin").File("b.bin").DataAt(92 + 32 + 20, "data").Bytes()},
        {"wrapping_sums", PakBuilder().Header(3, 0xFFFFFF00u, 0x200)
                              .TableRecord(0x100 + 0x180, 8)    // D + offset wraps to 0x180
                              .TableRecord(0x100 + 0x200, 1)    // wraps to S exactly: -1
                              .TableRecord(0x100, 0xFFFFFFF0u)  // size wraps the end sum
                              .File("w.bin").File("s.bin").File("e.bin").DataAt(0x180, "wrapped!").Bytes()},
        {"non_ascii_names", PackedArchive(2, DirRecord("\xC3\xA9t\xC3\xA9") + FileRecord("\xFF\xFE.bin") +
                                                 FileRecord("\x80\x81\x82.\x90\x91\x92"), 2)},
        // Paths that would leave the folder by one level only, into the
        // harness's scratch root, where an escape is seen.
        {"hostile_names", PackedArchive(4, FileRecord("../x.txt") + DirRecord("..///") + FileRecord("...txt") +
                                               FileRecord("a/b.txt") + FileRecord("p.txt"), 2)},
        {"names_of_the_tools_files",
         PackedArchive(3, FileRecord("Scan_log.txt") + DirRecord("input.pak") + FileRecord("input.pak") +
                              FileRecord("z.txt"), 6)},
        {"name_longer_than_the_file_system_allows",
         PackedArchive(2, DirRecord(std::string(300, 'L')) + FileRecord(std::string(300, 'n') + ".txt") +
                              FileRecord("ok.txt"), 2)},
        {"folder_named_like_a_file",
         PackedArchive(3, FileRecord("abc.txt") + DirRecord("abc.txt") + FileRecord("b.txt") + FileRecord("c.txt"), 2)},
        {"same_path_twice", PackedArchive(2, FileRecord("d.txt") + FileRecord("d.txt"), 3)},
        {"size_zero_before_and_at_s", PakBuilder().Header(2, 100, 110)
                                          .TableRecord(0, 0).TableRecord(10, 0)
                                          .File("e.txt").File("f.txt").Bytes()},
        {"entry_past_end_of_file", PakBuilder().Header(1, 120, 0x10000)
                                       .TableRecord(0, 64).File("z.bin").DataAt(120, "real").Bytes()},
    };
}
