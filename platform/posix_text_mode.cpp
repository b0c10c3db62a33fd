#include "platform/text_mode.h"

namespace platform {

std::string withTextModeLineEnds(std::string_view text) { return std::string(text); }

}  // namespace platform
