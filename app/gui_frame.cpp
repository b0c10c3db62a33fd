#include "app/gui_frame.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include "app/window_input.h"

void hintOpenGlCoreProfile() {
  glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
  glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
}

bool loadOpenGl() {
  glewExperimental = GL_TRUE;
  return glewInit() == GLEW_OK;
}

void runGuiFrame(GLFWwindow* window, GuiSession& gui, double waitSeconds, const GuiDrawing& draw,
                 float nextClearGrey) {
  const FrameSize size = readFrameSize(window);
  feedFrameInput(window, &gui.context, waitSeconds);
  draw(&gui.context, size.windowWidth, size.windowHeight);
  if (!size.hasArea()) {
    nk_clear(&gui.context);
    return;
  }
  glViewport(0, 0, size.framebufferWidth, size.framebufferHeight);
  glClear(GL_COLOR_BUFFER_BIT);
  glClearColor(nextClearGrey, nextClearGrey, nextClearGrey, 1.0f);
  renderGui(gui.renderer, &gui.context, size.windowWidth, size.windowHeight, size.scale, NK_ANTI_ALIASING_ON);
  glfwSwapBuffers(window);
}
