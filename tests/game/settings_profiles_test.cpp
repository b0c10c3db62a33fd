// Settings and profiles in a fresh temporary installation root (the working directory).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "game/game_state.h"
#include "game/languages.h"
#include "game/profiles.h"
#include "game/settings.h"
#include "tests/support/temp_folder.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const std::string defaults =
    R"({"clip_cursor":false,"console":false,"language":"de","luadebugger":false,"use_local_profile":false})";

class GameTest : public ::testing::Test {
 protected:
  void SetUp() override { resetGameState(); }
  void TearDown() override { resetGameState(); }
  std::string loadFrom(const std::string& text) {
    resetGameState();
    writeFile(folder / settingsFileName, text);
    loadSettings();
    return readFile(folder / settingsFileName);
  }
  // Sorted names (the walk keeps the file system's order); the widget's views must match.
  std::vector<std::string> found() {
    EXPECT_EQ(profileList.profileNames.at(0), "(default)");
    EXPECT_EQ(profileList.selectedProfileIndex, 0);
    EXPECT_EQ(profileList.profileCount, static_cast<int>(profileList.profileNameViews.size()));
    for (size_t i = 0; i < profileList.profileNameViews.size(); ++i)
      EXPECT_EQ(profileList.profileNameViews[i], profileList.profileNames.at(i).c_str());
    std::vector<std::string> names(profileList.profileNames.begin() + 1, profileList.profileNames.end());
    std::sort(names.begin(), names.end());
    return names;
  }
  WorkingFolder folder;
};

TEST_F(GameTest, SettingsAreReadAsStoredAndWrittenCompactWithAllMembers) {
  loadSettings();
  EXPECT_EQ(readFile(folder / settingsFileName), defaults);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 1) << "no temporary file left";

  EXPECT_EQ(loadFrom("{}"), "{}") << "not rewritten at start-up";
  EXPECT_EQ(settings.language, "");
  EXPECT_EQ(loadFrom(""), defaults);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 1) << "an empty file is not kept aside";
  loadFrom(R"({"language":"en","console":true})");
  EXPECT_TRUE(UiLanguageIndex == 3 && settings.console && !settings.luadebugger);
  loadFrom(R"({"language":"EN"})");
  EXPECT_TRUE(UiLanguageIndex == 2 && settings.language == "EN");
  loadFrom("\n {\"use_local_profile\" : true,\r\n \"x\": [1], \"language\": \"zh\"}\t");
  EXPECT_TRUE(UiLanguageIndex == 12 && settings.use_local_profile) << "the last language is found";

  settings.clip_cursor = settings.console = true;
  settings.language = "d\xc3\xa9";
  saveSettings();
  EXPECT_EQ(readFile(folder / settingsFileName),
            "{\"clip_cursor\":true,\"console\":true,\"language\":\"d\xc3\xa9\",\"luadebugger\":false,"
            "\"use_local_profile\":true}");
}

TEST_F(GameTest, BrokenSettingsAreKeptAsideUnderAFreeNameAndReplacedByTheDefaults) {
  using namespace std::string_literals;
  const std::string aside = std::string(settingsFileName) + ".broken";
  const auto asideName = [&](int number) { return aside + (number == 1 ? "" : std::to_string(number)); };
  int number = 0;
  for (const std::string& broken : {"not json"s, "{} x"s, "{\"language\":"s, R"({"console":"yes"})"s,
                                    R"({"language":5})"s, "{\"language\":\"\xff\"}"s, "{}\0x"s}) {
    SCOPED_TRACE(broken);
    EXPECT_EQ(loadFrom(broken), defaults);
    EXPECT_EQ(settings.language, "de");
    EXPECT_EQ(readFile(folder / asideName(++number)), broken);
  }
  // A file that cannot be read is named on standard error and kept aside too.
  fs::remove(folder / settingsFileName);
  writeFile(folder / settingsFileName / "inside", "x");
  testing::internal::CaptureStderr();
  loadSettings();
  EXPECT_NE(testing::internal::GetCapturedStderr().find("quarnmpupdater_config.json cannot be used"), std::string::npos);
  EXPECT_EQ(readFile(folder / settingsFileName), defaults);
  EXPECT_EQ(readFile(folder / (asideName(8) + "/inside")), "x");
  // With no free name left the file stays as it is.
  for (number = 9; number < 100; ++number) writeFile(folder / asideName(number), "");
  EXPECT_EQ(loadFrom("kept"), "kept");
}

// Also a subfolder that cannot be read: root reads any folder, so the walk runs as "nobody" to
// meet a genuine EACCES there.
TEST_F(GameTest, ProfilesAreIniFilesAndFoldersOfAllLevelsWithoutFollowingLinksOrUnreadableFolders) {
  const fs::path profiles = folder / "Profiles";
  for (const char* file : {"first.ini", "notes.txt", "sub/second.ini", "third.INI", ".ini", "locked/hidden.ini",
                           "fourth.ini/x.txt", "a/b/deep.ini", "a\\b.ini", "../Outside/foreign.ini"}) {
    writeFile(profiles / file, "");
  }
  fs::create_directory_symlink(folder / "Outside", profiles / "outside");
  fs::create_directory_symlink(profiles, profiles / "loop");
  fs::permissions(folder.path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
  fs::permissions(profiles / "locked", fs::perms::none);
  profileList.selectedProfileIndex = 3;
  const bool root = ::geteuid() == 0;
  ASSERT_TRUE(!root || (::setegid(65534) == 0 && ::seteuid(65534) == 0));
  std::error_code denied;
  fs::directory_iterator probe(profiles / "locked", denied);
  discoverProfiles(profiles.string());
  ASSERT_TRUE(!root || (::seteuid(0) == 0 && ::setegid(0) == 0));
  EXPECT_TRUE(denied) << "the folder must really be unreadable";
  EXPECT_EQ(found(), (std::vector<std::string>{"", "a\\b", "deep", "first", "fourth", "second"}));
  discoverProfiles((folder / "missing").string());
  EXPECT_EQ(found(), std::vector<std::string>{});
  EXPECT_EQ(profileNameOfPath("C:\\Docs\\Profiles\\x/y.ini", '\\'), "x/y");
}

// The local folder is the window test's.
TEST_F(GameTest, TheDocumentsProfileFolderIsSearched) {
  TempFolder home;
  const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "/root";
  ::setenv("HOME", home.path().c_str(), 1);
  ::unsetenv("XDG_CONFIG_HOME");
  writeFile(home / "Documents/Haldrun/Profiles/player.ini", "");
  refreshProfiles();
  ::setenv("HOME", oldHome.c_str(), 1);
  EXPECT_EQ(found(), std::vector<std::string>{"player"}) << "Documents + \"\\Haldrun\\Profiles\" works here";
}

}  // namespace
