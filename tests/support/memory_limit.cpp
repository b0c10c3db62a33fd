#include "tests/support/memory_limit.h"

#include <sys/resource.h>

#include <fstream>
#include <stdexcept>
#include <string>

namespace testing_support {

void limitAddressSpaceGrowth(std::size_t bytes) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmSize:", 0) != 0) continue;
    const rlim_t mapped = std::stoull(line.substr(7)) * 1024;
    const rlimit limit{mapped + bytes, mapped + bytes};
    if (setrlimit(RLIMIT_AS, &limit) != 0) throw std::runtime_error("setrlimit failed");
    return;
  }
  throw std::runtime_error("no VmSize in /proc/self/status");
}

}  // namespace testing_support
