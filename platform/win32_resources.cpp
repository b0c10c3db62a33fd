#include "platform/resources.h"

#include <windows.h>

#include "platform/win32_text.h"

namespace platform {

namespace {

// A missing resource yields empty bytes instead of a null pointer passed on to the next step.
std::vector<unsigned char> copyResource(LPCWSTR name) {
  HRSRC info = FindResourceW(nullptr, name, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (info == nullptr) return {};
  HGLOBAL handle = LoadResource(nullptr, info);
  if (handle == nullptr) return {};
  const auto* bytes = static_cast<const unsigned char*>(LockResource(handle));
  DWORD size = SizeofResource(nullptr, info);
  std::vector<unsigned char> copy;
  if (bytes != nullptr) copy.assign(bytes, bytes + size);
  FreeResource(handle);
  return copy;
}

}  // namespace

std::vector<unsigned char> loadRcdataResource(const std::string& name) {
  return copyResource(widen(name).c_str());
}

std::vector<unsigned char> loadRcdataResource(int id) {
  return copyResource(MAKEINTRESOURCEW(id));
}

}  // namespace platform
