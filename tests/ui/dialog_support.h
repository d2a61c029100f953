// What the Linux dialog tests share with or without Qt: the archives they
// open and the scripted dialog (both also on Windows), a way to put archives
// in the scratch folder and a way to run out of memory.
#pragma once

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pak_builder.h"
#include "sample_archives.h"
#include "scripted_dialog.h"
#include "test_files.h"

// While it lives, the process may map only 64 MiB more address space than it
// has now: a larger allocation fails as on a machine out of memory, small ones
// still succeed. Under AddressSanitizer this relies on asan_allocation.cpp.
struct AddressSpaceLimit {
    AddressSpaceLimit()
    {
        rlim_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;   // first field: total program size
        EXPECT_EQ(::getrlimit(RLIMIT_AS, &previous), 0);
        rlimit limited = previous;
        limited.rlim_cur = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (rlim_t{64} << 20);
        EXPECT_EQ(::setrlimit(RLIMIT_AS, &limited), 0);
    }
    ~AddressSpaceLimit() { ::setrlimit(RLIMIT_AS, &previous); }
    rlimit previous{};
};

// `dir`/`name` in the scratch folder holding `bytes`; returns its full path.
inline std::string PutFile(const ScratchDir& scratch, const std::string& dir, const std::string& name,
                           const std::string& bytes)
{
    std::filesystem::create_directories(scratch / dir);
    WriteBytes(scratch / dir + "/" + name, bytes);
    return scratch / dir + "/" + name;
}
