#pragma once
// A path of the program as the wide file calls take it (Windows files only).
#include <string>

namespace platform {

// The UTF-8 path (relative to the working directory or absolute, with '\' or '/') as a full path in
// the "\\?\" form, which the wide calls take without the 260-character limit, so a temporary name
// beside a target never cuts the usable length. The full path is made by GetFullPathNameW, which
// reads '.', '..' and trailing dots as the short form would. A device ("\\.\...") stays as it is; a
// path that is not UTF-8 becomes the empty text, which no call accepts.
std::wstring systemPath(const std::string& path);

}  // namespace platform
