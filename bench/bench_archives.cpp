// Generates the benchmark's .pak archives and their tar and stored-zip twins.
#include "bench_archives.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "pak_builder.h"

namespace {

constexpr std::uint32_t kMiB = 1024 * 1024;
constexpr std::uint32_t kFixedTime = 1700000000;   // mtime of every tar member

struct Entry {
    std::uint32_t dir;    // index into the folder names; kNoDir at the top level
    std::string name;
    std::uint32_t size;
};
constexpr std::uint32_t kNoDir = 0xFFFFFFFF;

// splitmix64: small, fast and the same everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t Between(std::uint32_t low, std::uint32_t high)   // inclusive
    {
        return low + static_cast<std::uint32_t>(Next() % (std::uint64_t{high} - low + 1));
    }
    char Letter() { return static_cast<char>('a' + Next() % 26); }

private:
    std::uint64_t m_state;
};

std::string DirName(std::uint32_t index, std::uint32_t length = 7)
{
    char text[16];
    std::snprintf(text, sizeof text, "dir%04u", static_cast<unsigned>(index));
    std::string name = text;
    if (name.size() < length)
        name.append(length - name.size(), 'd');
    return name;
}

// Unique names: a fixed-width base-36 index, random letters, a three-letter
// extension (what makes a name record a file-name record).
std::vector<Entry> PlanEntries(const ArchiveShape& shape, Random& random)
{
    std::vector<Entry> entries(shape.entries);
    for (std::uint32_t i = 0; i < shape.entries; ++i) {
        Entry& entry = entries[i];
        // The first entry can't have a folder: a directory record only
        // applies to the entries after the one it is read with.
        entry.dir = i == 0 ? kNoDir
                           : static_cast<std::uint32_t>(std::uint64_t{i - 1} * shape.directories /
                                                        (shape.entries - 1));
        const std::uint32_t length = random.Between(shape.minNameLength, shape.maxNameLength);
        std::uint32_t index = i;
        for (int digit = 0; digit < 4; ++digit, index /= 36)
            entry.name.push_back("0123456789abcdefghijklmnopqrstuvwxyz"[index % 36]);
        while (entry.name.size() + 4 < length)
            entry.name.push_back(random.Letter());
        entry.name += '.';
        for (int k = 0; k < 3; ++k)
            entry.name.push_back(random.Letter());
        entry.size = random.Between(shape.minSize, shape.maxSize);
    }
    return entries;
}

std::string PathOf(const Entry& entry)
{
    return entry.dir == kNoDir ? entry.name : DirName(entry.dir) + "/" + entry.name;
}

// An entry's bytes depend only on the seed and its index.
void FillData(std::uint64_t seed, std::uint32_t index, unsigned char* data, std::uint32_t size)
{
    Random random(seed ^ (std::uint64_t{index} * 0xD6E8FEB86659FD93ull));
    std::uint32_t pos = 0;
    for (; pos + 8 <= size; pos += 8) {
        const std::uint64_t word = random.Next();
        std::memcpy(data + pos, &word, 8);
    }
    const std::uint64_t word = random.Next();
    std::memcpy(data + pos, &word, size - pos);
}

