// What the dialog tests share with or without Qt: the archives they open, a
// way to put them in the scratch folder and a way to run out of memory.
#pragma once

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "address_space.h"   // AddressSpaceLimit
#include "pak_builder.h"
#include "test_files.h"

using Log = std::vector<std::string>;

// Two entries from D = 200 on, S = 209: "hello" as a.txt, then "maps" as maps/b.dat.
inline std::string TwoEntries()
{
    return PakBuilder()
        .Header(/*numFiles=*/2, /*dataStart=*/200, /*size=*/209)
        .TableRecord(0, 5).TableRecord(5, 4)
        .Dir("maps").File("a.txt").File("b.dat")
        .DataAt(200, "hello").DataAt(205, "maps")
        .Bytes();
}

// `dir`/`name` in the scratch folder holding `bytes`; returns its full path.
inline std::string PutFile(const ScratchDir& scratch, const std::string& dir, const std::string& name,
                           const std::string& bytes)
{
    std::filesystem::create_directories(scratch / dir);
    WriteBytes(scratch / dir + "/" + name, bytes);
    return scratch / dir + "/" + name;
}
