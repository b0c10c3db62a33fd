#include "http/request_composition.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "http/errors.h"
#include "http/response_parsing.h"

namespace http {

namespace {

void validateName(std::string_view name) {
  if (name.empty()) throw RequestError("Invalid header field name");
  for (char c : name) {
    if (!detail::isTokenCharacter(c)) throw RequestError("Invalid header field name");
  }
}

void validateValue(std::string_view value) {
  for (char c : value) {
    if (!detail::isFieldValueCharacter(c)) throw RequestError("Invalid header field value");
  }
}

// Method, path and query go out byte for byte, so a control byte or space in them would end
// the request line early or start a new line: such a request is refused, not sent.
void validateRequestLinePart(std::string_view part, const char* refusal) {
  for (char c : part) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) throw RequestError(refusal);
  }
}

std::string requestTarget(const Url& url) {
  std::string target = url.path;
  if (!url.query.empty()) target += "?" + url.query;
  return target;
}

}  // namespace

std::string encodeRequestLine(std::string_view method, std::string_view target) {
  std::string line(method);
  line += ' ';
  line += target;
  line += " HTTP/1.1\r\n";
  return line;
}

std::string encodeHeaderFields(const HeaderFields& headerFields) {
  std::string section;
  for (const HeaderField& field : headerFields) {
    validateName(field.name);
    validateValue(field.value);
    section += field.name;
    section += ": ";
    section += field.value;
    section += "\r\n";
  }
  return section;
}

std::string encodeBase64(std::string_view bytes) {
  static constexpr std::array<char, 64> alphabet{
      'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P',
      'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z', 'a', 'b', 'c', 'd', 'e', 'f',
      'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r', 's', 't', 'u', 'v',
      'w', 'x', 'y', 'z', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', '+', '/'};
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      group = (group << 8) | (k < count ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      text += k <= count ? alphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return text;
}

std::string composeRequest(const Url& url, std::string_view method, std::string_view body,
                           const HeaderFields& headerFields) {
  if (url.scheme != "http") throw RequestError("Only HTTP scheme is supported");
  const std::string target = requestTarget(url);
  validateRequestLinePart(target, "Invalid request target");
  if (method.empty()) throw RequestError("Invalid method");
  validateRequestLinePart(method, "Invalid method");

  HeaderFields fields = headerFields;
  fields.push_back({"Host", url.host});
  fields.push_back({"Content-Length", std::to_string(body.size())});
  if (!url.user.empty() || !url.password.empty()) {
    fields.push_back({"Authorization", "Basic " + encodeBase64(url.user + ":" + url.password)});
  }

  std::string request = encodeRequestLine(method, target);
  request += encodeHeaderFields(fields);
  request += "\r\n";
  request += body;
  return request;
}

}  // namespace http
