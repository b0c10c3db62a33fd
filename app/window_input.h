#pragma once
// From a GLFW window to a Nuklear context: callbacks, polled keys and mouse, frame sizes.
#include "app/gui_renderer.h"

struct GLFWwindow;

// Attaches the context to the window (its user data) and registers the character and scroll
// callbacks. Mouse buttons are sticky, so a tap shorter than one frame still reaches the GUI.
void attachGuiToWindow(GLFWwindow* window, nk_context* ctx);

// Forgets mouse presses latched since the last frame: those the user made on the window while
// a modal box held the frame loop, which must not reach the window after the box is closed.
void dropLatchedInput(GLFWwindow* window);

// Input phase of one frame: waits up to the timeout for events (which run the callbacks),
// then hands the keys, cursor and mouse buttons to the context.
void feedFrameInput(GLFWwindow* window, nk_context* ctx, double waitSeconds);

struct FrameSize {
  int windowWidth = 0;   // screen units
  int windowHeight = 0;
  int framebufferWidth = 0;  // pixels
  int framebufferHeight = 0;
  FramebufferScale scale;

  // A minimised window has no area: nothing can be drawn, and the scale would divide by 0.
  bool hasArea() const { return windowWidth > 0 && windowHeight > 0; }
};

FrameSize readFrameSize(GLFWwindow* window);
