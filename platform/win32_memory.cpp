#include "platform/memory.h"

namespace platform {

// Large pages on Windows need a privilege users do not have; the hint is not needed there.
void adviseLargeBuffer(void*, std::size_t) {}

}  // namespace platform
