#include "platform/folders.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/win32_text.h"

namespace platform {

std::optional<std::string> documentsFolder() {
  wchar_t wide[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, wide, CSIDL_PERSONAL, FALSE)) return std::nullopt;
  // A path the ANSI code page cannot carry would name another folder.
  return narrowExactly(wide);
}

std::string executablePath() {
  char buffer[256] = {};
  GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer);
}

}  // namespace platform
