#pragma once
// A bound on memory that does not depend on timing: the address space of this process may
// grow by at most `bytes` from now on (setrlimit RLIMIT_AS over what is mapped already, so it
// also works under AddressSanitizer's large reservations). Call it in a child process, such
// as the statement of a death test.
#include <cstddef>

namespace testing_support {

void limitAddressSpaceGrowth(std::size_t bytes);

}  // namespace testing_support
