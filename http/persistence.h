#pragma once
// Whether a connection may carry another request after a response, and its server's limits.
#include <cstdint>
#include <optional>

#include "http/body_framing.h"

namespace http::detail {

struct Persistence {
  bool keep = false;
  // Keep-Alive "max": the requests the server takes on this connection, the answered one included.
  std::optional<std::uint64_t> maxRequests;
  // Keep-Alive "timeout": how long the server keeps the connection idle.
  std::optional<std::int64_t> idleLimitMs;
};

// For a reception its framing completed (not the peer closing): kept unless either side ends it.
// HTTP/1.1 keeps by default and "Connection: close" ends; HTTP/1.0 keeps only with
// "Connection: keep-alive". A limit that cannot be read counts as 0, so it ends the connection.
Persistence persistenceAfter(const ResponseReception& reception);

}  // namespace http::detail
