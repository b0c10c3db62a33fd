// The program as a user meets it: started in a folder under a private X server, its windows
// found by title, looked at through screenshots (kept in the build folder's screenshots/),
// driven with xdotool.
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <regex>
#include <thread>

#include "app/image_texture.h"
#include "platform/resources.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"
#include "tests/support/x11_window.h"
#include "tests/support/xvfb.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ProgramOptions;
using testing_support::ProgramResult;
using testing_support::Screenshot;

const std::regex mainWindowTitle(
    "QuarnMpUpdater - Version [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-5][0-9]");
const std::regex wrongDirectoryTitle("Wrong directory!");

// Share of sample points where the screenshot shows the picture stretched over it.
double shareShowing(const Screenshot& shot, const DecodedImage& picture) {
  int matching = 0, samples = 0;
  for (int y = 3; y < shot.height - 3; y += 7) {
    for (int x = 3; x < shot.width - 3; x += 7) {
      const int px = static_cast<int>((x + 0.5) * picture.width / shot.width);
      const int py = static_cast<int>((y + 0.5) * picture.height / shot.height);
      const unsigned char* expected = &picture.pixels[(static_cast<size_t>(py) * picture.width + px) * 4];
      const auto seen = shot.at(x, y);
      matching += std::abs(seen.r - expected[0]) <= 20 && std::abs(seen.g - expected[1]) <= 20 &&
                  std::abs(seen.b - expected[2]) <= 20;
      ++samples;
    }
  }
  return samples == 0 ? 0.0 : static_cast<double>(matching) / samples;
}

DecodedImage embedded(const char* name) {
  DecodedImage picture;
  decodeImage(platform::loadRcdataResource(name), picture);
  return picture;
}

class ProgramWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.running());
    x = std::make_unique<testing_support::X11Display>(server.display());
    ASSERT_TRUE(x->connected());
  }

  std::future<ProgramResult> start(const std::map<std::string, std::optional<std::string>>& extra = {}) {
    ProgramOptions options;
    options.workingDirectory = folder.path().string();
    options.environment = server.environment();
    options.environment["QUARNMP_MESSAGEBOX"] = std::nullopt;
    for (const auto& [name, value] : extra) options.environment[name] = value;
    options.timeout = 120s;
    return std::async(std::launch::async, [options] {
      return testing_support::runProgram(QUARNMP_UPDATER_EXE, {}, options);
    });
  }

  // Waits for a screenshot of the window that satisfies the check; the last one taken.
  template <typename Check>
  Screenshot waitForPicture(unsigned long window, Check check) {
    Screenshot shot;
    for (int attempt = 0; attempt < 100; ++attempt) {
      if (auto taken = x->capture(window)) shot = *taken;
      if (check(shot)) break;
      std::this_thread::sleep_for(200ms);
    }
    return shot;
  }

  ProgramResult finish(std::future<ProgramResult>& program) {
    EXPECT_EQ(program.wait_for(90s), std::future_status::ready);
    return program.get();
  }

  testing_support::XvfbServer server;
  testing_support::TempFolder folder;
  std::unique_ptr<testing_support::X11Display> x;
};

