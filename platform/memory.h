#pragma once
// Hints to the system's memory manager.
#include <cstddef>

namespace platform {

// A buffer of several MiB that is about to be written from start to end: ask for it to be
// backed by large pages, so filling it costs far fewer page faults. Only a hint; smaller
// buffers and systems without such pages are left as they are.
void adviseLargeBuffer(void* data, std::size_t size);

}  // namespace platform
