#pragma once
// Line ends as the C run-time's text mode writes them on this platform.
#include <string>
#include <string_view>

namespace platform {

// Each "\n" of the text as a text-mode stream would write it ("\r\n" on Windows).
std::string withTextModeLineEnds(std::string_view text);

}  // namespace platform
