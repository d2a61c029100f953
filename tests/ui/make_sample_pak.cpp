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
    const std::string readme = "Sample archive written by make_sample_pak.\n";   // 43 bytes
    WriteBytes(argv[1], PakBuilder()
                            .Header(/*numFiles=*/4, /*dataStart=*/400, /*size=*/43 + 3000 + 1200 + 400)
                            .TableRecord(0, 43).TableRecord(43, 3000).TableRecord(3043, 1200)
                            .TableRecord(4643, 10)   // starts beyond the declared size
                            .Dir("maps").File("readme.txt").Dir("sounds").File("level1.map")
                            .File("wind.wav").File("lost.dat")
                            .DataAt(400, readme + std::string(3000, 'm') + std::string(1200, 's'))
                            .Bytes());
    return 0;
}
