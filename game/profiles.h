#pragma once
// The player profiles: every file or folder whose name ends in ".ini" below the profile folder.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace game {

struct ProfileList {
  std::vector<std::string> profileNames;      // "(default)" first, then the profiles as found
  std::vector<const char*> profileNameViews;  // one pointer per name, for the selection widget
  std::int32_t profileCount = 0;              // 0 until the first search
  std::int32_t selectedProfileIndex = 0;      // 0 = "(default)": the game picks its own
};

// Process-wide, main thread only.
extern ProfileList profileList;
// True once the list belongs to the current profile folder; cleared when the folder choice changes.
extern bool profilesScanned;

// "./QuarnServer/__QuarnData/Profiles" with use_local_profile, else the Documents folder
// followed by "\Haldrun\Profiles"; nothing when the Documents folder is unknown.
std::optional<std::string> profileFolder();

// Replaces the list with "(default)" and the profiles below the folder (walked recursively
// in the file system's order, links to folders not followed, unreadable folders skipped),
// and puts the selection back on "(default)".
void discoverProfiles(const std::string& folder);

// Searches the profile folder unless profilesScanned is set, then sets it. Without a
// Documents folder the list stays as it was.
void refreshProfiles();

// The profile a path names: the text after the last separator without its ".ini" ending;
// nothing when the path does not end in ".ini" (case matters).
std::optional<std::string> profileNameOfPath(std::string_view path, char separator);

}  // namespace game
