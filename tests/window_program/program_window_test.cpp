// The program as a user meets it: started in a folder under a private X server, its windows
// found by title, looked at through screenshots (kept in the build folder's screenshots/),
// driven with xdotool.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "app/image_texture.h"
#include "platform/resources.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"
#include "tests/support/x11_window.h"
#include "tests/support/xvfb.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ProgramResult;
using testing_support::Screenshot;
using Environment = std::map<std::string, std::optional<std::string>>;

// Share of sample points where the screenshot shows the embedded picture stretched over it.
double shareShowing(const Screenshot& shot, const char* pictureName) {
  DecodedImage picture;
  decodeImage(platform::loadRcdataResource(pictureName), picture);
  int matching = 0, samples = 0;
  for (int y = 3; y < shot.height - 3; y += 7) {
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

class ProgramWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.running()); }

  // The program in the folder, with QUARNMP_MESSAGEBOX unset unless the extra sets it; waits
  // for it to end.
  std::future<ProgramResult> start(const std::filesystem::path& folder, const Environment& extra = {}) {
    testing_support::ProgramOptions options;
    options.workingDirectory = folder.string();
    options.environment = server.environment();
    options.environment["QUARNMP_MESSAGEBOX"] = std::nullopt;
    for (const auto& [name, value] : extra) options.environment[name] = value;
    options.timeout = 120s;
    return std::async(std::launch::async,
                      [options] { return testing_support::runProgram(QUARNMP_UPDATER_EXE, {}, options); });
  }

  // Screenshots of the window until one passes the check (10 s at most), the last one saved.
  template <typename Check>
  Screenshot waitForPicture(unsigned long window, const std::string& name, Check check) {
    Screenshot shot;
    for (int attempt = 0; attempt < 50 && !check(shot); ++attempt) {
      std::this_thread::sleep_for(200ms);
      if (auto taken = x.capture(window)) shot = *taken;
    }
    testing_support::saveScreenshot(shot, (testing_support::windowsPrograms ? "wine_" : "") + name);
    return shot;
  }

  bool xdotool(const std::vector<std::string>& arguments) {
    return testing_support::xdotool(server.display(), arguments);
  }

  testing_support::XvfbServer server;
  testing_support::X11Display x{server.display()};
  testing_support::TempFolder emptyFolder;
};

TEST_F(ProgramWindowTest, MainWindowShowsTheBackgroundFollowsResizesAndClosesWithZeroWithOrWithoutEs3) {
  const auto showsFront = [](const Screenshot& s) { return shareShowing(s, "NA3E_RSC") > 0.9; };
  const struct {
    const char* name;
    testing_support::TestLayout layout;
    Environment environment;
  } drivers[] = {{"main_window", testing_support::TestLayout::Rusk, {}},
                 // Plain OpenGL 3.3, where "#version 300 es" shaders do not compile.
                 {"main_window_without_es3",
                  testing_support::TestLayout::Tovan,
                  {{"MESA_EXTENSION_OVERRIDE", "-GL_ARB_ES3_compatibility"}}}};
  for (const auto& driver : drivers) {
    SCOPED_TRACE(driver.name);
    testing_support::TempFolder installation;
    testing_support::makeInstallation(installation.path(), driver.layout);
    auto program = start(installation.path(), driver.environment);
    const unsigned long window = x.waitForWindow(
        std::regex("QuarnMpUpdater - Version [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-5][0-9]"),
        60s);
    ASSERT_NE(window, 0u) << "no window titled \"QuarnMpUpdater - Version <build date> <build time>\"";
    // The first picture lies over the second, stretched to the window.
    Screenshot shot = waitForPicture(window, driver.name, showsFront);
    EXPECT_EQ(shot.width, 640);
    EXPECT_EQ(shot.height, 360);
    EXPECT_TRUE(showsFront(shot));
    EXPECT_LT(shareShowing(shot, "SE2E_RSC"), 0.5);

    xdotool({"windowsize", std::to_string(window), "800", "500"});
    shot = waitForPicture(window, std::string(driver.name) + "_resized",
                          [&](const Screenshot& s) { return s.width == 800 && s.height == 500 && showsFront(s); });
    EXPECT_EQ(shot.width, 800);
    EXPECT_TRUE(showsFront(shot)) << "the frames after the resize do not fill the new size";

    x.requestClose(window);
    ASSERT_EQ(program.wait_for(90s), std::future_status::ready);
    EXPECT_EQ(program.get().exitCode, 0);
  }
}

TEST_F(ProgramWindowTest, WrongDirectoryDialogShowsItsLinesAndClosesOnOkOrEnter) {
  for (const std::string way : {"ok", "enter"}) {
    SCOPED_TRACE(way);
    auto program = start(emptyFolder.path());
    const unsigned long window = x.waitForWindow(std::regex("Wrong directory!"), 60s);
    ASSERT_NE(window, 0u);
    // The text column lies right of the icon and above the button.
    // Wine draws the system's own box, dark text on grey: that one is only kept as a screenshot.
    const auto lines = [](const Screenshot& s) {
      if (testing_support::windowsPrograms) return s.width > 0 ? 4 : 0;
      return testing_support::brightBands(s, 56, s.width - 10, s.height - 50);
    };
    const Screenshot shot =
        waitForPicture(window, "wrong_directory_" + way, [&](const Screenshot& s) { return lines(s) == 4; });
    EXPECT_EQ(lines(shot), 4);
    const std::string id = std::to_string(window);
    if (way == "ok") {
      // Press and release come together, as a touchpad tap does.
      xdotool({"mousemove", "--window", id, std::to_string(shot.width / 2), std::to_string(shot.height - 28)});
      xdotool({"mousedown", "1", "mouseup", "1"});
    } else {
      xdotool({"windowfocus", "--sync", id});
      xdotool({"key", "Return"});
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

}  // namespace
