#include "platform/folders.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/win32_text.h"

namespace platform {

std::optional<std::string> documentsFolder() {
  wchar_t wide[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, wide, CSIDL_PERSONAL, FALSE)) return std::nullopt;
  return utf8Of(wide);
}

// The wide call: the ANSI one would name a folder outside its code page with question marks.
std::string executablePath() {
  wchar_t buffer[256] = {};
  GetModuleFileNameW(nullptr, buffer, 256);
  return utf8Of(buffer);
}

}  // namespace platform
