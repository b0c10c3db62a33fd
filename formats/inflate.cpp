#include "formats/inflate.h"

#include <zlib.h>

#include <algorithm>
#include <string>

namespace formats {

namespace {

constexpr int automaticHeaderWindowBits = 15 + 32;
constexpr std::size_t outputPieceSize = 256 * 1024;

}  // namespace

Inflater::Inflater(std::uint64_t sizeCeiling, std::uint64_t ratioCeiling)
    : stream(std::make_unique<z_stream_s>()), piece(std::make_unique_for_overwrite<char[]>(outputPieceSize)),
      sizeCeiling(sizeCeiling), ratioCeiling(ratioCeiling) {
  if (inflateInit2(stream.get(), automaticHeaderWindowBits) != Z_OK) throw std::runtime_error("inflate init failed");
}

Inflater::~Inflater() { inflateEnd(stream.get()); }

void Inflater::feed(std::string_view compressed, const Output& output) {
  while (!streamEnded && !compressed.empty()) {
    const auto count = static_cast<uInt>(std::min<std::size_t>(compressed.size(), 1u << 30));
    stream->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream->avail_in = count;
    stream->next_out = reinterpret_cast<Bytef*>(piece.get());
    stream->avail_out = static_cast<uInt>(outputPieceSize);
    const int result = inflate(stream.get(), Z_NO_FLUSH);
    if (result == Z_NEED_DICT || (result < 0 && result != Z_BUF_ERROR)) {
      throw CorruptStream(stream->msg != nullptr ? stream->msg : "stream needs a preset dictionary");
    }
    streamEnded = result == Z_STREAM_END;
    const std::size_t used = count - stream->avail_in;
    compressed.remove_prefix(used);
    consumed += used;
    const std::size_t made = outputPieceSize - stream->avail_out;
    produced += made;
    if (produced > std::max(sizeCeiling, consumed * ratioCeiling)) {
      throw CorruptStream("inflates beyond " + std::to_string(ratioCeiling) + " times its size");
    }
    if (made == 0 && used == 0) break;  // no progress possible: wait for more input
    if (made != 0) output(std::string_view(piece.get(), made));
  }
}

}  // namespace formats
