#include "app/frame_loop.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include "app/image_texture.h"
#include "app/window_input.h"
#include "ui/draw_frame.h"

GuiSession mainGui;

namespace {

constexpr double eventWaitSeconds = 0.001;

void runFrame(GLFWwindow* window, const AppMedia& media) {
  const FrameSize size = readFrameSize(window);
  feedFrameInput(window, &mainGui.context, eventWaitSeconds);
  drawFrame(media, &mainGui.context, size.windowWidth, size.windowHeight);
  if (!size.hasArea()) {
    // Minimised: keep the interface running (it polls background work) but draw nothing.
    nk_clear(&mainGui.context);
    return;
  }
  glViewport(0, 0, size.framebufferWidth, size.framebufferHeight);
  glClear(GL_COLOR_BUFFER_BIT);
  // From the second frame on the window is cleared to dark grey; the first gets black.
  glClearColor(0.2f, 0.2f, 0.2f, 1.0f);
  renderGui(mainGui.renderer, &mainGui.context, size.windowWidth, size.windowHeight, size.scale, NK_ANTI_ALIASING_ON);
  glfwSwapBuffers(window);
}

}  // namespace

void runWindow(GLFWwindow* window) {
  setUpGui(mainGui);
  AppMedia media = loadAppMedia();
  while (!glfwWindowShouldClose(window)) runFrame(window, media);
  deleteAppMedia(media);
  shutDownGui(mainGui);
  glfwTerminate();
}
