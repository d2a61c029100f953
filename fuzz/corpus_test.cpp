// The fuzz harness run on every seed archive and on every stored input that
// once broke the archive code, so the normal build keeps checking them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive_harness.h"
#include "seed_archives.h"

namespace {

namespace fs = std::filesystem;

std::string Harness(const std::string& bytes)
{
    return RunArchiveInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(FuzzCorpus, EverySeedArchivePassesTheHarness)
{
    for (const SeedArchive& seed : SeedArchives()) {
        SCOPED_TRACE(seed.name);
        EXPECT_EQ(Harness(seed.bytes), "");
    }
}

// Stored findings are named after the fault they showed.
TEST(FuzzCorpus, EveryStoredFindingPassesTheHarness)
{
    std::vector<fs::path> inputs;
    for (const auto& item : fs::directory_iterator(PAK_FUZZ_REGRESSIONS)) {
        if (item.path().extension() == ".pak")
            inputs.push_back(item.path());
    }
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path& path : inputs) {
        SCOPED_TRACE(path.filename().string());
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        EXPECT_EQ(Harness(bytes.str()), "");
    }
}

} // namespace
