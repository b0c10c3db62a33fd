#include "platform/folders.h"

#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace platform {

namespace {

std::optional<std::string> environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

// Reads XDG_DOCUMENTS_DIR="$HOME/..." from user-dirs.dirs, expanding a leading $HOME.
std::optional<std::string> xdgDocumentsDir(const std::string& home) {
  std::string config = environment("XDG_CONFIG_HOME").value_or(home + "/.config");
  std::ifstream file(config + "/user-dirs.dirs");
  std::string line;
  const std::string key = "XDG_DOCUMENTS_DIR=\"";
  while (std::getline(file, line)) {
    if (line.rfind(key, 0) != 0) continue;
    std::string value = line.substr(key.size());
    auto quote = value.find('"');
    if (quote == std::string::npos) return std::nullopt;
    value.resize(quote);
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    if (value.empty() || value[0] != '/') return std::nullopt;
    return value;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> documentsFolder() {
  auto home = environment("HOME");
  if (!home) return std::nullopt;
  if (auto xdg = xdgDocumentsDir(*home)) return xdg;
  return *home + "/Documents";
}

std::string executablePath() {
  char buffer[256] = {};
  ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

}  // namespace platform
