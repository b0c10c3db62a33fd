#include "platform/memory.h"

#include <cstdint>
#include <sys/mman.h>

namespace platform {

void adviseLargeBuffer(void* data, std::size_t size) {
  constexpr std::uintptr_t hugePage = 2u << 20;
  if (size < 2 * hugePage) return;
  constexpr std::uintptr_t page = 4096;
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t start = (begin + page - 1) & ~(page - 1);
  const std::uintptr_t end = (begin + size) & ~(page - 1);
  if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

}  // namespace platform
