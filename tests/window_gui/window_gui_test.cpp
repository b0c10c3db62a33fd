// The GUI's window stack on a real window (Mesa's software OpenGL under a private Xvfb, denied ES 3 so that the
// renderer takes its fallback shaders): the renderer, input from real X events, the message box over the window.
#include <gtest/gtest.h>

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <thread>

#include "app/gui_frame.h"
#include "app/gui_session.h"
#include "app/image_texture.h"
#include "app/message_box_dialog.h"
#include "app/window_input.h"
#include "tests/support/x11_window.h"

namespace {

using namespace std::chrono_literals;
using namespace testing_support;

const nk_color red = nk_rgb(255, 0, 0);

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    installMessageBoxDialog();
    ASSERT_TRUE(server.running());
    for (const auto& [name, value] : server.environment())
      value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    ::setenv("MESA_EXTENSION_OVERRIDE", "-GL_ARB_ES3_compatibility", 1);
    ASSERT_TRUE(glfwInit());
    hintOpenGlCoreProfile();
    window = glfwCreateWindow(300, 200, "window under test", nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    glfwMakeContextCurrent(window);
    ASSERT_TRUE(loadOpenGl());
    setUpGui(gui);
    // No window backgrounds: only what a test draws lands in the framebuffer.
    ctx.style.window.fixed_background = nk_style_item_color(nk_rgba(0, 0, 0, 0));
    attachGuiToWindow(window, &ctx);
    windowId = std::to_string(server.waitForWindow(std::regex("window under test"), 20s));
    ASSERT_NE(windowId, "0");
    server.xdotool({"windowfocus", "--sync", windowId});
  }
  void TearDown() override {
    if (glfwGetCurrentContext() != nullptr) shutDownGui(gui);
    glfwTerminate();
  }

