#pragma once
// The client's own exception types.
#include <stdexcept>
#include <string>
#include <system_error>

namespace http {

// A request that cannot be built from its URL or header fields.
class RequestError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// A time-out, or a response that cannot be parsed.
class ResponseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The connection failed: no such host, refused, reset, no socket. A std::system_error in the
// Windows Sockets category (winsock_error_category.h), so its code is Winsock's on every system.
class ConnectionError : public std::system_error {
 public:
  using std::system_error::system_error;
};

}  // namespace http
