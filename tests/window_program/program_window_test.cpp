// The program as a user meets it: started in a folder under a private X server, its windows
// found by title, looked at through screenshots (kept in the build folder's screenshots/),
// driven with xdotool.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <future>
#include <thread>

#include "app/image_texture.h"
#include "platform/resources.h"
#include "tests/support/nginx_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"
#include "tests/support/x11_window.h"
#include "tests/support/xvfb.h"
#include "update/file_digest.h"

namespace {

using namespace std::chrono_literals;
using namespace testing_support;
namespace fs = std::filesystem;

// Share of sample points below the controls (from y = 200) where the screenshot shows the
// embedded picture stretched over it.
double shareShowing(const Screenshot& shot, const char* pictureName) {
  DecodedImage picture;
  decodeImage(platform::loadRcdataResource(pictureName), picture);
  int matching = 0, samples = 0;
  for (int y = 200; y < shot.height - 3; y += 7) {
    for (int x = 3; x < shot.width - 3; x += 7, ++samples) {
      const int px = static_cast<int>((x + 0.5) * picture.width / shot.width);
      const int py = static_cast<int>((y + 0.5) * picture.height / shot.height);
      const unsigned char* expected = &picture.pixels[(static_cast<size_t>(py) * picture.width + px) * 4];
      const auto seen = shot.at(x, y);
      matching += std::abs(seen.r - expected[0]) <= 20 && std::abs(seen.g - expected[1]) <= 20 &&
                  std::abs(seen.b - expected[2]) <= 20;
    }
  }
  return samples == 0 ? 0.0 : static_cast<double>(matching) / samples;
}

// One picture or the other, as the cross-fade goes.
bool showsPicture(const Screenshot& shot) {
  return std::max(shareShowing(shot, "NA3E_RSC"), shareShowing(shot, "SE2E_RSC")) > 0.9;
}

class ProgramWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.running()); }

  // The program in the folder with the display's variables and QUARNMP_MESSAGEBOX unset, unless
  // the extra ones say otherwise; waits for it to end.
  std::future<ProgramResult> start(const fs::path& folder, decltype(ProgramOptions::environment) extra = {}) {
    extra.merge(server.environment());
    extra.try_emplace("QUARNMP_MESSAGEBOX", std::nullopt);
    const ProgramOptions options{folder.string(), extra, 120s};
    return std::async(std::launch::async, [options] { return runProgram(QUARNMP_UPDATER_EXE, {}, options); });
  }

  // Screenshots of the window until one passes the check (10 s at most), the last one saved.
  template <typename Check>
  Screenshot waitForPicture(unsigned long window, const std::string& name, Check check) {
    Screenshot shot;
    for (int attempt = 0; attempt < 50 && !check(shot); ++attempt) {
      std::this_thread::sleep_for(200ms);
      if (auto taken = x.capture(window)) shot = *taken;
    }
    saveScreenshot(shot, name);
    return shot;
  }

  bool xdotool(const std::vector<std::string>& arguments) {
    return testing_support::xdotool(server.display(), arguments);
  }

  XvfbServer server;
  X11Display x{server.display()};
  TempFolder emptyFolder;
};

// Plain OpenGL 3.3, where "#version 300 es" shaders do not compile (the first-run story below
// has them).
TEST_F(ProgramWindowTest, MainWindowShowsTheBackgroundFollowsResizesAndClosesWithZeroWithoutEs3) {
  makeInstallation(emptyFolder.path(), TestLayout::Tovan);
  auto program = start(emptyFolder.path(), {{"MESA_EXTENSION_OVERRIDE", "-GL_ARB_ES3_compatibility"}});
  const unsigned long window = x.waitForWindow(
      std::regex("QuarnMpUpdater - Version [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-5][0-9]"), 60s);
  ASSERT_NE(window, 0u) << "no window titled \"QuarnMpUpdater - Version <build date> <build time>\"";
  // A picture stretched to the window.
  Screenshot shot = waitForPicture(window, "main_window_without_es3", showsPicture);
  EXPECT_EQ(shot.width, 640);
  EXPECT_EQ(shot.height, 360);
  EXPECT_TRUE(showsPicture(shot));

  xdotool({"windowsize", std::to_string(window), "800", "500"});
  shot = waitForPicture(window, "main_window_resized",
                        [&](const Screenshot& s) { return s.width == 800 && s.height == 500 && showsPicture(s); });
  EXPECT_EQ(shot.width, 800);
  EXPECT_TRUE(showsPicture(shot)) << "the frames after the resize do not fill the new size";

  x.requestClose(window);
  ASSERT_EQ(program.wait_for(90s), std::future_status::ready);
  EXPECT_EQ(program.get().exitCode, 0);
}

