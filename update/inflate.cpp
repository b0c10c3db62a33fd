#include "update/inflate.h"

#include <zlib.h>

#include <cstdint>

namespace {

constexpr int automaticHeaderWindowBits = 15 + 32;

// The output grows in steps of twice the compressed size until a step leaves room.
template <typename Output>
Output inflateWhole(const char* data, std::size_t size) {
  if (size == 0) throw IncompleteStream("empty compressed body");
  if (size > 0x7FFFFFFFu) throw std::runtime_error("compressed body too large");
  const auto step = static_cast<std::uint32_t>(size) * 2u;

  z_stream stream{};
  if (inflateInit2(&stream, automaticHeaderWindowBits) != Z_OK) throw std::runtime_error("inflate init failed");
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  stream.avail_in = static_cast<uInt>(size);

  Output output;
  std::size_t produced = 0;
  bool ended = false;
  for (;;) {
    output.resize(produced + step);
    stream.next_out = reinterpret_cast<Bytef*>(output.data() + produced);
    stream.avail_out = step;
    const int result = inflate(&stream, Z_FINISH);
    if (result == Z_NEED_DICT || (result < 0 && result != Z_BUF_ERROR)) {
      const std::string message = stream.msg != nullptr ? stream.msg : "stream needs a preset dictionary";
      inflateEnd(&stream);
      throw std::runtime_error(message);
    }
    ended = ended || result == Z_STREAM_END;
    produced += step - stream.avail_out;
    if (stream.avail_out != 0) break;
  }
  inflateEnd(&stream);
  if (!ended) throw IncompleteStream("compressed body ends before its stream does");
  output.resize(produced);
  return output;
}

}  // namespace

std::string inflateToText(const char* data, std::size_t size) { return inflateWhole<std::string>(data, size); }

ByteSequence inflateToBytes(const char* data, std::size_t size) { return inflateWhole<ByteSequence>(data, size); }
