// A header block parses into a status and fields without line breaks or fails with ResponseError, in bounds.
#include <algorithm>
#include <cstdlib>

#include "http/errors.h"
#include "http/response_parsing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy, so the address sanitizer sees any read beyond the end.
  std::vector<char> bytes(data, data + size);
  const char* const end = bytes.data() + bytes.size();
  try {
    auto status = http::detail::parseStatusLine(bytes.data(), end);
    if (status.value.code > 999 || status.value.reason.find_first_of("\r\n") != std::string::npos) std::abort();
    for (const char* position = status.next; position != end;) {
      auto field = http::detail::parseHeaderField(position, end);
      if (field.next <= position || field.next > end) std::abort();
      const bool upperCase = std::ranges::any_of(field.value.name, [](char c) { return c >= 'A' && c <= 'Z'; });
      if (upperCase || field.value.value.find_first_of("\r\n") != std::string::npos) std::abort();
      position = field.next;
    }
  } catch (const http::ResponseError&) {
  }
  return 0;
}
