// The address space limit behind the out-of-memory tests.
#include "address_space_limit.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace {

std::size_t MappedBytes()
{
    std::size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;   // first field: total program size
    return pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

} // namespace

AddressSpaceLimit::AddressSpaceLimit(std::size_t headroom)
{
    if (::getrlimit(RLIMIT_AS, &m_previous) != 0)
        throw std::runtime_error("getrlimit failed");
    rlimit limited = m_previous;
    limited.rlim_cur = MappedBytes() + headroom;
    if (::setrlimit(RLIMIT_AS, &limited) != 0)
        throw std::runtime_error("setrlimit failed");
}

AddressSpaceLimit::~AddressSpaceLimit()
{
    ::setrlimit(RLIMIT_AS, &m_previous);
}

bool AddressSpaceLimit::Refuses(std::size_t size)
{
    void* block = nullptr;
    if (::posix_memalign(&block, sizeof(void*), size) != 0)
        return true;
    std::free(block);
    return false;
}
