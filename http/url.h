#pragma once
// The components of a URL text, cut apart but not decoded.
#include <string>
#include <string_view>

namespace http {

struct Url {
  std::string scheme;    // as written, case kept, without the colon
  std::string user;
  std::string password;
  std::string host;
  std::string port;      // text after the host's colon, not checked for digits
  std::string path;      // never empty: "/" when the URL has none
  std::string query;     // without the '?'
  std::string fragment;  // without the '#'
};

// Throws RequestError "Invalid scheme" unless the text starts with a scheme and "://".
Url parseUrl(std::string_view text);

}  // namespace http
