// What pakunpack create does, as one process the benchmark can time and
// measure: the folder listed, then its archive written.
//   pak_bench_create FOLDER NEW.pak
// Items the format can't hold are left out, as with --skip-unsupported.
#include <cstdio>

#include "pak_writer.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: pak_bench_create FOLDER NEW.pak\n");
        return 64;
    }
    PakTree tree;
    PakTreeFailure listing;
    if (!ReadPakTree(argv[1], argv[2], tree, listing)) {
        std::fprintf(stderr, "pak_bench_create: can't list %s\n", argv[1]);
        return 2;
    }
    NoProgress progress;
    PakWriteFailure failure;
    if (WritePak(argv[2], tree.inputs, progress, failure) == 0) {
        std::fprintf(stderr, "pak_bench_create: %s\n", PakWriteFailureText(failure).c_str());
        return 1;
    }
    return 0;
}
