#include "formats/file_digest.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

#include "platform/files.h"

namespace formats {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

constexpr std::size_t readPieceSize = 256 * 1024;

}  // namespace

std::string hexDigest(const platform::Md5Bytes& digest) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(digest.size() * 2);
  for (std::uint8_t byte : digest) {
    text += digits[byte >> 4];
    text += digits[byte & 0x0f];
  }
  return text;
}

bool isDigestText(std::string_view text) {
  const auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  return text.size() == 32 && std::all_of(text.begin(), text.end(), isHex);
}

bool sameDigest(std::string_view localDigest, std::string_view listedDigest) {
  if (localDigest.size() != 32 || !isDigestText(listedDigest)) return false;  // digestFailure is shorter
  const auto sameLetter = [](char local, char listed) {
    return local == std::tolower(static_cast<unsigned char>(listed));
  };
  return std::equal(localDigest.begin(), localDigest.end(), listedDigest.begin(), sameLetter);
}

std::string md5OfFile(const std::string& path) {
  if (!platform::isRegularFile(path)) return std::string(digestFailure);
  std::unique_ptr<std::FILE, FileCloser> file(platform::openForReading(path));
  if (!file) return std::string(digestFailure);
  platform::Md5Stream md5;
  const auto piece = std::make_unique_for_overwrite<char[]>(readPieceSize);  // not zeroed: small files are many
  for (;;) {
    const std::size_t got = std::fread(piece.get(), 1, readPieceSize, file.get());
    md5.add(std::string_view(piece.get(), got));
    if (got < readPieceSize) break;
  }
  if (std::ferror(file.get())) return std::string(digestFailure);
  return hexDigest(md5.finish());
}

}  // namespace formats
