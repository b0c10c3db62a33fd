#pragma once
// Header fields in the order they were given or received; duplicates allowed.
#include <string>
#include <vector>

namespace http {

struct HeaderField {
  std::string name;
  std::string value;
};

using HeaderFields = std::vector<HeaderField>;

}  // namespace http
