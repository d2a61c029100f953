// Inside the file layer: what each system's part (posix.cpp, win32.cpp)
// supplies to the part every system shares (common.cpp), and the helpers
// that common.cpp supplies to both.
#pragma once

#include <cstddef>
#include <string>

// Supplied by each system's part.

// A block of `size` bytes in the system's huge pages, to be freed with
// std::free; nullptr when the system takes no such block for this size.
// Throws std::bad_alloc when it should but can't.
void* AllocateHugeBlock(std::size_t size);

// Supplied by common.cpp.

// Whether `text` holds a NUL, which no name given to the system can.
bool HasNul(const std::string& text);

// SameFileKey of a name from its characters: bytes, or UTF-16 on Windows.
std::string SameFileKeyOf(const char* units, std::size_t count);
std::string SameFileKeyOf(const wchar_t* units, std::size_t count);
