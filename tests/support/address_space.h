// Address-space limits, so that a test can run the code out of memory the
// way a full machine would. POSIX only: the callers are skipped elsewhere.
#pragma once

#ifndef _WIN32

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

// The address space this process has mapped now, in bytes (the first field
// of /proc/self/statm counts pages); 0 when it can't be read. Allocates
// nothing, so a child of fork may call it before it execs.
inline rlim_t AddressSpaceInUse()
{
    char text[64] = {};
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    rlim_t pages = 0;
    for (ssize_t i = 0; i < got && text[i] >= '0' && text[i] <= '9'; ++i)
        pages = pages * 10 + static_cast<rlim_t>(text[i] - '0');
    return pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
}

// From now on the process may map only `headroom` bytes of address space
// beyond what it has: a larger allocation fails as on a machine out of
// memory, small ones still succeed. The hard limit stays. Allocates nothing.
// False when the limit couldn't be set.
inline bool LimitAddressSpace(rlim_t headroom)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0)
        return false;
    limit.rlim_cur = AddressSpaceInUse() + headroom;
    return ::setrlimit(RLIMIT_AS, &limit) == 0;
}

// LimitAddressSpace while it lives (64 MiB of headroom unless told); the
// previous limit comes back after. Under AddressSanitizer the dialog tests
// rely on tests/ui/asan_allocation.cpp for this.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(rlim_t headroom = rlim_t{64} << 20)
    {
        EXPECT_EQ(::getrlimit(RLIMIT_AS, &m_previous), 0);
        EXPECT_TRUE(LimitAddressSpace(headroom));
    }
    ~AddressSpaceLimit() { ::setrlimit(RLIMIT_AS, &m_previous); }
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;

private:
    rlimit m_previous{};
};

#endif
