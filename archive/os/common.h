// What the shared part of the file layer needs from each system's part.
#pragma once

#include <cstdint>
#include <cstdio>

// The stream's position in 64 bits. False when the system can't tell it.
bool StreamTell(std::FILE* file, std::uint64_t& pos);

// An absolute seek in 64 bits (always a system call).
bool StreamSeek(std::FILE* file, std::uint64_t pos);
