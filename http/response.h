#pragma once
// What an exchange returns: status line, received header fields, body.
#include <cstdint>
#include <string>

#include "http/header_fields.h"

namespace http {

struct HttpVersion {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
};

struct Status {
  HttpVersion version;
  std::uint16_t code = 0;  // any three digits; the client does not judge it
  std::string reason;
};

struct Response {
  Status status;
  HeaderFields headerFields;  // in arrival order, names in lower case
  std::string body;           // bytes
};

}  // namespace http
