// Writes the archive that tools/windows_test.sh extracts with the Linux and the
// Windows pakunpack to compare their listing, report and extracted trees:
// folders, a name with a space and a byte above 0x7F, entries of several
// sizes, a zero tail beyond the file's end, an entry beyond the declared
// size, a repeated name and an empty entry.
#include <cstdio>
#include <string>

#include "pak_builder.h"
#include "test_files.h"

namespace {

std::string Pattern(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + seed) & 0xFF);
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s ARCHIVE\n", argv[0]);
        return 2;
    }
    constexpr std::uint32_t kDataStart = 600;
    const std::string readme = "Sample archive for the platform check.\n";
    const std::string level = Pattern(3000, 1), menu = Pattern(777, 2), big = Pattern(3u << 20, 3);
    const std::string wind = Pattern(1200, 4), wind2 = Pattern(1300, 5), tail = Pattern(100, 6);
    std::uint32_t at = 0;
    const auto next = [&at](const std::string& data) {
        const std::uint32_t offset = at;
        at += static_cast<std::uint32_t>(data.size());
        return offset;
    };
    PakBuilder builder;
    builder.TableRecord(next(readme), static_cast<std::uint32_t>(readme.size()))
        .TableRecord(next(level), static_cast<std::uint32_t>(level.size()))
        .TableRecord(next(menu), static_cast<std::uint32_t>(menu.size()))
        .TableRecord(next(big), static_cast<std::uint32_t>(big.size()))
        .TableRecord(next(wind), static_cast<std::uint32_t>(wind.size()))
        .TableRecord(next(wind2), static_cast<std::uint32_t>(wind2.size()))
        .TableRecord(at, 0);   // empty
    const std::uint32_t tailOffset = next(tail);
    const std::uint32_t declared = kDataStart + at + (3u << 20);
    builder.TableRecord(tailOffset, 100 + (2u << 20))   // 2 MiB of it lie beyond the file's end
        .TableRecord(declared - kDataStart + 16, 10)    // starts beyond the declared size
        .Dir("maps").File("readme.txt").File("level1.map").File("caf\xE9 menu.dds").Dir("snd").File("big.bin")
        .File("wind.wav").File("wind.wav").File("empty.txt").File("tail.bin").File("lost.dat")
        .DataAt(kDataStart, readme + level + menu + big + wind + wind2 + tail);
    WriteBytes(argv[1], builder.Header(/*numFiles=*/9, kDataStart, declared).Bytes());
    return 0;
}