TEST_F(ProgramWindowTest, WrongDirectoryDialogShowsItsLinesAndClosesOnOkOrEnter) {
  for (const std::string way : {"ok", "enter"}) {
    SCOPED_TRACE(way);
    auto program = start(emptyFolder.path());
    const unsigned long window = x.waitForWindow(std::regex("Wrong directory!"), 60s);
    ASSERT_NE(window, 0u);
    // The text column lies right of the icon and above the button.
    const auto lines = [](const Screenshot& s) { return brightBands(s, 56, s.width - 10, s.height - 50); };
    const Screenshot shot =
        waitForPicture(window, "wrong_directory_" + way, [&](const Screenshot& s) { return lines(s) == 4; });
    EXPECT_EQ(lines(shot), 4);
    const std::string id = std::to_string(window);
    if (way == "ok") {
      // Press and release come together, as a touchpad tap does.
      xdotool({"mousemove", "--window", id, std::to_string(shot.width / 2), std::to_string(shot.height - 28)});
      xdotool({"mousedown", "1", "mouseup", "1"});
    } else {
      // A key goes to whichever window holds the focus when the server takes it; on a loaded
      // machine the focus may not have settled yet, so press again until the box has gone.
      for (int tries = 0; tries < 18 && program.wait_for(0s) != std::future_status::ready; ++tries) {
        xdotool({"windowfocus", "--sync", id});
        xdotool({"key", "Return"});
        program.wait_for(5s);
      }
    }
    ASSERT_EQ(program.wait_for(90s), std::future_status::ready);
    const ProgramResult result = program.get();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err.find("Wrong directory!"), std::string::npos) << "shown on standard error instead";
  }
}

TEST_F(ProgramWindowTest, WhenAskedTheBoxGoesToStandardErrorDespiteTheDisplay) {
  const ProgramResult result = start(emptyFolder.path(), {{"QUARNMP_MESSAGEBOX", "stderr"}}).get();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.err.find("Wrong directory!: This executable has to be placed"), std::string::npos) << result.err;
}

// Centres of the controls, in window coordinates, as the layout places them.
struct Point {
  int x, y;
};
constexpr Point fetchButton{80, 98}, diffButton{224, 98}, updateButton{369, 98}, multiplayerMainGame{224, 118};

// Polls the condition (a minute at most); the action runs before each second of looking, for
// clicks that a still running task may ignore.
template <typename Condition>
bool eventually(Condition condition, const std::function<void()>& action = [] {}) {
  for (const auto end = std::chrono::steady_clock::now() + 60s; std::chrono::steady_clock::now() < end;) {
    action();
    for (int look = 0; look < 20; ++look, std::this_thread::sleep_for(50ms))
      if (condition()) return true;
  }
  return condition();
}

// A new player's first run: nginx serves a published mod at the window's fixed address, and the
// player clicks at the layout's positions.
TEST_F(ProgramWindowTest, FetchDiffUpdateInstallTheModThenTheGameStarts) {
  TempFolder work;
  const std::string files[] = {"version.txt", "maps/Ridge Map.txt", "bin/quarnmp.dat"};
  for (const std::string& file : files) writeFile(work / "mod" / file, "content of " + file);
  writeFile(work / "plan.json", std::string(R"({"updater": ")") + QUARNMP_UPDATER_EXE + R"(", "sets": [
    {"name": "QuarnMP", "sourcepath": "files/quarnmp", "destinationpath": "QuarnServer", "url": "lists/quarnmp",
     "default": true, "folder": "mod"}]})");
  ASSERT_EQ(runProgram(QUARNMP_PUBLISH_EXE, {(work / "plan.json").string(), (work / "tree").string()}).exitCode, 0);
  NginxServer nginx(work / "tree", "", 45004);
  const fs::path installation = work / "installation";
  makeInstallation(installation, TestLayout::Rusk);
  writeFile(installation / "base/bin/Ostmarka.exe", "#!/bin/sh\nfor a; do printf '[%s]' \"$a\"; done > args.txt\n");
  fs::permissions(installation / "base/bin/Ostmarka.exe", fs::perms::owner_all);
  writeFile(installation / "base/qar/lngdecfg0.qar", "");

  auto program = start(installation);
  const unsigned long window = x.waitForWindow(std::regex("QuarnMpUpdater - Version .*"), 60s);
  ASSERT_NE(window, 0u);
  const auto click = [&](Point p) {
    xdotool({"mousemove", "--window", std::to_string(window), std::to_string(p.x), std::to_string(p.y), "click", "1"});
  };
  // Clicks count from the first frame on: wait for the top strip's grey over the background.
  const auto drawn = [](const Screenshot& s) { return s.width > 300 && s.at(300, 10).g == 50 && showsPicture(s); };
  EXPECT_TRUE(drawn(waitForPicture(window, "main_window", drawn)));

  click(fetchButton);
  // Diff is greyed until the catalogue is there; the comparison writes the digest cache.
  const auto cache = [&] { return readFile(installation / "updater_filemeta.json"); };
  EXPECT_TRUE(eventually([&] { return cache() != "<missing>"; }, [&] { click(diffButton); }));
  // Installed, and the renewed comparison has put their digests into the cache.
  EXPECT_TRUE(eventually(
      [&] {
        return std::all_of(std::begin(files), std::end(files), [&](const std::string& file) {
          return readFile(installation / "QuarnServer" / file) == "content of " + file &&
                 cache().find(md5OfFile((work / "mod" / file).string())) != std::string::npos;
        });
      },
      [&] { click(updateButton); }));
  click(multiplayerMainGame);
  const auto args = [&] { return readFile(installation / "args.txt"); };
  EXPECT_TRUE(eventually([&] { return args() == "[-language:de][-multiplayer]"; })) << args();

  x.requestClose(window);
  ASSERT_EQ(program.wait_for(120s), std::future_status::ready);
  EXPECT_EQ(program.get().exitCode, 0);
}

}  // namespace
