#pragma once
// A synchronous HTTP/1.1 client: one TCP connection per exchange, no redirects, no
// persistent connections, plain "http" only.
//
// Failures are exceptions: RequestError (bad URL or header fields), ResponseError
// (time-out or malformed response), std::system_error in the Windows Sockets category
// (socket failures), std::runtime_error (wrong socket library version).
#include <cstdint>
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

class Request {
 public:
  // Starts the socket library, then parses the URL (RequestError "Invalid scheme").
  explicit Request(std::string_view url, InternetProtocol internetProtocol = InternetProtocol::V4);
  Request(Request&&) noexcept = default;
  Request& operator=(Request&&) noexcept = default;
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  // One complete exchange. `timeoutMs` bounds the whole exchange (resolution,
  // connection, sending, receiving); negative means no limit. Any status code, 404
  // included, is a normal response.
  Response send(std::string_view method = "GET", std::string_view body = {},
                const HeaderFields& headerFields = {}, std::int64_t timeoutMs = -1) const;


 private:
  detail::WinsockStartup winsockStartup;

 public:
  InternetProtocol internetProtocol;
  Url url;
};

}  // namespace http
