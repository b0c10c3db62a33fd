#include "tools/publish_compress.h"

#include <zlib.h>

#include <fstream>
#include <stdexcept>
#include <vector>

#include "platform/digest.h"
#include "platform/files.h"
#include "formats/file_digest.h"
#include "formats/inflate.h"

using formats::hexDigest;
using formats::CorruptStream;
using formats::Inflater;

namespace {

constexpr std::size_t pieceSize = 1 << 20;

// Owns one deflate stream.
class Deflater {
 public:
  explicit Deflater(int level) {
    if (deflateInit(&stream, level) != Z_OK) throw std::runtime_error("deflate init failed");
  }
  ~Deflater() { deflateEnd(&stream); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // Compresses the piece and appends what deflate produced to the output.
  void feed(std::string_view piece, bool last, std::string& output) {
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
    stream.avail_in = static_cast<uInt>(piece.size());
    char buffer[pieceSize / 4];
    int result = Z_OK;
    do {
      stream.next_out = reinterpret_cast<Bytef*>(buffer);
      stream.avail_out = sizeof buffer;
      result = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
      if (result == Z_STREAM_ERROR) throw std::runtime_error("deflate failed");
      output.append(buffer, sizeof buffer - stream.avail_out);
    } while (stream.avail_out == 0 || (last && result != Z_STREAM_END));
  }

 private:
  z_stream stream{};
};

}  // namespace

std::string compressText(std::string_view text, int level) {
  Deflater deflater(level);
  std::string output;
  deflater.feed(text, true, output);
  return output;
}

std::optional<std::string> compressFile(const std::filesystem::path& source, const std::filesystem::path& target,
                                        const std::filesystem::path& partial, int level) {
  std::ifstream in(source, std::ios::binary);
  if (!in) return std::nullopt;
  platform::Md5Stream digest;
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    if (!out) return std::nullopt;
    Deflater deflater(level);
    std::vector<char> piece(pieceSize);
    std::string compressed;
    bool last = false;
    while (!last) {
      in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
      last = in.gcount() < static_cast<std::streamsize>(piece.size());
      const std::string_view read(piece.data(), static_cast<std::size_t>(in.gcount()));
      digest.add(read);
      compressed.clear();
      deflater.feed(read, last, compressed);
      out.write(compressed.data(), static_cast<std::streamsize>(compressed.size()));
    }
    if (in.bad() || !out.flush()) {
      out.close();
      std::filesystem::remove(partial);
      return std::nullopt;
    }
  }
  if (platform::moveFileReplacing(partial.string(), target.string())) return hexDigest(digest.finish());
  std::filesystem::remove(partial);
  return std::nullopt;
}

std::optional<std::string> inflatedDigest(const std::filesystem::path& compressed, std::uint64_t sizeCeiling) {
  std::ifstream in(compressed, std::ios::binary);
  if (!in) return std::nullopt;
  platform::Md5Stream digest;
  try {
    // A ratio of 1 keeps the ceiling at the larger of the two sizes, both bounded.
    Inflater inflater(sizeCeiling, 1);
    std::vector<char> piece(pieceSize);
    while (in && !inflater.ended()) {
      in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
      inflater.feed(std::string_view(piece.data(), static_cast<std::size_t>(in.gcount())),
                    [&](std::string_view bytes) { digest.add(bytes); });
    }
    if (in.bad() || !inflater.ended()) return std::nullopt;
  } catch (const CorruptStream&) {
    return std::nullopt;
  }
  return hexDigest(digest.finish());
}
