// The message box dialog over an open window, the way a box raised from inside a frame meets it.
#include <atomic>
#include <thread>

#include "app/message_box_dialog.h"
#include "tests/window_input/window_test_fixture.h"

namespace {

using namespace std::chrono_literals;

class DialogTest : public WindowTest {
 protected:
  void SetUp() override { installMessageBoxDialog(); }
};

TEST_F(DialogTest, ClosesOnEscapeAndGivesTheOpenWindowItsContextBack) {
  int ownerGui = 0;
  glfwSetWindowUserPointer(window, &ownerGui);
  std::atomic<bool> found{false};
  std::atomic<int> lines{0};
  std::thread user([&] {
    testing_support::X11Display display(server->display());
    const unsigned long box = display.waitForWindow(std::regex("Careful"), 60s);
    found = box != 0;
    if (!found) return;
    if (auto shot = display.capture(box)) {
      // Bright text rows in the text column, counted as bands.
      bool inBand = false;
      for (int y = 0; y < shot->height - 50; ++y) {
        bool lit = false;
        for (int x = 56; x < shot->width - 10 && !lit; ++x) lit = shot->at(x, y).r > 120 && shot->at(x, y).g > 120;
        lines += lit && !inBand;
        inBand = lit;
      }
      testing_support::savePng(*shot, testing_support::screenshotPath("message_box_over_window"));
    }
    xdotool({"windowfocus", "--sync", std::to_string(box)});
    xdotool({"key", "Escape"});
  });
  // Line feeds and CR LF both break lines.
  const bool shown = showMessageBoxDialog("Careful", "first\r\nsecond\nthird", platform::MessageBoxIcon::Error);
  user.join();
  EXPECT_TRUE(found);
  EXPECT_TRUE(shown);
  EXPECT_EQ(lines, 3);
  EXPECT_EQ(glfwGetCurrentContext(), window);
  EXPECT_EQ(glfwGetWindowUserPointer(window), &ownerGui);
  glfwSetWindowUserPointer(window, nullptr);
}

TEST_F(DialogTest, OffTheMainThreadItDeclinesAtOnce) {
  bool shown = true;
  std::thread other([&] { shown = showMessageBoxDialog("Elsewhere", "text", platform::MessageBoxIcon::None); });
  other.join();
  EXPECT_FALSE(shown);
}

}  // namespace
