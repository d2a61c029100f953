// Writes the seed archives, one file each, into the folder given as argument.
#include <cstdio>
#include <fstream>

#include "seed_archives.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    for (const SeedArchive& seed : SeedArchives()) {
        const std::string path = std::string(argv[1]) + "/" + seed.name + ".pak";
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(seed.bytes.data(), static_cast<std::streamsize>(seed.bytes.size()));
        if (!out) {
            std::fprintf(stderr, "can't write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
