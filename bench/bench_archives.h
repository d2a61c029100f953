// The benchmark's archives: a .pak and its tar and stored-zip equivalents,
// generated from a fixed seed.
#pragma once

#include <cstdint>
#include <string>

struct ArchiveShape {
    std::string name;              // file stem: many, large, table, long-directories
    std::uint32_t entries;
    std::uint32_t directories;     // entries are spread evenly over them
    std::uint32_t minSize, maxSize;
    std::uint32_t minNameLength, maxNameLength;   // with the three-letter extension
    std::uint32_t directoryNameLength = 7;        // "dir0000", or padded with 'd' to this length
    bool twins = true;             // also a tar and a zip (their headers hold short paths only)
};

ArchiveShape ManyShape();    // 100,000 entries, 1,000 directories, 0-8 KiB
ArchiveShape LargeShape();   // 16 entries of 64 MiB
ArchiveShape TableShape();   // 1,000,000 entries, 2,000 directories, 0-64 bytes
// 1,000,000 empty entries with 8-character names, all but the first in one
// directory of 511 characters (the longest a record keeps); no twins.
ArchiveShape LongDirectoriesShape();

// The shape called `name`; TableShape() for an unknown name.
ArchiveShape ShapeNamed(const std::string& name);

// Writes <folder>/<name>.pak and, for shapes with twins, .tar and .zip with
// the same paths and bytes. Returns false (with a message on stderr) when a
// file can't be written.
bool GenerateArchives(const ArchiveShape& shape, std::uint64_t seed, const std::string& folder);
