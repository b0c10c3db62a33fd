#pragma once
// How the catalogue's paths become the paths of request URLs.
#include <string>
#include <string_view>

namespace formats {

// A path the catalogue gives (a list's "url", a set's "sourcepath", "json"), as it is: "%",
// "?" and "#" keep their meaning in a URL, so a pre-encoded "my%20set" or "lists/main?v=2"
// reaches the server as the publisher wrote it. Only what a request line cannot carry (space,
// non-ASCII bytes, " < > \ ^ ` { | }, and a "%" without two hexadecimal digits after it, as
// in a folder "100%") is percent-encoded; control bytes stay, and the client refuses them.
std::string requestPath(std::string_view path);

// A file key, which names a file and nothing else: every byte is percent-encoded except
// letters, digits and "-._~!$&'()*+,;=:@/", so "%", "?", "#" and spaces reach the server as
// part of the name. Control bytes stay, and the client refuses them.
std::string percentEncodedKey(std::string_view key);

}  // namespace formats
