#include "platform/folders.h"

#include <windows.h>
#include <shlobj.h>

namespace platform {

std::optional<std::string> documentsFolder() {
  wchar_t wide[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, wide, CSIDL_PERSONAL, FALSE)) return std::nullopt;
  int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::nullopt;
  std::string narrow(static_cast<size_t>(length - 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow.data(), length, nullptr, nullptr);
  return narrow;
}

std::string executablePath() {
  char buffer[256] = {};
  GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer);
}

}  // namespace platform
