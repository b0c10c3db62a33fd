#include "update/download.h"

#include <optional>

#include "http/request.h"

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

template <typename Content, typename Inflate>
Downloaded<Content> download(const std::string& url, Inflate inflateBody) {
  Downloaded<Content> result;
  const auto body = fetchBody(url, result.failure);
  if (!body) return result;
  try {
    result.content = inflateBody(body->data(), body->size());
  } catch (const IncompleteStream& failure) {
    result.failure = failure.what();
  }
  return result;
}

}  // namespace

std::optional<std::string> fetchBody(const std::string& url, std::string& failure) {
  try {
    http::Response response = http::Request(url).send("GET", {}, {}, serverTimeoutMs);
    if (response.status.code == 200) return std::move(response.body);
    failure = "HTTP status " + std::to_string(response.status.code) + " " + response.status.reason;
  } catch (const http::ResponseError& error) {
    failure = error.what();
  }
  return std::nullopt;
}

Downloaded<std::string> downloadText(const std::string& baseUrl, const std::string& path) {
  return download<std::string>(baseUrl + path, inflateToText);
}

Downloaded<ByteSequence> downloadBytes(const std::string& baseUrl, const std::string& path) {
  return download<ByteSequence>(withEncodedSpaces(baseUrl + path), inflateToBytes);
}
