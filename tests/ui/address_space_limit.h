// Makes large allocations fail, so that tests can reach the code that handles
// running out of memory, whichever allocator the code uses.
#pragma once

#include <sys/resource.h>

#include <cstddef>

// While it lives, the process may map only `headroom` more bytes of address
// space than it has now: an allocation larger than that fails as it would on
// a machine out of memory, small ones still succeed. Under AddressSanitizer
// this needs allocator_may_return_null=1 (ui_test_main.cpp) and an operator
// new that throws (asan_operator_new.cpp).
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(std::size_t headroom);
    ~AddressSpaceLimit();
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;

    // True when an allocation of `size` bytes now fails.
    static bool Refuses(std::size_t size);

private:
    rlimit m_previous{};
};
