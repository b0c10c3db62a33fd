#include "update/url_path.h"

namespace {

bool isControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

bool isLetterOrDigit(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9');
}

template <typename KeptAsIs>
std::string encoded(std::string_view text, KeptAsIs keptAsIs) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string url;
  url.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (keptAsIs(byte) || isControl(byte)) {
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
  return encoded(path, [](unsigned char byte) {
    return byte > ' ' && byte < 0x80 && std::string_view("\"<>\\^`{|}").find(static_cast<char>(byte)) == std::string_view::npos;
  });
}

std::string percentEncodedKey(std::string_view key) {
  return encoded(key, [](unsigned char byte) {
    return isLetterOrDigit(byte) || std::string_view("-._~!$&'()*+,;=:@/").find(static_cast<char>(byte)) != std::string_view::npos;
  });
}
