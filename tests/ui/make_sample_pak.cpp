// Writes a sample archive for looking at the program by hand (tools/screenshots.sh):
// entries in the archive's own folder and in two directories, and one entry
// that starts beyond the declared size, so "Extract All" shows an error box.
#include <cstdio>
#include <string>

#include "pak_builder.h"
#include "test_files.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s ARCHIVE\n", argv[0]);
        return 2;
    }
    const std::string readme = "Sample archive written by make_sample_pak.\n";
    const std::string map(3000, 'm');
    const std::string sound(1200, 's');
    const auto dataStart = 400u;
    const auto size = static_cast<std::uint32_t>(dataStart + readme.size() + map.size() + sound.size());
    WriteBytes(argv[1], PakBuilder()
                            .Header(/*numFiles=*/4, dataStart, size)
                            .TableRecord(0, static_cast<std::uint32_t>(readme.size()))
                            .TableRecord(static_cast<std::uint32_t>(readme.size()), static_cast<std::uint32_t>(map.size()))
                            .TableRecord(static_cast<std::uint32_t>(readme.size() + map.size()),
                                         static_cast<std::uint32_t>(sound.size()))
                            .TableRecord(size, 10)   // starts beyond the declared size
                            .Dir("maps").File("readme.txt").Dir("sounds").File("level1.map")
                            .File("wind.wav").File("lost.dat")
                            .DataAt(dataStart, readme + map + sound)
                            .Bytes());
    return 0;
}
