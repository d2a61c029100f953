// What an open archive holds in the file layer's terms, for the archive
// library's own sources.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "file_io.h"

struct ExtractFailure;

struct ArchiveFile {
    // Declared before m_file: the stream's buffer outlives the stream.
    std::unique_ptr<char[]> m_readBuffer;
    FilePtr m_file;
    FileIdentity m_fileId;
    std::uint64_t m_fileLength = 0;   // the archive file's size when it was opened
    BufferPtr m_copyBuffer;
    std::size_t m_copyCapacity = 0;
    bool m_copyCallUsable = true;   // OutputFile::CopyFrom's, for this archive
    // The folder the previous entry went to, kept open for the next one.
    OutputFolder m_outFolder;
    std::string m_outFolderName;
};

// An output's or its folder's failure in the terms of ExtractFailure.
ExtractFailure FailureOf(const FileError& error);
