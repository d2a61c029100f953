// Builds archive bytes in memory for tests, the fuzz corpus and benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Name records as an archive stores them: texts reversed, a file name behind
// two throw-away characters (written as 0x00, which reads as 'f'), each
// ended by 0x00.
std::string FileRecord(const std::string& name);
std::string DirRecord(const std::string& dir);

// Appends a little-endian u32.
void PutU32(std::string& out, std::uint32_t value);

class PakBuilder {
public:
    PakBuilder& Signature(std::uint32_t value);
    PakBuilder& Header(std::uint32_t numFiles, std::uint32_t dataStart, std::uint32_t size);
    PakBuilder& TableRecord(std::uint32_t offset, std::uint32_t size);
    PakBuilder& Dir(const std::string& dir);
    PakBuilder& File(const std::string& name);
    PakBuilder& Raw(const std::string& nameAreaBytes);
    // Places bytes at an absolute position, padding with zeros up to it.
    PakBuilder& DataAt(std::uint32_t pos, const std::string& bytes);

    std::string Bytes() const;

private:
    std::uint32_t m_signature = 4;
    std::uint32_t m_numFiles = 0;
    std::uint32_t m_dataStart = 0;
    std::uint32_t m_size = 0;
    std::string m_table;
    std::string m_names;
    std::vector<std::pair<std::uint32_t, std::string>> m_data;
};

// One entry of ArchiveOf: its directory ("" for none), name and bytes.
struct PakItem {
    std::string dir;
    std::string name;
    std::string data;
};

// The archive of the items in the library writer's canonical layout (see
// LayOutPak): the data right after the name area, one item after another,
// the declared size the file's. The first item has no directory; a later one
// whose directory differs from the one before it gets a directory record,
// which needs three characters at least (otherwise std::invalid_argument is
// thrown). Names are not checked otherwise: the writer's rules for every
// reader are stricter.
std::string ArchiveOf(const std::vector<PakItem>& items);
