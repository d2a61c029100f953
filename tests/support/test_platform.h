// The system calls the tests use to set up folders, links and files. On
// POSIX systems these are the system's own headers; on Windows the same
// names are made from the Win32 and C runtime calls, where a counterpart
// exists. Tests that need what only POSIX has (fork, resource limits,
// capabilities, FIFOs) check kPosixSystem and are skipped elsewhere.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdint>

inline int mkdir(const char* path, int /*mode*/)
{
    return ::_mkdir(path);
}

// Windows shows no symbolic link to what the tests use it for, so lstat is
// stat here; a reparse point is looked at with IsReparsePoint instead.
inline int lstat(const char* path, struct stat* st)
{
    return ::stat(path, st);
}

inline int link(const char* existing, const char* name)
{
    return ::CreateHardLinkA(name, existing, nullptr) ? 0 : -1;
}

// A symbolic link, to a folder when `target` is one. -1 when the account
// may not make links, and also where the call claims success but makes
// nothing (as Wine 8 does).
inline int symlink(const char* target, const char* name)
{
    const DWORD targetAttributes = ::GetFileAttributesA(target);
    DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    if (targetAttributes != INVALID_FILE_ATTRIBUTES && (targetAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
    if (!::CreateSymbolicLinkA(name, target, flags))
        return -1;
    const DWORD made = ::GetFileAttributesA(name);
    return made != INVALID_FILE_ATTRIBUTES && (made & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? 0 : -1;
}

inline int mkfifo(const char* /*path*/, int /*mode*/)
{
    errno = ENOSYS;
    return -1;
}

inline long long pwrite(int fd, const void* data, unsigned size, long long pos)
{
    return ::_lseeki64(fd, pos, SEEK_SET) < 0 ? -1 : ::_write(fd, data, size);
}

inline long long pread(int fd, void* data, unsigned size, long long pos)
{
    return ::_lseeki64(fd, pos, SEEK_SET) < 0 ? -1 : ::_read(fd, data, size);
}

// No resource limits here; the name only keeps POSIX-only tests compiling.
constexpr unsigned long RLIM_INFINITY = ~0ul;

inline unsigned alarm(unsigned)
{
    return 0;
}

inline int truncate(const char* path, long long length)
{
    const int fd = ::_open(path, _O_WRONLY | _O_BINARY);
    if (fd < 0)
        return -1;
    const int result = ::_chsize_s(fd, length) == 0 ? 0 : -1;
    ::_close(fd);
    return result;
}

#else

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#endif

// True on systems with fork, resource limits, capabilities and FIFOs.
#ifdef _WIN32
constexpr bool kPosixSystem = false;
#else
constexpr bool kPosixSystem = true;
#endif

// Skips the rest of a test that stands on what only POSIX systems have.
#define SKIP_UNLESS_POSIX(what) \
    if (!kPosixSystem)          \
    GTEST_SKIP() << what << " exist only on POSIX systems"
