#pragma once
// Base64 with the standard alphabet and '=' padding, no line breaks: HTTP credentials and
// the lines of key and signature files.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace formats {

std::string encodeBase64(std::string_view bytes);
std::string encodeBase64(const std::uint8_t* bytes, std::size_t size);
// Decodes exactly `size` bytes; false for anything else (wrong length, stray characters).
bool decodeBase64(std::string_view text, std::uint8_t* bytes, std::size_t size);

}  // namespace formats
