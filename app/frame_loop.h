#pragma once
// The window's life after OpenGL is loaded: GUI set-up, background pictures, the frame loop
// until the window is asked to close or the program was replaced, then everything released
// and GLFW terminated.
#include "app/gui_session.h"

struct GLFWwindow;

// The main window's GUI, process-wide: its context is attached to the window at creation.
extern GuiSession mainGui;

void runWindow(GLFWwindow* window);
