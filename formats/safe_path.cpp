#include "formats/safe_path.h"

#include <algorithm>

namespace formats {

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// Windows drops trailing dots and spaces from a path segment, so ". ." or "..." may end up
// meaning a parent folder; a segment of only dots and spaces with more than one dot is refused.
bool leavesFolder(std::string_view segment) {
  const bool onlyDotsAndSpaces =
      std::all_of(segment.begin(), segment.end(), [](char c) { return c == '.' || c == ' '; });
  return onlyDotsAndSpaces && std::count(segment.begin(), segment.end(), '.') > 1;
}

}  // namespace

bool staysInsideInstallation(std::string_view path) {
  if (path.empty() || isSeparator(path.front())) return false;
  if (path.find('\0') != std::string_view::npos || path.find(':') != std::string_view::npos) return false;
  std::size_t start = 0;
  while (start <= path.size()) {
    const auto end = std::find_if(path.begin() + start, path.end(), isSeparator) - path.begin();
    if (leavesFolder(path.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace formats
