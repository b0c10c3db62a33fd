#pragma once

struct GLFWwindow;

// Runs the frame loop until the window is asked to close, then releases everything and
// terminates GLFW.
void runFrameLoop(GLFWwindow* window);
