#pragma once
// Decompression of the server's documents: one zlib or gzip stream per body.
#include <cstddef>
#include <stdexcept>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Grows without zero-filling the new bytes: inflate overwrites every byte that is kept, and
// a file of 64 MiB would otherwise have twice its size cleared first.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = UninitialisedAllocator<U>;
  };
  UninitialisedAllocator() = default;
  template <typename U>
  UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}

  template <typename U>
  void construct(U* place) noexcept {
    ::new (static_cast<void*>(place)) U;
  }
  template <typename U, typename... Arguments>
  void construct(U* place, Arguments&&... arguments) {
    ::new (static_cast<void*>(place)) U(std::forward<Arguments>(arguments)...);
  }
};

using ByteSequence = std::vector<char, UninitialisedAllocator<char>>;

// A body without an end of stream (cut off, or empty): not an error of the data, but a
// download that did not arrive whole.
class IncompleteStream : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Both throw std::runtime_error with zlib's message for corrupt data (raw deflate gives
// "incorrect header check"), and IncompleteStream when the stream does not end. Bytes
// after the end of the stream are ignored. Bodies must stay below 2 GiB.
std::string inflateToText(const char* data, std::size_t size);
ByteSequence inflateToBytes(const char* data, std::size_t size);
