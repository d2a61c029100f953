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

// Which file an open stream is, so that outputs can refuse to replace it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool known = false;
};

// Opens a regular file for binary reading ("rb"). Anything else (a folder, a
// FIFO, a device) is refused at once, without waiting for a writer. On success
// fills `identity` and `length` (the file's size at this moment).
FilePtr OpenForReading(const std::string& path, FileIdentity& identity, std::uint64_t& length);

// One byte from a stream that only the calling thread uses; EOF at its end.
inline int ReadByte(std::FILE* file)
{
    return getc_unlocked(file);
}

// Absolute seek with a 64-bit position.
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

    OutputFolder(OutputFolder&& other) noexcept;
    OutputFolder& operator=(OutputFolder&& other) noexcept;
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;
    ~OutputFolder();

    bool Valid() const;

    // Creates or truncates `name` for binary writing ("wb"). Null when the
    // name is a symbolic link, is not a regular file, is `protect` itself, or
    // can't be created.
    FilePtr Create(const std::string& name, const FileIdentity& protect) const;

    // Removes `name` (used for an output that could not be completed).
    void Remove(const std::string& name) const;

private:
    explicit OutputFolder(int fd) : m_fd(fd) {}
    int m_fd;
};
