#pragma once
// The client's own exception types. Socket failures are std::system_error in the
// Windows Sockets category (winsock_error_category.h).
#include <stdexcept>
#include <string>

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

}  // namespace http
