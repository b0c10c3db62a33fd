#pragma once
// A synchronous HTTP/1.1 client: one TCP connection per exchange (http::Connection keeps one
// for several), no redirects, plain "http" only. Interim (1xx) answers are skipped; the body is
// exactly what the final answer announces (none for 1xx, 204, 304 and HEAD), and a peer that
// closes before that is a ResponseError.
//
// Failures are exceptions: RequestError (bad URL or header fields), ResponseError
// (time-out or malformed response), ConnectionError, a std::system_error in the Windows
// Sockets category (socket failures), std::runtime_error (wrong socket library version).
#include <cstdint>
#include <optional>
#include <string_view>

#include "http/errors.h"
#include "platform/sockets.h"
#include "http/header_fields.h"
#include "http/response.h"
#include "http/url.h"
#include "http/winsock_error_category.h"
#include "http/winsock_startup.h"

namespace http {

// The address family of a request; every request of this program uses V4.
using InternetProtocol = platform::AddressFamily;

// A floor under a long transfer: once `graceMs` have passed, an average below
// `bytesPerSecond` since the start of the exchange ends it with ResponseError "Transfer too
// slow", so a server that drips bytes just inside the silence limit cannot hold it for days.
struct MinimumRate {
  std::int64_t graceMs = 30000;
  std::uint64_t bytesPerSecond = 1024;
};

class Request {
 public:
  // Starts the socket library, then parses the URL (RequestError "Invalid scheme").
  explicit Request(std::string_view url, InternetProtocol internetProtocol = InternetProtocol::V4);
  Request(Request&&) noexcept = default;
  Request& operator=(Request&&) noexcept = default;
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  // One complete exchange, the whole body kept in the response. `timeoutMs` is the longest
  // silence allowed while connecting, sending or receiving (a slow link is no failure);
  // negative means no limit. Any status code, 404 included, is a normal response.
  Response send(std::string_view method = "GET", std::string_view body = {},
                const HeaderFields& headerFields = {}, std::int64_t timeoutMs = -1) const;

  // The same exchange with the body handed to `sink` as it arrives, so a body of any size
  // costs no memory here; the returned response has an empty body.
  Response send(std::string_view method, std::string_view body, const HeaderFields& headerFields,
                std::int64_t timeoutMs, const BodySink& sink,
                std::optional<MinimumRate> minimumRate = std::nullopt) const;


 private:
  detail::WinsockStartup winsockStartup;

 public:
  InternetProtocol internetProtocol;
  Url url;
};

}  // namespace http
