// Under AddressSanitizer, operator new ends the process when memory runs out
// instead of throwing std::bad_alloc, whatever the options say. The
// out-of-memory tests need the throw, so in a sanitizer build this test
// program's operator new and delete go through malloc and free, which the
// sanitizer still watches, and operator new throws by itself.
#if defined(__SANITIZE_ADDRESS__)
#define PAK_UI_TESTS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PAK_UI_TESTS_ASAN 1
#endif
#endif

#ifdef PAK_UI_TESTS_ASAN

#include <cstdlib>
#include <new>

namespace {

void* Allocate(std::size_t size)
{
    if (void* block = std::malloc(size == 0 ? 1 : size))
        return block;
    throw std::bad_alloc();
}

void* AllocateOrNull(std::size_t size) noexcept
{
    return std::malloc(size == 0 ? 1 : size);
}

} // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

#endif
