#include "game/profiles.h"

#include "game/settings.h"
#include "platform/files.h"
#include "platform/folder_walk.h"
#include "platform/folders.h"

namespace game {

ProfileList profileList;
bool profilesScanned = false;

namespace {

constexpr std::string_view profileEnding = ".ini";

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
    for (const std::string& entry : platform::entryNamesBelow(platform::nativePath(folder))) {
      if (auto name = profileNameOfPath(entry, '/')) names.push_back(*name);  // a bare name
    }
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

}  // namespace game
