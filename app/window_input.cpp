#include "app/window_input.h"

#include <GLFW/glfw3.h>

#include <initializer_list>

namespace {

nk_context* contextOf(GLFWwindow* window) { return static_cast<nk_context*>(glfwGetWindowUserPointer(window)); }

void passCharacter(GLFWwindow* window, unsigned int codepoint) {
  if (nk_context* ctx = contextOf(window)) nk_input_unicode(ctx, codepoint);
}

// Horizontal scrolling is ignored.
void passScroll(GLFWwindow* window, double, double yOffset) {
  if (nk_context* ctx = contextOf(window)) nk_input_scroll(ctx, nk_vec2(0, static_cast<float>(yOffset)));
}

bool keyDown(GLFWwindow* window, int key) { return glfwGetKey(window, key) == GLFW_PRESS; }

void passKeys(GLFWwindow* window, nk_context* ctx) {
  static const struct {
    nk_keys key;
    int glfwKey;
  } plainKeys[] = {{NK_KEY_DEL, GLFW_KEY_DELETE},  {NK_KEY_ENTER, GLFW_KEY_ENTER}, {NK_KEY_TAB, GLFW_KEY_TAB},
                   {NK_KEY_BACKSPACE, GLFW_KEY_BACKSPACE}, {NK_KEY_UP, GLFW_KEY_UP}, {NK_KEY_DOWN, GLFW_KEY_DOWN},
                   {NK_KEY_LEFT, GLFW_KEY_LEFT}, {NK_KEY_RIGHT, GLFW_KEY_RIGHT}};
  for (const auto& entry : plainKeys) nk_input_key(ctx, entry.key, keyDown(window, entry.glfwKey));

  const bool control = keyDown(window, GLFW_KEY_LEFT_CONTROL) || keyDown(window, GLFW_KEY_RIGHT_CONTROL);
  nk_input_key(ctx, NK_KEY_COPY, control && keyDown(window, GLFW_KEY_C));
  nk_input_key(ctx, NK_KEY_PASTE, control && keyDown(window, GLFW_KEY_P));
  nk_input_key(ctx, NK_KEY_CUT, control && keyDown(window, GLFW_KEY_E));
  nk_input_key(ctx, NK_KEY_SHIFT, control);
}

void passMouse(GLFWwindow* window, nk_context* ctx) {
  double x = 0, y = 0;
  glfwGetCursorPos(window, &x, &y);
  const int mouseX = static_cast<int>(x);
  const int mouseY = static_cast<int>(y);
  nk_input_motion(ctx, mouseX, mouseY);
  nk_input_button(ctx, NK_BUTTON_LEFT, mouseX, mouseY,
                  glfwGetMouseButton(window, GLFW_MOUSE_BUTTON_LEFT) == GLFW_PRESS);
  nk_input_button(ctx, NK_BUTTON_MIDDLE, mouseX, mouseY,
                  glfwGetMouseButton(window, GLFW_MOUSE_BUTTON_MIDDLE) == GLFW_PRESS);
  nk_input_button(ctx, NK_BUTTON_RIGHT, mouseX, mouseY,
                  glfwGetMouseButton(window, GLFW_MOUSE_BUTTON_RIGHT) == GLFW_PRESS);
}

}  // namespace

void attachGuiToWindow(GLFWwindow* window, nk_context* ctx) {
  glfwSetWindowUserPointer(window, ctx);
  glfwSetCharCallback(window, passCharacter);
  glfwSetScrollCallback(window, passScroll);
  glfwSetInputMode(window, GLFW_STICKY_MOUSE_BUTTONS, GLFW_TRUE);
}

void dropLatchedInput(GLFWwindow* window) {
  // Reading a sticky button hands out its latch and clears it.
  for (int button : {GLFW_MOUSE_BUTTON_LEFT, GLFW_MOUSE_BUTTON_MIDDLE, GLFW_MOUSE_BUTTON_RIGHT}) {
    glfwGetMouseButton(window, button);
  }
}

void feedFrameInput(GLFWwindow* window, nk_context* ctx, double waitSeconds) {
  nk_input_begin(ctx);
  glfwWaitEventsTimeout(waitSeconds);
  passKeys(window, ctx);
  passMouse(window, ctx);
  nk_input_end(ctx);
}

FrameSize readFrameSize(GLFWwindow* window) {
  FrameSize size;
  glfwGetWindowSize(window, &size.windowWidth, &size.windowHeight);
  glfwGetFramebufferSize(window, &size.framebufferWidth, &size.framebufferHeight);
  if (size.hasArea()) {
    size.scale.x = static_cast<float>(size.framebufferWidth) / static_cast<float>(size.windowWidth);
    size.scale.y = static_cast<float>(size.framebufferHeight) / static_cast<float>(size.windowHeight);
  }
  return size;
}
