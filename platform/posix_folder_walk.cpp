#include "platform/folder_walk.h"

#include <filesystem>
#include <system_error>

namespace platform {

namespace {

namespace fs = std::filesystem;

bool isRealDirectory(const fs::directory_entry& entry) {
  std::error_code error;
  return entry.symlink_status(error).type() == fs::file_type::directory && !error;
}

}  // namespace

std::vector<std::string> entryNamesBelow(const std::string& folder) {
  std::vector<std::string> names;
  std::vector<fs::directory_iterator> open;
  std::error_code error;
  fs::directory_iterator first(folder, error);
  if (error) return names;
  open.push_back(std::move(first));
  while (!open.empty()) {
    auto& current = open.back();
    if (current == fs::directory_iterator()) {
      open.pop_back();
      continue;
    }
    const fs::directory_entry entry = *current;
    current.increment(error);
    if (error) current = fs::directory_iterator();
    names.push_back(entry.path().filename().string());
    if (isRealDirectory(entry)) {
      fs::directory_iterator inside(entry.path(), error);
      if (!error) open.push_back(std::move(inside));
    }
  }
  return names;
}

}  // namespace platform
