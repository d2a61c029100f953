// Archives the fuzzer starts from: the format's worked examples and its edge cases.
#pragma once

#include <string>
#include <vector>

struct SeedArchive {
    std::string name;    // file name in the corpus, says what the archive shows
    std::string bytes;
};

std::vector<SeedArchive> SeedArchives();
