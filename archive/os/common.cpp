// The parts of the file layer that are the same on every system: releasing
// buffers, and the ownership of inputs, outputs and folders.
#include "file_io.h"
#include "system_calls.h"

#include <cstdlib>
#include <new>
#include <utility>

bool HasNul(const std::string& text)
{
    return text.find('\0') != std::string::npos;
}

bool SameFile(const FileIdentity& a, const FileIdentity& b)
{
    return a.known && b.known && a.device == b.device && a.inode == b.inode;
}

void BufferFree::operator()(unsigned char* block) const noexcept
{
    std::free(block);
}

BufferPtr AllocateBuffer(std::size_t size)
{
    void* block = AllocateHugeBlock(size);
    if (!block)
        block = std::malloc(size == 0 ? 1 : size);
    if (!block)
        throw std::bad_alloc();
    return BufferPtr(static_cast<unsigned char*>(block));
}

// A moved-from input, output or folder holds nothing: its Native is a fresh one.

InputFile::InputFile(InputFile&& other) noexcept : m_native(std::exchange(other.m_native, Native{}))
{
}

InputFile& InputFile::operator=(InputFile&& other) noexcept
{
    if (this != &other) {
        Close();
        m_native = std::exchange(other.m_native, Native{});
    }
    return *this;
}

InputFile::~InputFile()
{
    Close();
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : m_native(std::exchange(other.m_native, Native{})), m_error(other.m_error)
{
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept
{
    if (this != &other) {
        Discard();
        m_native = std::exchange(other.m_native, Native{});
        m_error = other.m_error;
    }
    return *this;
}

OutputFile::~OutputFile()
{
    Discard();
}

OutputFolder::OutputFolder(OutputFolder&& other) noexcept
    : m_native(std::exchange(other.m_native, Native{})), m_current(std::exchange(other.m_current, false)),
      m_identity(other.m_identity), m_error(other.m_error)
{
}

OutputFolder& OutputFolder::operator=(OutputFolder&& other) noexcept
{
    if (this != &other) {
        Close();
        m_native = std::exchange(other.m_native, Native{});
        m_current = std::exchange(other.m_current, false);
        m_identity = other.m_identity;
        m_error = other.m_error;
    }
    return *this;
}

OutputFolder::~OutputFolder()
{
    Close();
}
