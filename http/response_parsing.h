#pragma once
// Parsers for the header block of a response. Each reads from `position` up to `end`,
// returns what it read and where it stopped, and throws ResponseError on malformed input.
#include <string>

#include "http/header_fields.h"
#include "http/response.h"

namespace http::detail {

template <typename Value>
struct Parsed {
  Value value;
  const char* next;
};

// "HTTP/" digit "." digit
Parsed<HttpVersion> parseHttpVersion(const char* position, const char* end);
// version SP three-digit-code SP reason CR LF
Parsed<Status> parseStatusLine(const char* position, const char* end);
// The value after the colon and its white space: pieces joined over obsolete line folds,
// trailing white space dropped. Stops before the final CR LF.
Parsed<std::string> parseFieldValue(const char* position, const char* end);
// name ":" OWS value CR LF; the name comes back in lower case.
Parsed<HeaderField> parseHeaderField(const char* position, const char* end);

// The token characters a header field name consists of.
bool isTokenCharacter(char c);
// Space, tab, 0x21-0x7E and 0x80-0xFF: what a field value or reason phrase may hold.
bool isFieldValueCharacter(char c);

}  // namespace http::detail
