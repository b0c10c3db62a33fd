#include "platform/text_mode.h"

namespace platform {

std::string withTextModeLineEnds(std::string_view text) {
  std::string converted;
  converted.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') converted += '\r';
    converted += c;
  }
  return converted;
}

}  // namespace platform
