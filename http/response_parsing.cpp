#include "http/response_parsing.h"

#include "http/errors.h"

namespace http::detail {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isWhiteSpace(char c) { return c == ' ' || c == '\t'; }

bool startsWith(const char* position, const char* end, std::string_view expected) {
  return static_cast<std::size_t>(end - position) >= expected.size() &&
         std::string_view(position, expected.size()) == expected;
}

const char* skipCrLf(const char* position, const char* end, const char* error) {
  if (!startsWith(position, end, "\r\n")) throw ResponseError(error);
  return position + 2;
}

std::uint16_t readDigit(const char*& position, const char* end) {
  if (position == end) throw ResponseError("Invalid HTTP version");
  if (!isDigit(*position)) throw ResponseError("Invalid digit");
  return static_cast<std::uint16_t>(*position++ - '0');
}

}  // namespace

bool isTokenCharacter(char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(c)) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isFieldValueCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte == ' ' || byte == '\t' || (byte >= 0x21 && byte <= 0x7E) || byte >= 0x80;
}

Parsed<HttpVersion> parseHttpVersion(const char* position, const char* end) {
  if (!startsWith(position, end, "HTTP/")) throw ResponseError("Invalid HTTP version");
  position += 5;
  HttpVersion version;
  version.major = readDigit(position, end);
  if (position == end || *position != '.') throw ResponseError("Invalid HTTP version");
  ++position;
  version.minor = readDigit(position, end);
  return {version, position};
}

Parsed<Status> parseStatusLine(const char* position, const char* end) {
  Status status;
  auto version = parseHttpVersion(position, end);
  status.version = version.value;
  position = version.next;
  if (position == end || *position != ' ') throw ResponseError("Invalid status line");
  ++position;

  const char* codeStart = position;
  while (position != end && isDigit(*position)) ++position;
  if (position - codeStart != 3) throw ResponseError("Invalid status code");
  status.code = static_cast<std::uint16_t>((codeStart[0] - '0') * 100 + (codeStart[1] - '0') * 10 +
                                           (codeStart[2] - '0'));
  if (position == end || *position != ' ') throw ResponseError("Invalid status line");
  ++position;

  const char* reasonStart = position;
  while (position != end && isFieldValueCharacter(*position)) ++position;
  status.reason.assign(reasonStart, position);
  return {std::move(status), skipCrLf(position, end, "Invalid status line")};
}

Parsed<std::string> parseFieldValue(const char* position, const char* end) {
  std::string value;
  while (true) {
    const char* pieceStart = position;
    while (position != end && isFieldValueCharacter(*position)) ++position;
    const char* pieceEnd = position;
    while (pieceEnd != pieceStart && isWhiteSpace(pieceEnd[-1])) --pieceEnd;
    value.append(pieceStart, pieceEnd);
    // An obsolete line folding: CR LF and white space continue the value after one space.
    if (end - position >= 3 && position[0] == '\r' && position[1] == '\n' && isWhiteSpace(position[2])) {
      value += ' ';
      position += 3;
      continue;
    }
    return {std::move(value), position};
  }
}

Parsed<HeaderField> parseHeaderField(const char* position, const char* end) {
  HeaderField field;
  const char* nameStart = position;
  while (position != end && isTokenCharacter(*position)) ++position;
  if (position == nameStart) throw ResponseError("Invalid token");
  field.name.assign(nameStart, position);
  for (char& c : field.name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (position == end || *position != ':') throw ResponseError("Invalid header");
  ++position;
  while (position != end && isWhiteSpace(*position)) ++position;
  auto value = parseFieldValue(position, end);
  field.value = std::move(value.value);
  return {std::move(field), skipCrLf(value.next, end, "Invalid header")};
}

}  // namespace http::detail
