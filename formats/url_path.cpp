#include "formats/url_path.h"

namespace formats {

namespace {

bool isControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

bool isLetterOrDigit(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9');
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// keptAsIs(text, i): whether the byte at i goes as it is.
template <typename KeptAsIs>
std::string encoded(std::string_view text, KeptAsIs keptAsIs) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string url;
  url.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    if (keptAsIs(text, i) || isControl(byte)) {
      url += c;
    } else {
      url += '%';
      url += hex[byte >> 4];
      url += hex[byte & 0x0F];
    }
  }
  return url;
}

}  // namespace

std::string requestPath(std::string_view path) {
  return encoded(path, [](std::string_view text, std::size_t i) {
    const char c = text[i];
    if (c == '%') return i + 2 < text.size() && isHexDigit(text[i + 1]) && isHexDigit(text[i + 2]);
    const bool printable = c > ' ' && static_cast<unsigned char>(c) < 0x80;
    return printable && std::string_view("\"<>\\^`{|}").find(c) == std::string_view::npos;
  });
}

std::string percentEncodedKey(std::string_view key) {
  return encoded(key, [](std::string_view text, std::size_t i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    return isLetterOrDigit(byte) || std::string_view("-._~!$&'()*+,;=:@/").find(text[i]) != std::string_view::npos;
  });
}

}  // namespace formats
