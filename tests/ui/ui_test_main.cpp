// Runs the UI tests offscreen with one QApplication for the whole process.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

#include <cstdlib>
#include <new>

int main(int argc, char** argv)
{
    // No display is needed or used; Qt's own state (the file chooser's
    // history) goes to a test location instead of the user's.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Under AddressSanitizer an allocation that can't be had must fail as it does
// without it, so that the out-of-memory tests reach the program's handling:
// malloc returns null (ASAN_OPTIONS still apply on top), and operator new,
// which the sanitizer would otherwise end the process in, goes through malloc
// and free, which it still watches, and throws.
#if defined(__SANITIZE_ADDRESS__)
#define PAK_UI_TESTS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PAK_UI_TESTS_ASAN 1
#endif
#endif
#ifdef PAK_UI_TESTS_ASAN
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
