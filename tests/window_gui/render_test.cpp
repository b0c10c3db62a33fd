// The GUI renderer drawing known Nuklear frames into an offscreen framebuffer of a real
// OpenGL context (Mesa's software driver under a private Xvfb).
#include "app/gui_session.h"
#include "app/image_texture.h"
#include "platform/resources.h"
#include "tests/window_gui/window_test_fixture.h"

namespace {

using Pixel = testing_support::Rgb;

class RendererTest : public WindowTest {
 protected:
  void SetUp() override {
    setUpGui(gui);
    // No window backgrounds: only what a test draws lands in the framebuffer.
    gui.context.style.window.fixed_background = nk_style_item_color(nk_rgba(0, 0, 0, 0));
  }
  void TearDown() override {
    shutDownGui(gui);
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &target);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
  }

  void useFramebuffer(int width, int height) {
    glGenTextures(1, &target);
    glBindTexture(GL_TEXTURE_2D, target);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
    ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    glViewport(0, 0, width, height);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    pixelsHigh = height;
  }

  // Builds one frame with the body drawing on a window's canvas, then renders it.
  template <typename Body>
  void render(int guiWidth, int guiHeight, FramebufferScale scale, Body body) {
    nk_context* ctx = &gui.context;
    const auto w = static_cast<float>(guiWidth), h = static_cast<float>(guiHeight);
    if (nk_begin(ctx, "Canvas", nk_rect(0, 0, w, h), NK_WINDOW_NO_SCROLLBAR | NK_WINDOW_NO_INPUT)) {
      body(nk_window_get_canvas(ctx), ctx->style.font);
    }
    nk_end(ctx);
    renderGui(gui.renderer, ctx, guiWidth, guiHeight, scale, NK_ANTI_ALIASING_ON);
  }

  // Framebuffer pixel, counted from the top left like the GUI.
  Pixel at(int x, int y) {
    unsigned char rgba[4] = {};
    glReadPixels(x, pixelsHigh - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return {rgba[0], rgba[1], rgba[2]};
  }

  GuiSession gui;
  GLuint framebuffer = 0, target = 0;
  int pixelsHigh = 0;
};

bool isRed(Pixel p) { return p.r > 200 && p.g < 40 && p.b < 40; }
bool isBlack(Pixel p) { return p.r < 10 && p.g < 10 && p.b < 10; }

TEST_F(RendererTest, FilledRectangleAndTextLandWhereTheGuiPutThem) {
  useFramebuffer(200, 100);
  render(200, 100, {1, 1}, [](nk_command_buffer* canvas, const nk_user_font* font) {
    nk_fill_rect(canvas, nk_rect(20, 10, 60, 30), 0, nk_rgb(255, 0, 0));
    nk_draw_text(canvas, nk_rect(100, 60, 100, 20), "MMMM", 4, font, nk_rgba(0, 0, 0, 0), nk_rgb(255, 255, 255));
  });
  EXPECT_TRUE(isRed(at(21, 11)));
  EXPECT_TRUE(isRed(at(78, 38)));
  EXPECT_TRUE(isBlack(at(18, 25)));
  EXPECT_TRUE(isBlack(at(50, 42)));
  // The glyphs come from the font texture: white pixels in the text's box, none outside it.
  int lit = 0;
  for (int y = 60; y < 80; ++y) {
    for (int x = 100; x < 150; ++x) lit += at(x, y).r > 128 ? 1 : 0;
  }
  EXPECT_GT(lit, 20);
  EXPECT_TRUE(isBlack(at(160, 90)));
}

TEST_F(RendererTest, AtFramebufferScaleTwoClipsScaleAndGeometryFillsTheViewport) {
  useFramebuffer(200, 200);
  render(100, 100, {2, 2}, [](nk_command_buffer* canvas, const nk_user_font*) {
    nk_fill_rect(canvas, nk_rect(10, 10, 20, 20), 0, nk_rgb(255, 0, 0));
    nk_push_scissor(canvas, nk_rect(50, 0, 50, 50));
    nk_fill_rect(canvas, nk_rect(40, 0, 60, 100), 0, nk_rgb(255, 0, 0));
  });
  // GUI (10,10)-(30,30) is framebuffer (20,20)-(60,60).
  EXPECT_TRUE(isRed(at(21, 21)));
  EXPECT_TRUE(isRed(at(58, 58)));
  EXPECT_TRUE(isBlack(at(62, 40)));
  // Clip (50,0,50,50) is framebuffer (100,0)-(200,100): red inside, nothing outside.
  EXPECT_TRUE(isRed(at(101, 1)));
  EXPECT_TRUE(isRed(at(198, 98)));
  EXPECT_TRUE(isBlack(at(90, 50)));
  EXPECT_TRUE(isBlack(at(150, 102)));
  EXPECT_TRUE(isBlack(at(150, 190)));
}

TEST_F(RendererTest, PicturesBecomeTexturesAndUnusableBytesDrawNothing) {
  const GuiImage picture = loadImageTexture(platform::loadRcdataResource("SE2E_RSC"));
  const GuiImage broken = loadImageTexture({'n', 'o', 'p', 'e'});
  GLint width = 0, height = 0;
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(picture.handle.id));
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 452);
  EXPECT_TRUE(glIsTexture(static_cast<GLuint>(broken.handle.id)));

  useFramebuffer(100, 100);
  render(100, 100, {1, 1}, [&](nk_command_buffer* canvas, const nk_user_font*) {
    nk_fill_rect(canvas, nk_rect(0, 0, 100, 100), 0, nk_rgb(255, 0, 0));
    nk_draw_image(canvas, nk_rect(0, 0, 50, 100), &broken, nk_rgb(255, 255, 255));
    nk_draw_image(canvas, nk_rect(50, 0, 50, 100), &picture, nk_rgb(255, 255, 255));
  });
  EXPECT_TRUE(isRed(at(25, 50))) << "an unusable picture covered what lay below it";
  EXPECT_FALSE(isRed(at(75, 50)));
  for (const GuiImage* image : {&picture, &broken}) {
    GLuint name = static_cast<GLuint>(image->handle.id);
    glDeleteTextures(1, &name);
  }
}

TEST_F(RendererTest, AFrameTooLargeForTheBuffersIsDroppedWhole) {
  useFramebuffer(100, 100);
  // About 1.3 MB of vertices: far beyond the 512 KiB vertex buffer.
  render(100, 100, {1, 1}, [](nk_command_buffer* canvas, const nk_user_font*) {
    for (int i = 0; i < 16000; ++i) nk_fill_circle(canvas, nk_rect(40, 40, 20, 20), nk_rgb(255, 0, 0));
  });
  EXPECT_TRUE(isBlack(at(50, 50)));
  // The next frame that fits draws again.
  render(100, 100, {1, 1}, [](nk_command_buffer* canvas, const nk_user_font*) {
    nk_fill_rect(canvas, nk_rect(0, 0, 100, 100), 0, nk_rgb(255, 0, 0));
  });
  EXPECT_TRUE(isRed(at(50, 50)));
}

}  // namespace
