// Window input reaching the GUI context: real X events from xdotool, read by GLFW, handed on
// by the frame loop's input phase.
#include <thread>

#include "app/gui_session.h"
#include "app/window_input.h"
#include "tests/window_gui/window_test_fixture.h"

namespace {

using namespace std::chrono_literals;

class InputTest : public WindowTest {
 protected:
  void SetUp() override {
    setUpGui(gui);
    attachGuiToWindow(window, &ctx);
    const unsigned long id = x->waitForWindow(std::regex("window under test"), 20s);
    ASSERT_NE(id, 0u);
    windowId = std::to_string(id);
    xdotool({"windowfocus", "--sync", windowId});
    frame();
  }
  void TearDown() override {
    glfwSetWindowUserPointer(window, nullptr);
    shutDownGui(gui);
  }

  // One input phase after everything sent so far has arrived at the window: a frame that
  // takes longer than the user's action.
  void frame() {
    x->sync();
    std::this_thread::sleep_for(300ms);
    feedFrameInput(window, &ctx, 0.001);
  }

  GuiSession gui;
  nk_context& ctx = gui.context;
  std::string windowId;
};

TEST_F(InputTest, ATapShorterThanAFrameStillPressesOnce) {
  xdotool({"mousemove", "--window", windowId, "40", "30"});
  frame();
  xdotool({"mousedown", "1", "mouseup", "1"});
  frame();
  EXPECT_EQ(ctx.input.mouse.pos.x, 40);
  EXPECT_EQ(ctx.input.mouse.pos.y, 30);
  EXPECT_TRUE(nk_input_is_mouse_pressed(&ctx.input, NK_BUTTON_LEFT)) << "the tap was lost between two frames";
  frame();
  EXPECT_FALSE(nk_input_is_mouse_down(&ctx.input, NK_BUTTON_LEFT));
}

TEST_F(InputTest, VerticalScrollAddsAndHorizontalScrollIsIgnored) {
  xdotool({"mousemove", "--window", windowId, "40", "30"});
  xdotool({"click", "4", "click", "4", "click", "6", "click", "7", "click", "7"});
  frame();
  EXPECT_FLOAT_EQ(ctx.input.mouse.scroll_delta.y, 2.0f);
  EXPECT_FLOAT_EQ(ctx.input.mouse.scroll_delta.x, 0.0f);
}

TEST_F(InputTest, TypedCharactersAndControlChordsReachTheContext) {
  xdotool({"type", "--delay", "20", "Hi!"});
  frame();
  EXPECT_EQ(std::string(ctx.input.keyboard.text, static_cast<size_t>(ctx.input.keyboard.text_len)), "Hi!");

  const struct {
    const char* chord;
    nk_keys key;
  } chords[] = {{"ctrl+c", NK_KEY_COPY}, {"ctrl+p", NK_KEY_PASTE}, {"ctrl+e", NK_KEY_CUT}};
  for (const auto& chord : chords) {
    SCOPED_TRACE(chord.chord);
    xdotool({"keydown", chord.chord});
    frame();
    EXPECT_TRUE(ctx.input.keyboard.keys[chord.key].down);
    EXPECT_TRUE(ctx.input.keyboard.keys[NK_KEY_SHIFT].down);
    xdotool({"keyup", chord.chord});
    frame();
    EXPECT_FALSE(ctx.input.keyboard.keys[chord.key].down);
    EXPECT_FALSE(ctx.input.keyboard.keys[NK_KEY_SHIFT].down);
  }
}

}  // namespace
