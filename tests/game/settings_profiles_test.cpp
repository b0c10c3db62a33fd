// Settings and profiles in a fresh temporary installation root (the working directory).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "game/game_state.h"
#include "game/languages.h"
#include "game/profiles.h"
#include "game/settings.h"
#include "tests/support/temp_folder.h"

using namespace testing_support;
namespace fs = std::filesystem;

const std::string defaults =
    R"({"clip_cursor":false,"console":false,"language":"de","luadebugger":false,"use_local_profile":false})";
const std::string aside = std::string(game::settingsFileName) + ".broken";

// Loads the text as the settings file: "<stored text or 'as written'>|<language index> '<language>' <clip_cursor
// console luadebugger use_local_profile>", "|reported" if stderr names the file, "|<path>=<content>" per file made.
static std::string loadFrom(const std::optional<std::string>& text) {
  game::resetGameState();
  if (text) writeFile(game::settingsFileName, *text);
  const std::set<fs::path> before(fs::recursive_directory_iterator("."), {});
  testing::internal::CaptureStderr();
  game::loadSettings();
  const std::string stored = readFile(game::settingsFileName), reported = testing::internal::GetCapturedStderr();
  std::string result = (stored == text ? "as written" : stored) + "|" + std::to_string(game::UiLanguageIndex) + " '" +
                       game::settings.language + "' ";
  for (bool flag : {game::settings.clip_cursor, game::settings.console, game::settings.luadebugger, game::settings.use_local_profile})
    result += flag ? "1" : "0";
  result += reported.starts_with(std::string(game::settingsFileName) + " cannot be used") ? "|reported" : reported;
  for (const fs::directory_entry& made : fs::recursive_directory_iterator("."))
    if (!before.count(made) && made.is_regular_file() && made.path().filename() != game::settingsFileName)
      result += "|" + made.path().lexically_relative(".").string() + "=" + readFile(made);
  return result;
}

// "<selected>|<count>|<names>", the names after the first sorted (the walk keeps the file
// system's order); the widget's views must show the names.
static std::string found() {
  std::vector<std::string> names(game::profileList.profileNameViews.begin(), game::profileList.profileNameViews.end());
  if (names != game::profileList.profileNames) return "the views differ";
  std::sort(names.begin() + !names.empty(), names.end());
  std::string text = std::to_string(game::profileList.selectedProfileIndex) + "|" + std::to_string(game::profileList.profileCount);
  for (const std::string& name : names) text += "|" + name;
  return text;
}

TEST(Game, SettingsFileIsReadAsStoredAndKeptAsideWhenBroken) {
  WorkingFolder folder;
  using namespace std::string_literals;
  const std::pair<std::optional<std::string>, std::string> cases[] = {
      {std::nullopt, defaults + "|2 'de' 0000"},
      {"{}", "as written|2 '' 0000"},  // not rewritten at start-up
      {"", defaults + "|2 'de' 0000|reported"},  // nothing to keep aside
      {R"({"language":"en","console":true})", "as written|3 'en' 0100"},
      {R"({"language":"EN"})", "as written|2 'EN' 0000"},
      {"\n {\"use_local_profile\" : true,\r\n \"x\": [1], \"language\": \"zh\"}\t", "as written|12 'zh' 0001"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(loadFrom(text), expected) << text.value_or("(no file)");
  int number = 0;
  for (const std::string& broken : {"not json"s, "{} x"s, "{\"language\":"s, R"({"console":"yes"})"s,
                                    R"({"language":5})"s, "{\"language\":\"\xff\"}"s, "{}\0x"s})
    EXPECT_EQ(loadFrom(broken), defaults + "|2 'de' 0000|reported|" + aside +
                                    (++number == 1 ? "" : std::to_string(number)) + "=" + broken);
  fs::remove(folder / game::settingsFileName);  // a file that cannot be read
  writeFile(folder / game::settingsFileName / "inside", "x");
  EXPECT_EQ(loadFrom(std::nullopt), defaults + "|2 'de' 0000|reported|" + aside + "8/inside=x");
  // With no free name left the file stays as it is.
  for (number = 9; number < 100; ++number) writeFile(folder / (aside + std::to_string(number)), "");
  EXPECT_EQ(loadFrom("kept"), "as written|2 'de' 0000|reported");

  game::settings = {"d\xc3\xa9", false, true, true, true};
  game::saveSettings();
  const std::string saved = readFile(folder / game::settingsFileName);
  EXPECT_EQ(saved, "{\"clip_cursor\":true,\"console\":true,\"language\":\"d\xc3\xa9\",\"luadebugger\":false,"
                   "\"use_local_profile\":true}");
  fs::permissions(folder / game::settingsFileName, fs::perms::owner_read);  // a save that fails says why
  game::settings.console = false;
  testing::internal::CaptureStderr();
  game::saveSettings();
  EXPECT_EQ(testing::internal::GetCapturedStderr() + readFile(folder / game::settingsFileName),
            "Error: Failed to save settings!\r\n" + std::string(game::settingsFileName) + ": Permission denied\n" + saved);
}

// Root reads any folder: the walk runs as "nobody" to meet a genuine EACCES in a subfolder. The
// Documents folder is searched too (the local one is the window test's).
TEST(Game, ProfilesAreIniNamesAtAnyDepth) {
  WorkingFolder folder;
  game::resetGameState();
  const fs::path profiles = folder / "Profiles";
  for (const char* file : {"first.ini", "notes.txt", "sub/second.ini", "third.INI", ".ini", "locked/hidden.ini",
                           "fourth.ini/x.txt", "a/b/deep.ini", "a\\b.ini", "../Outside/foreign.ini"})
    writeFile(profiles / file, "");
  fs::create_directory_symlink(folder / "Outside", profiles / "outside");
  fs::create_directory_symlink(profiles, profiles / "loop");
  fs::permissions(folder.path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
  fs::permissions(profiles / "locked", fs::perms::none);
  game::profileList.selectedProfileIndex = 3;
  const bool root = ::geteuid() == 0;
  ASSERT_TRUE(!root || (::setegid(65534) == 0 && ::seteuid(65534) == 0)) << "cannot become nobody";
  std::error_code denied;
  fs::directory_iterator probe(profiles / "locked", denied);
  game::discoverProfiles(profiles.string());
  ASSERT_TRUE(!root || (::seteuid(0) == 0 && ::setegid(0) == 0)) << "cannot become root again";
  EXPECT_TRUE(denied) << "the folder must really be unreadable";
  EXPECT_EQ(found(), "0|7|(default)||a\\b|deep|first|fourth|second");
  game::discoverProfiles((folder / "missing").string());
  EXPECT_EQ(found(), "0|1|(default)");
  EXPECT_EQ(game::profileNameOfPath("C:\\Docs\\Profiles\\x/y.ini", '\\'), "x/y");

  ::setenv("HOME", (folder / "home").c_str(), 1);  // no test after this one reads it
  ::unsetenv("XDG_CONFIG_HOME");
  writeFile(folder / "home/Documents/Haldrun/Profiles/player.ini", "");
  game::refreshProfiles();
  EXPECT_EQ(found(), "0|2|(default)|player") << "Documents + \"\\Haldrun\\Profiles\" works here";
}
