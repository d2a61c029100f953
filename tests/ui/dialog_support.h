// What the Linux dialog tests share with or without Qt: the archives they
// open and the scripted dialog (both also on Windows), a way to put archives
// in the scratch folder and a way to run out of memory.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "address_space.h"   // AddressSpaceLimit
#include "pak_builder.h"
#include "sample_archives.h"
#include "scripted_dialog.h"
#include "test_files.h"

// `dir`/`name` in the scratch folder holding `bytes`; returns its full path.
inline std::string PutFile(const ScratchDir& scratch, const std::string& dir, const std::string& name,
                           const std::string& bytes)
{
    std::filesystem::create_directories(scratch / dir);
    WriteBytes(scratch / dir + "/" + name, bytes);
    return scratch / dir + "/" + name;
}