std::uint32_t Crc32(const unsigned char* data, std::size_t size)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void PutU16(std::string& out, std::uint32_t value)
{
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void PutU64(std::string& out, std::uint64_t value)
{
    PutU32(out, static_cast<std::uint32_t>(value));
    PutU32(out, static_cast<std::uint32_t>(value >> 32));
}

class Output {
public:
    explicit Output(const std::string& path) : m_path(path), m_file(std::fopen(path.c_str(), "wb"))
    {
        if (m_file)
            std::setvbuf(m_file, nullptr, _IOFBF, 1 << 20);
    }
    ~Output()
    {
        if (m_file)
            std::fclose(m_file);
    }
    void Write(const void* data, std::size_t size)
    {
        if (m_file && std::fwrite(data, 1, size, m_file) != size)
            m_ok = false;
        m_written += size;
    }
    void Write(const std::string& text) { Write(text.data(), text.size()); }
    std::uint64_t Written() const { return m_written; }
    bool Close()
    {
        const bool ok = m_file && m_ok && std::fclose(m_file) == 0;
        m_file = nullptr;
        if (!ok)
            std::fprintf(stderr, "pak_bench: can't write %s\n", m_path.c_str());
        return ok;
    }

private:
    std::string m_path;
    std::FILE* m_file;
    bool m_ok = true;
    std::uint64_t m_written = 0;
};

bool WritePak(const ArchiveShape& shape, const std::vector<Entry>& entries, std::uint64_t seed,
              const std::string& path, std::vector<unsigned char>& data)
{
    std::string names;
    std::uint32_t current = kNoDir;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i + 1 < entries.size() && entries[i + 1].dir != current) {
            current = entries[i + 1].dir;
            names += DirRecord(DirName(current, shape.directoryNameLength));
        }
        names += FileRecord(entries[i].name);
    }
    const std::uint64_t dataStart = 92 + 16ull * entries.size() + names.size();
    std::uint64_t total = 0;
    for (const Entry& entry : entries)
        total += entry.size;
    if (dataStart + total > 0xFFFFFFFFull) {
        std::fprintf(stderr, "pak_bench: %s would not fit in 4 GiB\n", shape.name.c_str());
        return false;
    }

    std::string head;
    PutU32(head, 4);                 // signature
    head.append(72, '\0');
    PutU32(head, shape.entries);     // N
    head.append(4, '\0');
    PutU32(head, static_cast<std::uint32_t>(dataStart));            // D
    PutU32(head, static_cast<std::uint32_t>(dataStart + total));    // S
    std::uint32_t offset = 0;
    for (const Entry& entry : entries) {
        PutU32(head, entry.size);
        PutU32(head, offset);
        head.append(8, '\0');
        offset += entry.size;
    }
    Output out(path);
    out.Write(head);
    out.Write(names);
    for (std::uint32_t i = 0; i < entries.size(); ++i) {
        FillData(seed, i, data.data(), entries[i].size);
        out.Write(data.data(), entries[i].size);
    }
    return out.Close();
}

// ustar header for `path` (at most 100 characters here).
std::string TarHeader(const std::string& path, std::uint64_t size, bool folder)
{
    std::string header(512, '\0');
    std::memcpy(&header[0], path.data(), path.size());
    std::snprintf(&header[100], 8, "%07o", folder ? 0755u : 0644u);
    std::snprintf(&header[108], 8, "%07o", 0u);
    std::snprintf(&header[116], 8, "%07o", 0u);
    std::snprintf(&header[124], 12, "%011llo", static_cast<unsigned long long>(size));
    std::snprintf(&header[136], 12, "%011o", kFixedTime);
    header[156] = folder ? '5' : '0';
    std::memcpy(&header[257], "ustar\0" "00", 8);
    std::memcpy(&header[265], "root", 4);
    std::memcpy(&header[297], "root", 4);
    std::memset(&header[148], ' ', 8);
    unsigned sum = 0;
    for (unsigned char c : header)
        sum += c;
    std::snprintf(&header[148], 8, "%06o", sum);
    header[155] = ' ';
    return header;
}

bool WriteTar(const std::vector<Entry>& entries, std::uint64_t seed, const std::string& path,
              std::vector<unsigned char>& data)
{
    Output out(path);
    std::uint32_t current = kNoDir;
    const char zeros[512] = {};
    for (std::uint32_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        if (entry.dir != kNoDir && entry.dir != current) {
            current = entry.dir;
            out.Write(TarHeader(DirName(current) + "/", 0, true));
        }
        out.Write(TarHeader(PathOf(entry), entry.size, false));
        FillData(seed, i, data.data(), entry.size);
        out.Write(data.data(), entry.size);
        out.Write(zeros, (512 - entry.size % 512) % 512);
    }
    out.Write(zeros, 512);
    out.Write(zeros, 512);
    return out.Close();
}

