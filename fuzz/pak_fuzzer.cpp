// libFuzzer entry point: each input is one archive, run through the harness.
#include <cstdio>
#include <cstdlib>

#include "archive_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string failure = RunArchiveInput(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "archive check failed:\n%s", failure.c_str());
        std::abort();
    }
    return 0;
}
