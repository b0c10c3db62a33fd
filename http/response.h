#pragma once
// What an exchange returns: status line, received header fields, body.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

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

// Takes a streamed body piece by piece, in order, with the status and fields already parsed
// (`head.body` is not the body). Returning false ends the exchange at once.
using BodySink = std::function<bool(const Response& head, std::string_view bodyBytes)>;

}  // namespace http
