#include "app/frame_loop.h"

#include <GLFW/glfw3.h>

#include "app/gui_frame.h"
#include "app/image_texture.h"
#include "ui/draw_frame.h"
#include "update/tasks.h"

GuiSession mainGui;

namespace {

constexpr double eventWaitSeconds = 0.001;

}  // namespace

void runWindow(GLFWwindow* window) {
  setUpGui(mainGui);
  AppMedia media = loadAppMedia();
  // The first frame is cleared to black, every later one to dark grey.
  const GuiDrawing draw = [&](nk_context* ctx, int width, int height) { drawFrame(media, ctx, width, height); };
  // A replaced program ends the window, so that its successor can take its place.
  while (!glfwWindowShouldClose(window) && !update::replacedProgram()) {
    runGuiFrame(window, mainGui, eventWaitSeconds, draw, 0.2f);
  }
  deleteAppMedia(media);
  shutDownGui(mainGui);
  glfwTerminate();
}
