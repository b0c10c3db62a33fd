#include "update/download.h"

#include <optional>

#include "http/request.h"
#include "update/server_address.h"

namespace {

std::string withEncodedSpaces(const std::string& url) {
  std::string encoded;
  encoded.reserve(url.size());
  for (char c : url) {
    if (c == ' ') encoded += "%20";
    else encoded += c;
  }
  return encoded;
}

// The body of a 200 answer; nothing for other answers, time-outs and malformed responses.
std::optional<std::string> fetchBody(const std::string& url) {
  try {
    http::Response response = http::Request(url).send("GET", {}, {}, serverTimeoutMs);
    if (response.status.code != 200) return std::nullopt;
    return std::move(response.body);
  } catch (const http::ResponseError&) {
    return std::nullopt;
  }
}

template <typename Output, typename Inflate>
bool download(const std::string& url, Output& output, Inflate inflateBody) {
  const auto body = fetchBody(url);
  if (!body) return false;
  try {
    output = inflateBody(body->data(), body->size());
    return true;
  } catch (const IncompleteStream&) {
    return false;
  }
}

}  // namespace

bool downloadText(const std::string& path, std::string& text) {
  return download(serverBaseUrl() + path, text, inflateToText);
}

bool downloadBytes(const std::string& path, ByteSequence& bytes) {
  return download(withEncodedSpaces(serverBaseUrl() + path), bytes, inflateToBytes);
}
