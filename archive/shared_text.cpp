// SharedText's block: the reference count and the text after it.
#include "shared_text.h"

#include <cstring>
#include <new>
#include <ostream>

// A table of millions of entries holds one pointer per entry for the folder.
static_assert(sizeof(SharedText) == sizeof(void*), "SharedText is one pointer");

SharedText::Block* SharedText::Make(std::string_view text)
{
    if (text.empty())
        return nullptr;
    if (text.size() > std::size_t(-1) - sizeof(Block) - 1)
        throw std::bad_alloc();
    void* memory = ::operator new(sizeof(Block) + text.size() + 1);
    Block* block = new (memory) Block{{1}, text.size()};
    char* chars = reinterpret_cast<char*>(block + 1);
    std::memcpy(chars, text.data(), text.size());
    chars[text.size()] = '\0';
    return block;
}

void SharedText::Free(Block* block) noexcept
{
    block->~Block();
    ::operator delete(block);
}

std::ostream& operator<<(std::ostream& out, const SharedText& text)
{
    return out << text.view();
}
