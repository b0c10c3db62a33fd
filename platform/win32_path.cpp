#include "platform/win32_path.h"

#include <windows.h>

#include "platform/win32_text.h"

namespace platform {

namespace {

constexpr std::wstring_view longForm = L"\\\\?\\";

std::wstring fullPath(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return {};
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);  // the size needed, with the terminating null
  }
}

}  // namespace

std::wstring systemPath(const std::string& path) {
  const auto wide = widenUtf8(path);
  if (!wide || wide->empty()) return {};
  if (wide->starts_with(longForm)) return *wide;
  const std::wstring full = fullPath(*wide);
  if (full.empty() || full.starts_with(L"\\\\.\\")) return full;
  if (full.starts_with(L"\\\\")) return std::wstring(longForm) + L"UNC" + full.substr(1);
  return std::wstring(longForm) + full;
}

}  // namespace platform
