#pragma once
// The exact bytes of a request. Everything here throws RequestError on bad input, so a
// request that cannot be sent correctly is never sent at all.
#include <string>
#include <string_view>

#include "http/header_fields.h"
#include "http/url.h"

namespace http {

// The complete request: request line, the caller's fields, then Host, Content-Length and
// (with user information) Authorization, a blank line and the body. `headerFields` is
// copied, never changed.
std::string composeRequest(const Url& url, std::string_view method, std::string_view body,
                           const HeaderFields& headerFields);

// "<method> <target> HTTP/1.1\r\n"
std::string encodeRequestLine(std::string_view method, std::string_view target);

// One "name: value\r\n" line per field, each validated first.
std::string encodeHeaderFields(const HeaderFields& headerFields);

}  // namespace http
