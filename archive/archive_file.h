// What an open archive holds in the file layer's terms, and what extraction
// keeps from entry to entry, for the archive library's own sources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "file_io.h"

struct ExtractFailure;

// What one extracting thread keeps from entry to entry.
struct ExtractorState {
    // At most 2 MiB: small entries are read into it together with what
    // follows them, large ones copied through it block by block.
    BufferPtr buffer;
    std::size_t capacity = 0;
    // What the buffer holds of an archive: `windowGot` bytes from
    // `windowPos` of the archive opened as `windowSerial` (0: nothing).
    std::uint64_t windowSerial = 0;
    std::uint64_t windowPos = 0;
    std::size_t windowGot = 0;
    bool copyCallUsable = true;   // OutputFile::CopyFrom's
    // The folder the previous entry went to, kept open for the next one.
    OutputFolder folder;
    std::string folderName;
};

struct ArchiveFile {
    InputFile file;
    FileIdentity id;
    std::uint64_t length = 0;   // the archive file's size when it was opened
    std::uint64_t serial = 0;   // tells this open from every other in the process
    ExtractorState extractor;   // ExtractEntry's
};

// An output's or its folder's failure in the terms of ExtractFailure.
ExtractFailure FailureOf(const FileError& error);
