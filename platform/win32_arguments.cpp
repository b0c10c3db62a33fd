#include "platform/arguments.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32_text.h"

namespace platform {

std::vector<std::string> programArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return argc < 1 ? std::vector<std::string>() : std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(utf8Of(wide[i]));
  LocalFree(wide);
  return arguments;
}

}  // namespace platform
