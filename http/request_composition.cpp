#include "http/request_composition.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "formats/base64.h"
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
    fields.push_back({"Authorization", "Basic " + formats::encodeBase64(url.user + ":" + url.password)});
  }

  std::string request = encodeRequestLine(method, target);
  request += encodeHeaderFields(fields);
  request += "\r\n";
  request += body;
  return request;
}

}  // namespace http
