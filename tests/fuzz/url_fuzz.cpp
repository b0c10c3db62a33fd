// Any text fails with "Invalid scheme" or gives a URL whose request is refused or has exactly its request line.
#include <cstdint>
#include <cstdlib>

#include "http/errors.h"
#include "http/request_composition.h"
#include "http/url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  http::Url url;
  try {
    url = http::parseUrl(text);
  } catch (const http::RequestError&) {
    return 0;
  }
  if (!url.path.starts_with('/') || url.scheme + "://" != text.substr(0, url.scheme.size() + 3)) std::abort();
  url.scheme = "http";
  try {
    const std::string request = http::composeRequest(url, "GET", "", {});
    const std::string target = url.path + (url.query.empty() ? "" : "?" + url.query);
    const bool oneHead = request.find("\r\n\r\n") == request.size() - 4;
    if (!oneHead || request.substr(0, request.find("\r\n")) != "GET " + target + " HTTP/1.1") std::abort();
  } catch (const http::RequestError&) {
  }
  return 0;
}
