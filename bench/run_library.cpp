// What the open command and "Extract All" do, as one process the benchmark
// can time and measure: open, load, report, then every entry in table order.
//   pak_bench_library ARCHIVE [--no-extract]
#include <cstdio>
#include <cstring>

#include "load_archive.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: pak_bench_library ARCHIVE [--no-extract]\n");
        return 64;
    }
    const bool extract = !(argc > 2 && std::strcmp(argv[2], "--no-extract") == 0);
    PakArchive archive;
    NoProgress progress;
    if (!OpenAndLoad(archive, argv[1], progress))
        return 2;
    archive.WriteScanLog(progress);
    int failed = 0;
    if (extract) {
        for (std::uint32_t i = 0; i < archive.m_numFiles; ++i)
            failed += archive.ExtractEntry(i) != 0;
    }
    return failed == 0 ? 0 : 1;
}
