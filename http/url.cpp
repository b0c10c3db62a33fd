#include "http/url.h"

#include "http/errors.h"

namespace http {

namespace {

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSchemeCharacter(char c) { return isLetter(c) || isDigit(c) || c == '+' || c == '-' || c == '.'; }

// Cuts `text` at the first `separator`: returns what follows it and keeps what precedes it.
// Without the separator nothing is cut and `found` is false.
std::string_view cutAfter(std::string_view& text, char separator, bool& found) {
  const auto at = text.find(separator);
  found = at != std::string_view::npos;
  if (!found) return {};
  std::string_view after = text.substr(at + 1);
  text = text.substr(0, at);
  return after;
}

}  // namespace

Url parseUrl(std::string_view text) {
  if (text.empty() || !isLetter(text.front())) throw RequestError("Invalid scheme");
  std::size_t schemeEnd = 1;
  while (schemeEnd < text.size() && isSchemeCharacter(text[schemeEnd])) ++schemeEnd;
  if (text.substr(schemeEnd, 3) != "://") throw RequestError("Invalid scheme");

  Url url;
  url.scheme = text.substr(0, schemeEnd);
  std::string_view rest = text.substr(schemeEnd + 3);
  bool found = false;

  url.fragment = cutAfter(rest, '#', found);
  url.query = cutAfter(rest, '?', found);
  const auto slash = rest.find('/');
  if (slash == std::string_view::npos) {
    url.path.assign(1, '/');  // not = "/": gcc 12 warns about that wrongly (-Wrestrict)
  } else {
    url.path = rest.substr(slash);
    rest = rest.substr(0, slash);
  }

  std::string_view hostPart = cutAfter(rest, '@', found);
  if (found) {
    std::string_view userInformation = rest;
    url.password = cutAfter(userInformation, ':', found);
    url.user = userInformation;
  } else {
    hostPart = rest;
  }
  url.port = cutAfter(hostPart, ':', found);
  url.host = hostPart;
  return url;
}

}  // namespace http
