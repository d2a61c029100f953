// Archives the UI tests open, written into a scratch folder.
#pragma once

#include <QString>

#include <filesystem>
#include <string>

#include "pak_builder.h"
#include "test_files.h"

// Two entries from D = 200 on, S = 209: "hello" as a.txt, then "maps" as maps/b.dat.
inline std::string TwoEntries()
{
    return PakBuilder()
        .Header(/*numFiles=*/2, /*dataStart=*/200, /*size=*/209)
        .TableRecord(/*offset=*/0, /*size=*/5)
        .TableRecord(/*offset=*/5, /*size=*/4)
        .Dir("maps").File("a.txt").File("b.dat")
        .DataAt(200, "hello").DataAt(205, "maps")
        .Bytes();
}

// `dir`/`name` holding `bytes`; returns its full path.
inline QString Put(const ScratchDir& scratch, const std::string& dir, const std::string& name,
                   const std::string& bytes)
{
    std::filesystem::create_directories(scratch / dir);
    WriteBytes(scratch / dir + "/" + name, bytes);
    return QString::fromStdString(scratch / dir + "/" + name);
}

// An archive of `entries` entries, declared size 65536, whose file is exactly
// as long as its table (the table's bytes are a hole of zeros on disk).
// Loading it needs sizeof(PakEntry) bytes an entry.
inline QString HugeTable(const ScratchDir& scratch, const std::string& name, std::uint32_t entries)
{
    const QString path = Put(scratch, ".", name, PakBuilder().Header(entries, 200, 0x10000).Bytes());
    std::filesystem::resize_file(path.toStdString(), 92 + 16ull * entries);
    return path;
}
