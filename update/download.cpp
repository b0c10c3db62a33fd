#include "update/download.h"

#include <stdexcept>
#include <system_error>

#include "http/request.h"
#include "update/inflate.h"

namespace {

constexpr std::size_t maxDocumentSize = 64u << 20;

bool keptAsIs(unsigned char byte) {
  if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9')) return true;
  return std::string_view("-._~!$&'()*+,;=:@/").find(static_cast<char>(byte)) != std::string_view::npos ||
         byte < 0x20 || byte == 0x7F;  // refused by the client, not hidden by encoding
}

std::string statusFailure(const http::Response& response) {
  return "HTTP status " + std::to_string(response.status.code) + " " + response.status.reason;
}

// The body of a 200 answer through `consume`; the reason of any other outcome.
std::string streamBody(const std::string& url, const std::function<void(std::string_view)>& consume) {
  const http::BodySink sink = [&](const http::Response& head, std::string_view bytes) {
    if (head.status.code != 200) return false;
    consume(bytes);
    return true;
  };
  try {
    const http::Response response =
        http::Request(url).send("GET", {}, {}, serverTimeoutMs, sink, http::MinimumRate{});
    return response.status.code == 200 ? "" : statusFailure(response);
  } catch (const std::system_error&) {
    throw;
  } catch (const std::exception& error) {
    return error.what();
  }
}

}  // namespace

std::string serverUrl(const std::string& baseUrl, std::string_view path) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string url = baseUrl;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (keptAsIs(byte)) {
      url += c;
    } else {
      url += '%';
      url += hex[byte >> 4];
      url += hex[byte & 0x0F];
    }
  }
  return url;
}

std::string downloadInflated(const std::string& baseUrl, std::string_view path,
                             const std::function<void(std::string_view)>& consume) {
  Inflater inflater;
  bool empty = true;
  std::string failure = streamBody(serverUrl(baseUrl, path), [&](std::string_view bytes) {
    empty = false;
    inflater.feed(bytes, consume);
  });
  if (failure.empty() && empty) return "empty compressed body";
  if (failure.empty() && !inflater.ended()) return "compressed body ends before its stream does";
  return failure;
}

Downloaded<std::string> downloadText(const std::string& baseUrl, const std::string& path) {
  Downloaded<std::string> result;
  result.failure = downloadInflated(baseUrl, path, [&](std::string_view bytes) {
    if (result.content.size() + bytes.size() > maxDocumentSize) throw std::length_error("document larger than 64 MiB");
    result.content += bytes;
  });
  if (!result.ok()) result.content.clear();
  return result;
}

std::optional<std::string> fetchSmallBody(const std::string& url, std::size_t limit) {
  std::string body;
  try {
    const std::string failure = streamBody(url, [&](std::string_view bytes) {
      if (body.size() + bytes.size() > limit) throw std::length_error("body too large");
      body += bytes;
    });
    if (failure.empty()) return body;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}