TEST_F(ProgramWindowTest, MainWindowShowsTheBackgroundFollowsResizesAndClosesWithZero) {
  testing_support::makeInstallation(folder.path(), testing_support::TestLayout::Rusk);
  auto program = start();
  const unsigned long window = x->waitForWindow(mainWindowTitle, 60s);
  ASSERT_NE(window, 0u) << "no window titled \"QuarnMpUpdater - Version <build date> <build time>\"";
  const auto size = x->geometry(window);
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 640);
  EXPECT_EQ(size->height, 360);

  // The first picture lies over the second, stretched to the window.
  const DecodedImage front = embedded("NA3E_RSC"), back = embedded("SE2E_RSC");
  Screenshot shot = waitForPicture(window, [&](const Screenshot& s) { return shareShowing(s, front) > 0.9; });
  testing_support::savePng(shot, testing_support::screenshotPath("main_window"));
  EXPECT_GT(shareShowing(shot, front), 0.9);
  EXPECT_LT(shareShowing(shot, back), 0.5);

  x->resize(window, 800, 500);
  shot = waitForPicture(window, [&](const Screenshot& s) {
    return s.width == 800 && s.height == 500 && shareShowing(s, front) > 0.9;
  });
  testing_support::savePng(shot, testing_support::screenshotPath("main_window_resized"));
  EXPECT_EQ(shot.width, 800);
  EXPECT_GT(shareShowing(shot, front), 0.9) << "the frames after the resize do not fill the new size";

  x->requestClose(window);
  const ProgramResult result = finish(program);
  EXPECT_EQ(result.exitCode, 0) << result.err;
}

TEST_F(ProgramWindowTest, OnADriverWithoutEs3CompatibilityThePictureIsStillDrawn) {
  testing_support::makeInstallation(folder.path(), testing_support::TestLayout::Tovan);
  // Plain OpenGL 3.3: "#version 300 es" shaders do not compile there.
  auto program = start({{"MESA_EXTENSION_OVERRIDE", "-GL_ARB_ES3_compatibility"}});
  const unsigned long window = x->waitForWindow(mainWindowTitle, 60s);
  ASSERT_NE(window, 0u);
  const DecodedImage front = embedded("NA3E_RSC");
  Screenshot shot = waitForPicture(window, [&](const Screenshot& s) { return shareShowing(s, front) > 0.9; });
  EXPECT_GT(shareShowing(shot, front), 0.9);
  x->requestClose(window);
  EXPECT_EQ(finish(program).exitCode, 0);
}

TEST_F(ProgramWindowTest, WrongDirectoryDialogShowsItsLinesAndClosesOnOkOrEnter) {
  for (const char* way : {"ok", "enter"}) {
    SCOPED_TRACE(way);
    auto program = start();
    const unsigned long window = x->waitForWindow(wrongDirectoryTitle, 60s);
    ASSERT_NE(window, 0u);
    const auto area = x->geometry(window);
    ASSERT_TRUE(area);
    // The text column lies right of the icon and above the button.
    Screenshot shot = waitForPicture(window, [&](const Screenshot& s) {
      return s.width > 0 && testing_support::brightBands(s, 56, s.width - 10, s.height - 50) == 4;
    });
    testing_support::savePng(shot, testing_support::screenshotPath(std::string("wrong_directory_") + way));
    EXPECT_EQ(testing_support::brightBands(shot, 56, shot.width - 10, shot.height - 50), 4);

    const std::string display = server.display();
    if (std::string(way) == "ok") {
      // Press and release come together, as a touchpad tap does.
      const int buttonX = area->x + area->width / 2, buttonY = area->y + area->height - 28;
      testing_support::xdotool(display, {"mousemove", std::to_string(buttonX), std::to_string(buttonY)});
      testing_support::xdotool(display, {"mousedown", "1", "mouseup", "1"});
    } else {
      testing_support::xdotool(display, {"windowfocus", "--sync", std::to_string(window)});
      testing_support::xdotool(display, {"key", "Return"});
    }
    const ProgramResult result = finish(program);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err.find("Wrong directory!"), std::string::npos) << "shown on standard error instead";
  }
}

TEST_F(ProgramWindowTest, WithoutDisplayOrWhenAskedTheBoxGoesToStandardError) {
  for (const auto& environment : std::vector<std::map<std::string, std::optional<std::string>>>{
           {{"QUARNMP_MESSAGEBOX", "stderr"}}, {{"DISPLAY", std::nullopt}}}) {
    auto program = start(environment);
    const ProgramResult result = finish(program);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.err.find("Wrong directory!: This executable has to be placed in a specific directory.\n"
                              "For Tovan Edition"),
              std::string::npos)
        << result.err;
  }
}

}  // namespace
