#pragma once
// Decompression of the server's documents: one zlib or gzip stream per body (the header tells
// which), inflated piece by piece as the body arrives.
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string_view>

struct z_stream_s;

namespace formats {

// Data that is not one zlib or gzip stream, or that inflates beyond the ceiling below.
class CorruptStream : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// No output may pass 4 GiB and 1000 times the compressed bytes read so far, whichever is
// larger: real files stay far below that ratio, while a crafted stream of 1 MB that would
// inflate to gigabytes is cut off as corrupt.
inline constexpr std::uint64_t inflateSizeCeiling = 4ull << 30;
inline constexpr std::uint64_t inflateRatioCeiling = 1000;

class Inflater {
 public:
  using Output = std::function<void(std::string_view)>;

  // std::runtime_error "inflate init failed"
  explicit Inflater(std::uint64_t sizeCeiling = inflateSizeCeiling, std::uint64_t ratioCeiling = inflateRatioCeiling);
  ~Inflater();
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Inflates the next compressed bytes and hands the output on in pieces. Bytes after the end
  // of the stream are ignored. Throws CorruptStream with zlib's message (raw deflate gives
  // "incorrect header check").
  void feed(std::string_view compressed, const Output& output);
  // The stream has reached its end: a body that stops before is cut off.
  bool ended() const { return streamEnded; }

 private:
  std::unique_ptr<z_stream_s> stream;
  std::unique_ptr<char[]> piece;  // output space, not zeroed: a small file would pay more for that than for its bytes
  std::uint64_t sizeCeiling;
  std::uint64_t ratioCeiling;
  std::uint64_t consumed = 0;
  std::uint64_t produced = 0;
  bool streamEnded = false;
};

}  // namespace formats