  // One frame of a 100 x 100 GUI, drawn by the body, rendered into a black viewport of 100 * scale pixels square.
  template <typename Body>
  void render(int framebufferScale, Body body) {
    scale = framebufferScale;
    glViewport(0, 0, 100 * scale, 100 * scale);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    if (nk_begin(&ctx, "Canvas", nk_rect(0, 0, 100, 100), NK_WINDOW_NO_SCROLLBAR | NK_WINDOW_NO_INPUT))
      body(nk_window_get_canvas(&ctx), ctx.style.font);
    nk_end(&ctx);
    renderGui(gui.renderer, &ctx, 100, 100, {1.0f * scale, 1.0f * scale}, NK_ANTI_ALIASING_ON);
  }
  // Framebuffer pixel, counted from the top left like the GUI.
  Rgb at(int x, int y) {
    unsigned char rgba[4] = {};
    glReadPixels(x, 100 * scale - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return {rgba[0], rgba[1], rgba[2]};
  }
  // At each GUI point, scaled to the framebuffer: 'R' for red, '.' for black, '?' for other colours.
  std::string colours(std::initializer_list<std::pair<int, int>> points) {
    std::string seen;
    for (auto [x, y] : points) {
      const Rgb p = at(x * scale, y * scale);
      seen += p.r > 200 && p.g < 40 && p.b < 40 ? 'R' : p.r < 10 && p.g < 10 && p.b < 10 ? '.' : '?';
    }
    return seen;
  }

  // One input phase once everything sent so far has reached the window: longer than the user's action.
  void frame() {
    server.sync();
    std::this_thread::sleep_for(300ms);
    feedFrameInput(window, &ctx, 0.001);
  }

  XvfbServer server;
  GLFWwindow* window = nullptr;
  std::string windowId;  // X's, once the window takes the GUI's input and has the focus
  GuiSession gui;
  nk_context& ctx = gui.context;
  int scale = 1;
};

TEST_F(WindowTest, DrawingLandsAtBothScales) {
  // At scale 2 the geometry stays in GUI units (the viewport doubles it) while clip rectangles,
  // given to OpenGL in framebuffer pixels, are scaled.
  ASSERT_EQ(gui.renderer.shaderDialect, ShaderDialect::Core330) << "Mesa still compiles ES 3 shaders";
  for (int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    render(scale, [](nk_command_buffer* canvas, const nk_user_font* font) {
      nk_fill_rect(canvas, nk_rect(10, 10, 20, 20), 0, red);
      nk_draw_text(canvas, nk_rect(10, 60, 50, 20), "MMMM", 4, font, nk_rgba(0, 0, 0, 0), nk_rgb(255, 255, 255));
      nk_push_scissor(canvas, nk_rect(50, 0, 50, 50));
      nk_fill_rect(canvas, nk_rect(40, 0, 60, 100), 0, red);
    });
    EXPECT_EQ(
        colours({{11, 11}, {28, 28}, {51, 1}, {98, 48}, {8, 20}, {32, 20}, {45, 20}, {75, 52}, {75, 95}, {70, 70}}),
        "RRRR......");
    // The glyphs come from the font texture: white pixels in the text's box.
    int lit = 0;
    for (int y = 60 * scale; y < 80 * scale; ++y)
      for (int x = 10 * scale; x < 60 * scale; ++x) lit += at(x, y).r > 128 ? 1 : 0;
    EXPECT_GT(lit, 20 * scale * scale);
  }
  // About 1.3 MB of vertices: far beyond the 512 KiB vertex buffer.
  render(1, [](nk_command_buffer* canvas, const nk_user_font*) {
    for (int i = 0; i < 16000; ++i) nk_fill_circle(canvas, nk_rect(40, 40, 20, 20), red);
  });
  EXPECT_EQ(colours({{50, 50}}), ".");
  // The next frame that fits draws again; bytes that are no picture still make a texture, an empty one.
  GuiImage broken = loadImageTexture({'n', 'o', 'p', 'e'});
  EXPECT_TRUE(glIsTexture(static_cast<GLuint>(broken.handle.id)));
  render(1, [&](nk_command_buffer* canvas, const nk_user_font*) {
    nk_fill_rect(canvas, nk_rect(0, 0, 100, 100), 0, red);
    nk_draw_image(canvas, nk_rect(0, 0, 100, 100), &broken, nk_rgb(255, 255, 255));
  });
  EXPECT_EQ(colours({{50, 50}}), "R");
  glDeleteTextures(1, reinterpret_cast<GLuint*>(&broken.handle.id));
}

TEST_F(WindowTest, InputReachesTheContext) {
  frame();  // focus in a frame of its own: taps in the frame right after it arrive a frame late
  server.xdotool({"mousemove", "--window", windowId, "40", "30"});
  frame();
  server.xdotool(
      {"mousedown", "1", "mouseup", "1", "click", "4", "click", "4", "click", "6", "click", "7", "click", "7"});
  server.xdotool({"type", "--delay", "20", "Hi!"});
  frame();
  EXPECT_EQ((std::pair{ctx.input.mouse.pos.x, ctx.input.mouse.pos.y}), (std::pair{40.0f, 30.0f}));
  EXPECT_TRUE(nk_input_is_mouse_pressed(&ctx.input, NK_BUTTON_LEFT)) << "the tap was lost between two frames";
  // Vertical scroll adds up, horizontal scroll is ignored.
  EXPECT_EQ((std::pair{ctx.input.mouse.scroll_delta.x, ctx.input.mouse.scroll_delta.y}), (std::pair{0.0f, 2.0f}));
  EXPECT_EQ(std::string(ctx.input.keyboard.text, static_cast<size_t>(ctx.input.keyboard.text_len)), "Hi!");
  frame();
  EXPECT_FALSE(nk_input_is_mouse_down(&ctx.input, NK_BUTTON_LEFT));
}

TEST_F(WindowTest, MessageBoxOverTheWindowDropsAClickMadeMeanwhile) {
  // A box raised from inside a frame (a second press of a launch button, say) over the open window,
  // closed with Escape. A click on the window meanwhile is latched by the sticky buttons; it must not
  // reach the window afterwards. Off the main thread the dialog declines at once.
  bool offMainThread = true;
  std::thread([&] { offMainThread = showMessageBoxDialog("Elsewhere", "", platform::MessageBoxIcon::None); }).join();
  EXPECT_FALSE(offMainThread);
  server.xdotool({"windowmove", "--sync", windowId, "400", "300"});  // out from under the box
  frame();
  int lines = 0, pastTheWords = -1;  // read after the user's thread has ended
  std::thread user([&] {
    const unsigned long box = server.waitForWindow(std::regex("Careful"), 60s);
    server.xdotool({"mousemove", "--window", windowId, "40", "30", "click", "1"});
    server.sync();
    // The window is mapped before its first frame is drawn: look until the text shows.
    for (int attempt = 0; box != 0 && attempt < 50 && lines != 3; ++attempt) {
      std::this_thread::sleep_for(200ms);
      if (auto shot = server.capture(box)) {
        lines = brightBands(*shot, 56, shot->width - 10, shot->height - 50);
        // The words end at x = 79; a carriage return drawn as a glyph would show beyond.
        pastTheWords = brightBands(*shot, 81, shot->width - 10, shot->height - 50);
        saveScreenshot(*shot, "message_box_over_window");
      }
    }
    server.xdotool({"windowfocus", "--sync", std::to_string(box)});
    server.xdotool({"key", "Escape"});
  });
  // Line feeds and CR LF both break lines.
  const bool shown = showMessageBoxDialog("Careful", "one\r\ntwo\nten", platform::MessageBoxIcon::Error);
  user.join();
  EXPECT_EQ((std::tuple{shown, lines, pastTheWords, glfwGetCurrentContext(), glfwGetWindowUserPointer(window)}),
            (std::tuple{true, 3, 0, window, static_cast<void*>(&ctx)}));
  frame();
  EXPECT_FALSE(nk_input_is_mouse_pressed(&ctx.input, NK_BUTTON_LEFT)) << "the click reached the window late";
}

}  // namespace
