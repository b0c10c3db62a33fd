#include "app/frame_loop.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

void runFrameLoop(GLFWwindow* window) {
  while (!glfwWindowShouldClose(window)) {
    glfwWaitEventsTimeout(0.001);
    glClear(GL_COLOR_BUFFER_BIT);
    glfwSwapBuffers(window);
  }
  glfwTerminate();
}
