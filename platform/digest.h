#pragma once
// MD5 of a byte stream, computed by a maintained implementation: libcrypto on POSIX
// systems, the system's own hash provider on Windows.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace platform {

using Md5Bytes = std::array<std::uint8_t, 16>;

// Feed any number of pieces, then take the digest once.
class Md5Stream {
 public:
  Md5Stream();
  ~Md5Stream();
  Md5Stream(const Md5Stream&) = delete;
  Md5Stream& operator=(const Md5Stream&) = delete;

  void add(std::string_view bytes);
  Md5Bytes finish();

 private:
  struct State;
  std::unique_ptr<State> state;
};

// The digest of one piece of memory; the same on every platform, built on the stream.
inline Md5Bytes md5Of(std::string_view bytes) {
  Md5Stream stream;
  stream.add(bytes);
  return stream.finish();
}

}  // namespace platform
