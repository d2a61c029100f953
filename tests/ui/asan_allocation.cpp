// Under AddressSanitizer an allocation that can't be had must fail as it does
// without it, so that the out-of-memory tests reach the program's handling:
// malloc returns null (ASAN_OPTIONS still apply on top), and operator new,
// which the sanitizer would otherwise end the process in, goes through malloc
// and free, which it still watches, and throws. Without the sanitizer this
// file is empty.
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

extern "C" __attribute__((used)) const char* __asan_default_options()
{
    return "allocator_may_return_null=1";
}

static void* Allocate(std::size_t size)
{
    if (void* block = std::malloc(size == 0 ? 1 : size))
        return block;
    throw std::bad_alloc();
}
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
#endif
