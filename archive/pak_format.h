// Byte layout of a Corvane ".pak" archive: header fields, table records, name records.
#pragma once

#include <cstddef>
#include <cstdint>

// Header: 92 bytes, little-endian u32 fields read by absolute position.
constexpr std::uint32_t kSignature = 4;        // at offset 0
constexpr std::size_t kNumFilesAt = 76;        // entry count N
constexpr std::size_t kDataStartAt = 84;       // data start D
constexpr std::size_t kArchiveSizeAt = 88;     // declared size S
constexpr std::uint64_t kHeaderSize = 92;

// Table: record i at 92 + 16*i holds size (+0) and offset (+4); +8..15 unused.
constexpr std::uint64_t kTableOffset = kHeaderSize;
constexpr std::uint64_t kTableRecordSize = 16;
constexpr std::uint64_t kRecordOffsetField = 4;

// Name records: a 0x00 at positions 0-2 reads as 'f' and doesn't end the
// record; a record's text keeps at most 511 characters (512 with terminator).
constexpr std::size_t kRecordKeep = 511;
constexpr std::size_t kRecordBuffer = kRecordKeep + 1;
constexpr std::size_t kFirstTerminatorPos = 3;
constexpr std::size_t kKindPos = 5;            // '.' here marks a file-name record
constexpr std::size_t kNamePrefix = 2;         // file-name records drop positions 0 and 1

// Little-endian u32 from four bytes.
inline std::uint32_t LoadU32(const unsigned char* b)
{
    return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
           std::uint32_t{b[3]} << 24;
}
