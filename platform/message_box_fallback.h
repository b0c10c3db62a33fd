#pragma once
// The message box written to standard error, where no dialog can be shown or
// QUARNMP_MESSAGEBOX=stderr asks for it (both platforms' message box files).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

inline bool messageBoxForcedToStandardError() {
  const char* mode = std::getenv("QUARNMP_MESSAGEBOX");
  return mode != nullptr && std::strcmp(mode, "stderr") == 0;
}

inline void writeMessageBoxToStandardError(const std::string& caption, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
}

}  // namespace platform
