#include "game/launch.h"

#include <string_view>

#include "game/languages.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/process.h"

namespace game {

namespace {

// Between double quotes by the rules CommandLineToArgvW and the C run-time split a command line
// by: backslashes before a quote, or before the closing quote, are doubled and the quote is
// escaped, so no quote or trailing backslash of the text ends the argument.
std::string quotedForCommandLine(std::string_view text) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : text) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + '"';
}

}  // namespace

std::string launchLanguage(const Settings& settings) {
  const auto index = languageIndexOf(settings.language).value_or(defaultLanguageIndex);
  return languageTable.languageCodes[static_cast<std::size_t>(index)];
}

std::string languageArchivePath(const Settings& settings) {
  return ".\\base\\qar\\lng" + launchLanguage(settings) + "cfg0.qar";
}

std::vector<std::string> gameArguments(const Settings& settings, const ProfileList& profiles, const LaunchEntry& entry,
                                       bool multiplayer) {
  std::vector<std::string> arguments{"-language:" + launchLanguage(settings)};
  const std::int32_t profile = profiles.selectedProfileIndex;
  if (profile > 0 && profile < profiles.profileCount) {
    const std::string& name = profiles.profileNames[static_cast<std::size_t>(profile)];
    arguments.push_back("-profile:" + quotedForCommandLine(name));
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

std::string gameCommandLine(const Settings& settings, const ProfileList& profiles, const LaunchEntry& entry,
                            bool multiplayer) {
  std::string line;
  for (const std::string& argument : gameArguments(settings, profiles, entry, multiplayer)) {
    if (!line.empty()) line += ' ';
    line += argument;
  }
  return line;
}

void launchGame(InstallLayout layout, const Settings& settings, const ProfileList& profiles, const LaunchEntry& entry,
                bool multiplayer, const std::string& languageMissingText) {
  if (layout == InstallLayout::RuskEdition) {
    // Where the system could not tell (a folder it may not read), its reason follows the text.
    const platform::PathExistence archive = platform::pathExists(languageArchivePath(settings));
    if (!archive) {
      platform::showMessageBox("Error!", languageMissingText + (archive.failure ? "\r\n" + *archive.failure : ""),
                               platform::MessageBoxIcon::None);
      return;
    }
  }
  platform::startProcess(gameExecutablePath(layout), gameCommandLine(settings, profiles, entry, multiplayer));
}

}  // namespace game
