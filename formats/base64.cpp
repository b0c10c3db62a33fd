#include "formats/base64.h"

#include <algorithm>
#include <array>

namespace formats {

namespace {

int sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string encodeBase64(std::string_view bytes) {
  static constexpr std::array<char, 64> alphabet{
      'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P',
      'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z', 'a', 'b', 'c', 'd', 'e', 'f',
      'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r', 's', 't', 'u', 'v',
      'w', 'x', 'y', 'z', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', '+', '/'};
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      group = (group << 8) | (k < count ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      text += k <= count ? alphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return text;
}

std::string encodeBase64(const std::uint8_t* bytes, std::size_t size) {
  return encodeBase64(std::string_view(reinterpret_cast<const char*>(bytes), size));
}

bool decodeBase64(std::string_view text, std::uint8_t* bytes, std::size_t size) {
  // Only the one canonical text of `size` bytes: its length, its padding and zero unused bits.
  const std::size_t padding = (3 - size % 3) % 3;
  if (text.size() != (size + 2) / 3 * 4) return false;
  std::uint32_t bits = 0;
  std::size_t bitCount = 0, written = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i >= text.size() - padding) {
      if (text[i] != '=') return false;
      continue;
    }
    const int value = sextet(text[i]);
    if (value < 0) return false;
    bits = (bits << 6) | static_cast<std::uint32_t>(value);
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      bytes[written++] = static_cast<std::uint8_t>(bits >> bitCount);
      bits &= (1u << bitCount) - 1;
    }
  }
  return written == size && bits == 0;
}

}  // namespace formats
