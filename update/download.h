#pragma once
// One GET to the update server per call, body decompressed.
#include <optional>
#include <string>

#include "update/inflate.h"

// The content, or the reason why there is none.
template <typename Content>
struct Downloaded {
  Content content;
  std::string failure;  // empty when the content arrived whole
  bool ok() const { return failure.empty(); }
};

// baseUrl + path, answered 200 with a complete compressed body. Any other status, a
// time-out, a malformed response, an empty body or a stream that does not end is a
// failure with its reason. Other failures (connection, name resolution, corrupt data)
// pass through as exceptions.
Downloaded<std::string> downloadText(const std::string& baseUrl, const std::string& path);
// The spaces of the URL are sent as "%20".
Downloaded<ByteSequence> downloadBytes(const std::string& baseUrl, const std::string& path);

// The 5000 ms limit of every exchange with the update server.
constexpr long long serverTimeoutMs = 5000;

// The body of a 200 answer to a GET of url; for any other status, a time-out or a malformed
// response, nothing, and the reason in failure.
std::optional<std::string> fetchBody(const std::string& url, std::string& failure);
