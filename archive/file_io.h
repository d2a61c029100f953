// The file layer: the only code that calls the operating system's file API.
// Everything above it uses buffered std::FILE streams handed out from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

struct FileCloser {
    void operator()(std::FILE* file) const noexcept;
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Memory for copying an entry. Large blocks are asked for in huge pages,
// which copy markedly faster. Throws std::bad_alloc when it can't be had.
struct BufferFree {
    void operator()(unsigned char* block) const noexcept;
};
using BufferPtr = std::unique_ptr<unsigned char[], BufferFree>;
BufferPtr AllocateBuffer(std::size_t size);

// Which file an open stream is, so that outputs can refuse to replace it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool known = false;
};

// Size of the buffer that OpenForReading's caller supplies.
constexpr std::size_t kReadBufferSize = 128 * 1024;

// Opens a regular file for binary reading ("rb"), buffered through `buffer`
// (kReadBufferSize bytes, which must outlive the stream). Anything else (a
// folder, a FIFO, a device) is refused at once, without waiting for a writer.
// On success fills `identity` and `length` (the file's size at this moment).
FilePtr OpenForReading(const std::string& path, char* buffer, FileIdentity& identity, std::uint64_t& length);

// One byte from a stream that only the calling thread uses; EOF at its end.
inline int ReadByte(std::FILE* file)
{
    return getc_unlocked(file);
}

// Absolute seek with a 64-bit position. A stream already there, or a few
// bytes short of it, gets there without a system call.
bool SeekTo(std::FILE* file, std::uint64_t pos);

// Reads up to `count` bytes. Returns how many arrived; `failed` becomes true
// when the stream reported an error other than end of file.
std::size_t ReadBlock(std::FILE* file, void* buffer, std::size_t count, bool& failed);

// Flushes and closes `file`. False when a write, the flush or the close failed.
bool CloseChecked(FilePtr file);

// A folder that outputs are created in: the current directory, or one level
// below it. Created files never pass through a symbolic link and never
// replace the file named by `protect`.
class OutputFolder {
public:
    // The process's current directory as it is at each later call.
    static OutputFolder Current();
    // `name` in the current directory, created when missing. Invalid when it
    // can't be created or opened, is not a folder, or is a symbolic link.
    static OutputFolder Subfolder(const std::string& name);
    // A folder that exists already, found the usual way (links followed).
    static OutputFolder Existing(const std::string& path);
    // Invalid.
    OutputFolder() = default;

    OutputFolder(OutputFolder&& other) noexcept;
    OutputFolder& operator=(OutputFolder&& other) noexcept;
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;
    ~OutputFolder();

    bool Valid() const;

    // True when `name` in the current directory is still this very folder
    // (not replaced, removed, or a link), so it can be used again as it is.
    bool IsStill(const std::string& name) const;

    // Creates or truncates `name` for binary writing ("wb"). Null when the
    // name is a symbolic link, is not a regular file, is `protect` itself, or
    // can't be created. The stream is unbuffered: callers write whole blocks.
    FilePtr Create(const std::string& name, const FileIdentity& protect) const;

    // Removes `name` (used for an output that could not be completed).
    void Remove(const std::string& name) const;

private:
    OutputFolder(int fd, const FileIdentity& identity) : m_fd(fd), m_identity(identity) {}
    int m_fd = -1;
    FileIdentity m_identity;
};
