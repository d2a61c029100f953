// The parts of the file layer that are the same on every system: releasing
// buffers, and the ownership of inputs, outputs and folders.
#include "file_io.h"
#include "system_calls.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>

namespace {

// A character that stands for a run of characters beyond ASCII in a key; no
// character of ASCII becomes it.
constexpr char kMark = '\x80';

bool IsAsciiLetter(std::uint32_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Whether a combining accent (U+0300 to U+036F) starts at `units[i]`: in
// UTF-16 one unit, in UTF-8 the bytes CC 80-BF or CD 80-AF.
template <typename Unit>
bool IsCombiningAccent(const Unit* units, std::size_t i, std::size_t count)
{
    const auto code = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Unit>>(units[at]));
    };
    if (sizeof(Unit) > 1)
        return code(i) >= 0x300 && code(i) <= 0x36F;
    return i + 1 < count && (code(i) == 0xCC || (code(i) == 0xCD && code(i + 1) <= 0xAF)) && code(i + 1) >= 0x80 &&
           code(i + 1) <= 0xBF;
}

template <typename Unit>
std::string KeyOf(const Unit* units, std::size_t count)
{
    const auto code = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Unit>>(units[at]));
    };
    while (count > 0 && (code(count - 1) == '.' || code(count - 1) == ' '))
        --count;
    std::string key;
    key.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t c = code(i);
        if (c >= 'a' && c <= 'z')
            c -= 'a' - 'A';
        if (c < 0x80 && c != 'I' && c != 'S' && c != 'K') {
            key.push_back(static_cast<char>(c));
            continue;
        }
        if (!key.empty() && key.back() == kMark)
            continue;   // one mark for the whole run
        // A letter and the accent after it may be one character elsewhere.
        if (!key.empty() && IsAsciiLetter(static_cast<unsigned char>(key.back())) && IsCombiningAccent(units, i, count))
            key.back() = kMark;
        else
            key.push_back(kMark);
    }
    return key;
}

} // namespace

bool HasNul(const std::string& text)
{
    return text.find('\0') != std::string::npos;
}

std::string SameFileKeyOf(const char* units, std::size_t count)
{
    return KeyOf(units, count);
}

std::string SameFileKeyOf(const wchar_t* units, std::size_t count)
{
    return KeyOf(units, count);
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
      m_closeReportsNothing(other.m_closeReportsNothing), m_identity(other.m_identity), m_error(other.m_error)
{
}

OutputFolder& OutputFolder::operator=(OutputFolder&& other) noexcept
{
    if (this != &other) {
        Close();
        m_native = std::exchange(other.m_native, Native{});
        m_current = std::exchange(other.m_current, false);
        m_closeReportsNothing = other.m_closeReportsNothing;
        m_identity = other.m_identity;
        m_error = other.m_error;
    }
    return *this;
}

OutputFolder::~OutputFolder()
{
    Close();
}
