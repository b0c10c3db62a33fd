#pragma once
// Paths from the server must stay inside the installation root.
#include <stdexcept>
#include <string_view>

namespace formats {

// True for a relative path that names something below the working directory: not empty,
// no leading separator, no drive letter or other colon, no NUL byte, and no segment that
// Windows reads as the parent folder ("..", also written with trailing dots or spaces).
bool staysInsideInstallation(std::string_view path);

class UnsafePathError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace formats
