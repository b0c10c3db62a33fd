#include "game/profiles.h"

#include <filesystem>
#include <system_error>

#include "game/settings.h"
#include "platform/files.h"
#include "platform/folders.h"

ProfileList profileList;
bool profilesScanned = false;

namespace {

namespace fs = std::filesystem;

constexpr std::string_view profileEnding = ".ini";
constexpr char platformSeparator = static_cast<char>(fs::path::preferred_separator);

bool isRealDirectory(const fs::directory_entry& entry) {
  std::error_code error;
  return entry.symlink_status(error).type() == fs::file_type::directory && !error;
}

// The entry's full path as a narrow text; nothing when it cannot be converted.
std::optional<std::string> narrowPath(const fs::directory_entry& entry) {
  try {
    return entry.path().string();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// Depth first, each folder's entries before the next one of its parent, like the
// platform's recursive enumeration; a folder that cannot be opened is left out
// without ending the walk.
std::vector<std::string> profileNamesBelow(const fs::path& root) {
  std::vector<std::string> names;
  std::vector<fs::directory_iterator> open;
  std::error_code error;
  fs::directory_iterator first(root, error);
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
    const auto path = narrowPath(entry);
    if (auto name = path ? profileNameOfPath(*path, platformSeparator) : std::nullopt) names.push_back(*name);
    if (isRealDirectory(entry)) {
      fs::directory_iterator inside(entry.path(), error);
      if (!error) open.push_back(std::move(inside));
    }
  }
  return names;
}

}  // namespace

std::optional<std::string> profileNameOfPath(std::string_view path, char separator) {
  if (!path.ends_with(profileEnding)) return std::nullopt;
  const auto cut = path.rfind(separator);
  std::string_view name = cut == std::string_view::npos ? path : path.substr(cut + 1);
  name.remove_suffix(profileEnding.size());
  return std::string(name);
}

std::optional<std::string> profileFolder() {
  if (settings.use_local_profile) return "./QuarnServer/__QuarnData/Profiles";
  auto documents = platform::documentsFolder();
  if (!documents) return std::nullopt;
  return *documents + "\\Haldrun\\Profiles";
}

void discoverProfiles(const std::string& folder) {
  std::vector<std::string> names{"(default)"};
  if (platform::pathExists(folder)) {
    auto found = profileNamesBelow(fs::path(platform::nativePath(folder)));
    names.insert(names.end(), found.begin(), found.end());
  }
  profileList.profileNames = std::move(names);
  profileList.selectedProfileIndex = 0;
  profileList.profileNameViews.clear();
  for (const auto& name : profileList.profileNames) profileList.profileNameViews.push_back(name.c_str());
  profileList.profileCount = static_cast<std::int32_t>(profileList.profileNames.size());
}

void refreshProfiles() {
  if (profilesScanned) return;
  if (auto folder = profileFolder()) discoverProfiles(*folder);
  profilesScanned = true;
}
