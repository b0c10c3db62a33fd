#pragma once
// Where the update server lives.
#include <string>

namespace update {

// "http://" + the build's server host + ":45004/": the window's server. Every request URL
// is a base address like this one followed directly by a relative path.
const std::string& serverBaseUrl();

}  // namespace update
