// One hostile input run through what the dialog's open and "Extract All"
// commands do, with checks on everything the archive code left behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Inputs above this size are not run: a larger file adds cost, not coverage.
constexpr std::size_t kMaxInputSize = std::size_t{1} << 20;

// Writes `data` as an archive into an empty scratch folder, makes that folder
// the current directory and runs OpenArchive, AllocateTable, LoadTable,
// WriteScanLog and ExtractEntry for every entry. Then checks the results, the
// header values and table fields against the input, that every file found was
// one the archive asked for, in its folder and with its bytes, that nothing
// beside the folder changed and that no file stayed open. The table is also
// written back by the library's writer, canonically (the entries it takes)
// and laid out anew like the input (ReadPakOriginal, LayOutPakLike), and
// must read back as the same entries. The folder is emptied again and the
// previous current directory restored.
// Empty when every check holds; otherwise what went wrong.
std::string RunArchiveInput(const std::uint8_t* data, std::size_t size);