bool WriteZip(const std::vector<Entry>& entries, std::uint64_t seed, const std::string& path,
              std::vector<unsigned char>& data)
{
    constexpr std::uint32_t kDosTime = 0x6000;   // 12:00:00
    constexpr std::uint32_t kDosDate = 0x5761;   // 2023-11-01
    Output out(path);
    std::string central;
    std::uint64_t count = 0;
    auto add = [&](const std::string& name, const unsigned char* bytes, std::uint32_t size, bool folder) {
        const std::uint32_t crc = Crc32(bytes, size);
        const std::uint64_t localAt = out.Written();
        std::string local;
        PutU32(local, 0x04034b50);
        PutU16(local, 20);          // version needed
        PutU16(local, 0);           // flags
        PutU16(local, 0);           // stored
        PutU16(local, kDosTime);
        PutU16(local, kDosDate);
        PutU32(local, crc);
        PutU32(local, size);
        PutU32(local, size);
        PutU16(local, static_cast<std::uint32_t>(name.size()));
        PutU16(local, 0);
        local += name;
        out.Write(local);
        out.Write(bytes, size);

        PutU32(central, 0x02014b50);
        PutU16(central, 0x0314);    // made by: Unix, 2.0
        PutU16(central, 20);
        PutU16(central, 0);
        PutU16(central, 0);
        PutU16(central, kDosTime);
        PutU16(central, kDosDate);
        PutU32(central, crc);
        PutU32(central, size);
        PutU32(central, size);
        PutU16(central, static_cast<std::uint32_t>(name.size()));
        PutU16(central, 0);         // extra
        PutU16(central, 0);         // comment
        PutU16(central, 0);         // disk
        PutU16(central, 0);         // internal attributes
        PutU32(central, folder ? (040755u << 16) | 0x10 : 0100644u << 16);
        PutU32(central, static_cast<std::uint32_t>(localAt));
        central += name;
        ++count;
    };
    std::uint32_t current = kNoDir;
    for (std::uint32_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        if (entry.dir != kNoDir && entry.dir != current) {
            current = entry.dir;
            add(DirName(current) + "/", nullptr, 0, true);
        }
        FillData(seed, i, data.data(), entry.size);
        add(PathOf(entry), data.data(), entry.size, false);
    }
    const std::uint64_t centralAt = out.Written();
    out.Write(central);
    std::string end;
    if (count > 0xFFFF) {   // zip64 end records carry the count
        const std::uint64_t zip64At = out.Written();
        PutU32(end, 0x06064b50);
        PutU64(end, 44);
        PutU16(end, 0x0314);
        PutU16(end, 45);
        PutU32(end, 0);
        PutU32(end, 0);
        PutU64(end, count);
        PutU64(end, count);
        PutU64(end, central.size());
        PutU64(end, centralAt);
        PutU32(end, 0x07064b50);
        PutU32(end, 0);
        PutU64(end, zip64At);
        PutU32(end, 1);
    }
    const std::uint32_t shortCount = count > 0xFFFF ? 0xFFFF : static_cast<std::uint32_t>(count);
    PutU32(end, 0x06054b50);
    PutU16(end, 0);
    PutU16(end, 0);
    PutU16(end, shortCount);
    PutU16(end, shortCount);
    PutU32(end, static_cast<std::uint32_t>(central.size()));
    PutU32(end, static_cast<std::uint32_t>(centralAt));
    PutU16(end, 0);
    out.Write(end);
    return out.Close();
}

} // namespace

ArchiveShape ManyShape()
{
    return {"many", 100000, 1000, 0, 8 * 1024, 8, 40};
}

ArchiveShape LargeShape()
{
    return {"large", 16, 2, 64 * kMiB, 64 * kMiB, 8, 40};
}

ArchiveShape TableShape()
{
    return {"table", 1000000, 2000, 0, 64, 8, 40};
}

ArchiveShape LongDirectoriesShape()
{
    return {"long-directories", 1000000, 1, 0, 0, 8, 8, 511, false};
}

ArchiveShape ShapeNamed(const std::string& name)
{
    for (const ArchiveShape& shape : {ManyShape(), LargeShape(), LongDirectoriesShape()}) {
        if (shape.name == name)
            return shape;
    }
    return TableShape();
}

bool GenerateArchives(const ArchiveShape& shape, std::uint64_t seed, const std::string& folder)
{
    Random random(seed);
    const std::vector<Entry> entries = PlanEntries(shape, random);
    std::vector<unsigned char> data(shape.maxSize + 8);
    const std::string stem = folder + "/" + shape.name;
    return WritePak(shape, entries, seed, stem + ".pak", data) &&
           (!shape.twins || (WriteTar(entries, seed, stem + ".tar", data) && WriteZip(entries, seed, stem + ".zip", data)));
}
