#include "platform/process.h"

#include <windows.h>

#include <vector>

namespace platform {

bool startProcess(const std::string& executable, const std::string& commandLine) {
  // CreateProcessA may write into the command line: a zeroed buffer of the needed size.
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(executable.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  // Not waited for: the handles are only closed, so they do not pile up with every start.
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

}  // namespace platform
