// Archive bytes for tests, the fuzz corpus and benchmarks.
#include "pak_builder.h"

#include "pak_writer.h"

#include <stdexcept>

std::string FileRecord(const std::string& name)
{
    return std::string(2, '\0') + std::string(name.rbegin(), name.rend()) + '\0';
}

std::string DirRecord(const std::string& dir)
{
    return std::string(dir.rbegin(), dir.rend()) + '\0';
}

void PutU32(std::string& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

PakBuilder& PakBuilder::Signature(std::uint32_t value)
{
    m_signature = value;
    return *this;
}

PakBuilder& PakBuilder::Header(std::uint32_t numFiles, std::uint32_t dataStart, std::uint32_t size)
{
    m_numFiles = numFiles;
    m_dataStart = dataStart;
    m_size = size;
    return *this;
}

PakBuilder& PakBuilder::TableRecord(std::uint32_t offset, std::uint32_t size)
{
    PutU32(m_table, size);     // +0 size
    PutU32(m_table, offset);   // +4 offset relative to the data start
    m_table.append(8, '\x5A'); // +8..15 not read
    return *this;
}

PakBuilder& PakBuilder::Dir(const std::string& dir)
{
    m_names += DirRecord(dir);
    return *this;
}

PakBuilder& PakBuilder::File(const std::string& name)
{
    m_names += FileRecord(name);
    return *this;
}

PakBuilder& PakBuilder::Raw(const std::string& nameAreaBytes)
{
    m_names += nameAreaBytes;
    return *this;
}

PakBuilder& PakBuilder::DataAt(std::uint32_t pos, const std::string& bytes)
{
    m_data.emplace_back(pos, bytes);
    return *this;
}

std::string PakBuilder::Bytes() const
{
    std::string out;
    PutU32(out, m_signature);        // 0: signature
    out.append(72, '\x11');          // 4..75: not read
    PutU32(out, m_numFiles);         // 76: entry count N
    out.append(4, '\x22');           // 80..83: not read
    PutU32(out, m_dataStart);        // 84: data start D
    PutU32(out, m_size);             // 88: declared size S
    out += m_table;                  // 92: 16-byte records
    out += m_names;                  // then the name area
    for (const auto& [pos, bytes] : m_data) {
        if (out.size() < pos + bytes.size())
            out.resize(pos + bytes.size(), '\0');
        out.replace(pos, bytes.size(), bytes);
    }
    return out;
}

std::string ArchiveOf(const std::vector<PakItem>& items)
{
    std::vector<PakInput> inputs;
    for (std::size_t i = 0; i < items.size(); ++i) {
        // Tests may want folder names that the writer refuses as too short
        // for every reader, but this one reads any record of three.
        if (i > 0 && items[i].dir != items[i - 1].dir && items[i].dir.size() < 3)
            throw std::invalid_argument("a directory record needs three characters: '" + items[i].dir + "'");
        PakInput input;
        input.dir = items[i].dir;
        input.name = items[i].name;
        input.size = items[i].data.size();
        inputs.push_back(std::move(input));
    }
    const PakLayout layout = LayOutPak(inputs);
    std::string bytes = layout.head;
    for (const PakItem& item : items)
        bytes += item.data;
    bytes.resize(layout.archiveSize, '\0');
    return bytes;
}
