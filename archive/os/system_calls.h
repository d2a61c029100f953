// Inside the file layer: what each system's part (posix.cpp, win32.cpp)
// supplies to the part every system shares (common.cpp), and the helpers
// that common.cpp supplies to both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Supplied by each system's part.

// The stream's position in 64 bits. False when the system can't tell it.
bool StreamTell(std::FILE* file, std::uint64_t& pos);

// An absolute seek in 64 bits (always a system call).
bool StreamSeek(std::FILE* file, std::uint64_t pos);

// A block of `size` bytes in the system's huge pages, to be freed with
// std::free; nullptr when the system takes no such block for this size.
// Throws std::bad_alloc when it should but can't.
void* AllocateHugeBlock(std::size_t size);

// Supplied by common.cpp.

// Whether `text` holds a NUL, which no name given to the system can.
bool HasNul(const std::string& text);
