#include "game/launch.h"

#include "game/install_layout.h"
#include "game/profiles.h"
#include "game/settings.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/process.h"

std::string languageArchivePath() { return ".\\base\\qar\\lng" + settings.language + "cfg0.qar"; }

std::vector<std::string> gameArguments(const LaunchEntry& entry, bool multiplayer) {
  std::vector<std::string> arguments{"-language:" + settings.language};
  const std::int32_t profile = profileList.selectedProfileIndex;
  if (profile > 0 && profile < profileList.profileCount) {
    arguments.push_back("-profile:\"" + profileList.profileNames[static_cast<std::size_t>(profile)] + "\"");
  }
  const std::pair<bool, const char*> flags[] = {{settings.luadebugger, "-luadebugger"},
                                                {settings.console, "-console"},
                                                {settings.clip_cursor, "-clipcursor"},
                                                {settings.use_local_profile, "-uselocalsettingsfolder"},
                                                {multiplayer, "-multiplayer"},
                                                {entry.kind == LaunchKind::Expansion, "-extra1"}};
  for (const auto& [set, text] : flags) {
    if (set) arguments.emplace_back(text);
  }
  return arguments;
}

std::string gameCommandLine(const LaunchEntry& entry, bool multiplayer) {
  std::string line;
  for (const std::string& argument : gameArguments(entry, multiplayer)) {
    if (!line.empty()) line += ' ';
    line += argument;
  }
  return line;
}

void launchGame(const LaunchEntry& entry, bool multiplayer, const std::string& languageMissingText) {
  if (installLayout == InstallLayout::RuskEdition && !platform::pathExists(languageArchivePath())) {
    platform::showMessageBox("Error!", languageMissingText, platform::MessageBoxIcon::None);
    return;
  }
  platform::startProcess(gameExecutablePath(installLayout), gameCommandLine(entry, multiplayer));
}
