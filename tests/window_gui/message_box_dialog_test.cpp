// The message box dialog over an open window, the way a box raised from inside a frame meets it.
#include <atomic>
#include <thread>

#include "app/message_box_dialog.h"
#include "tests/window_gui/window_test_fixture.h"

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
    // The window is mapped before its first frame is drawn: look until the text shows.
    for (int attempt = 0; attempt < 50 && lines != 3; ++attempt) {
      std::this_thread::sleep_for(200ms);
      auto shot = display.capture(box);
      if (!shot) continue;
      lines = testing_support::brightBands(*shot, 56, shot->width - 10, shot->height - 50);
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
