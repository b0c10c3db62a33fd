#pragma once
// Starting the game from a launch button: the language check, the switches, the process.
#include <string>
#include <vector>

#include "game/install_layout.h"
#include "game/profiles.h"
#include "game/settings.h"

namespace game {

enum class LaunchKind { MainGame = 0, Expansion = 1 };

// One launch button; the window builds two per frame, in the order of LaunchKind.
struct LaunchEntry {
  LaunchKind kind = LaunchKind::MainGame;
  std::string label;
  std::string tooltip;
};

// The language the game is started in: the setting when it is a code of the language table,
// otherwise the default one (a settings file may hold anything).
std::string launchLanguage(const Settings& settings);

// ".\base\qar\lng" + launchLanguage(settings) + "cfg0.qar": the archive a Rusk installation needs for
// the chosen language.
std::string languageArchivePath(const Settings& settings);

// The switches from the settings, the profile selected in the list and the button, in the game's order:
// language, profile, luadebugger, console, clipcursor, uselocalsettingsfolder, multiplayer,
// extra1. The profile name is quoted so that Windows hands it to the game as one argument,
// exactly as it is.
std::vector<std::string> gameArguments(const Settings& settings, const ProfileList& profiles, const LaunchEntry& entry,
                                       bool multiplayer);

// The switches joined with single spaces: the game's whole command line, of any length.
std::string gameCommandLine(const Settings& settings, const ProfileList& profiles, const LaunchEntry& entry,
                            bool multiplayer);

// Starts the game executable of the layout with those switches and returns at once. In the
// Rusk layout a missing language archive shows the text in a box captioned "Error!" instead.
// A failed start is not reported.
void launchGame(InstallLayout layout, const Settings& settings, const ProfileList& profiles, const LaunchEntry& entry,
                bool multiplayer, const std::string& languageMissingText);

}  // namespace game
