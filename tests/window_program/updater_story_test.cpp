// A new player's first run, as the player does it: the real program in a fresh installation
// under a private X server, nginx serving a published mod at the window's fixed address, and
// clicks at the window's layout positions. Screenshots of each step land in screenshots/.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "tests/support/nginx_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/x11_window.h"
#include "tests/support/xvfb.h"
#include "update/file_digest.h"

using namespace testing_support;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// Centres of the controls, in window coordinates, as the layout places them.
struct Point {
  int x, y;
};
constexpr Point fetchButton{80, 98}, diffButton{224, 98}, updateButton{369, 98};
constexpr Point languageCombo{170, 38}, englishItem{170, 135}, luaDebuggerBox{60, 58};
constexpr Point multiplayerMainGame{224, 118};

// Polls the condition (a minute at most); the action runs before each look, for clicks that
// a still running task may ignore.
template <typename Condition, typename Action>
bool eventually(Condition condition, Action action) {
  for (const auto deadline = std::chrono::steady_clock::now() + 60s; std::chrono::steady_clock::now() < deadline;) {
    action();
    for (int look = 0; look < 20; ++look, std::this_thread::sleep_for(50ms)) {
      if (condition()) return true;
    }
  }
  return condition();
}

TEST(UpdaterStory, FetchDiffUpdateInstallTheModThenTheChoicesAreSavedAndTheGameStarts) {
  TempFolder work;
  writeFile(work / "mod/version.txt", "QuarnMP story build\n");
  writeFile(work / "mod/maps/Ridge Map.txt", "a map with a space in its name");
  writeFile(work / "mod/bin/quarnmp.dat", std::string(100000, 'q'));
  writeFile(work / "plan.json", std::string(R"({"updater": ")") + QUARNMP_UPDATER_EXE + R"(", "sets": [
    {"name": "QuarnMP", "sourcepath": "files/quarnmp", "destinationpath": "QuarnServer", "url": "lists/quarnmp",
     "default": true, "folder": "mod"}]})");
  ASSERT_EQ(runProgram(QUARNMP_PUBLISH_EXE, {(work / "plan.json").string(), (work / "tree").string()}).exitCode, 0);
  NginxServer nginx(NginxOptions{work / "tree", shippedServerConfig(), "", 45004});

  const fs::path installation = work / "installation";
  makeInstallation(installation, TestLayout::Rusk);
  writeFile(installation / "base/bin/Ostmarka.exe",
            "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done > args.txt\n");
  fs::permissions(installation / "base/bin/Ostmarka.exe", fs::perms::owner_all);
  for (const char* language : {"de", "en"})
    writeFile(installation / "base/qar" / ("lng" + std::string(language) + "cfg0.qar"), "");

  XvfbServer xvfb;
  ASSERT_TRUE(xvfb.running());
  X11Display x(xvfb.display());
  const ProgramOptions options{installation.string(), xvfb.environment(), "", 300s};
  auto program = std::async(std::launch::async, [&] { return runProgram(QUARNMP_UPDATER_EXE, {}, options); });
  const unsigned long window = x.waitForWindow(std::regex("QuarnMpUpdater - Version .*"), 60s);
  ASSERT_NE(window, 0u);
  const std::string id = std::to_string(window);
  const auto click = [&](Point p) {
    xdotool(xvfb.display(), {"mousemove", "--window", id, std::to_string(p.x), std::to_string(p.y), "click", "1"});
  };
  const auto screenshot = [&](const std::string& name) {
    if (auto shot = x.capture(window)) saveScreenshot(*shot, "story_" + name);
  };
  const auto settingsHave = [&](const std::string& member) {
    return readFile(installation / "quarnmpupdater_config.json").find(member) != std::string::npos;
  };
  // Clicks count from the first frame on: wait for the top strip's grey.
  EXPECT_TRUE(eventually(
      [&] {
        auto shot = x.capture(window);
        return shot && shot->at(300, 10).g == 50;
      },
      [] {}));
  screenshot("start");

  click(fetchButton);
  // Diff is greyed until the catalogue is there; the comparison writes the digest cache.
  EXPECT_TRUE(
      eventually([&] { return fs::exists(installation / "updater_filemeta.json"); }, [&] { click(diffButton); }));
  screenshot("compared");
  // Installed, and the renewed comparison has put the new files into the digest cache.
  const auto installed = [&] {
    const std::string cache = readFile(installation / "updater_filemeta.json");
    for (const std::string key : {"version.txt", "maps/Ridge Map.txt", "bin/quarnmp.dat"}) {
      if (readFile(installation / "QuarnServer" / key) != readFile(work / "mod" / key) ||
          cache.find(md5OfFile((work / "mod" / key).string())) == std::string::npos)
        return false;
    }
    return true;
  };
  EXPECT_TRUE(eventually(installed, [&] { click(updateButton); }));
  screenshot("updated");

  EXPECT_TRUE(eventually([&] { return settingsHave("\"language\":\"en\""); },
                         [&] {
                           click(languageCombo);
                           screenshot("languages");
                           click(englishItem);
                         }));
  EXPECT_TRUE(eventually([&] { return settingsHave("\"luadebugger\":true"); }, [&] { click(luaDebuggerBox); }));
  screenshot("english");
  click(multiplayerMainGame);
  EXPECT_TRUE(eventually(
      [&] { return readFile(installation / "args.txt") == "[-language:en][-luadebugger][-multiplayer]"; }, [] {}))
      << readFile(installation / "args.txt");

  x.requestClose(window);
  ASSERT_EQ(program.wait_for(120s), std::future_status::ready);
  EXPECT_EQ(program.get().exitCode, 0);
}

}  // namespace
