#pragma once
// What every window of the program does with OpenGL: the context it asks for, loading the
// entry points, and one frame of its GUI.
#include <functional>

#include "app/gui_session.h"

struct GLFWwindow;

// Asks GLFW for an OpenGL 3.3 core context in the windows created next.
void hintOpenGlCoreProfile();

// Loads the OpenGL entry points for the current context with GLEW (its experimental mode,
// which core profiles need). False when that fails.
bool loadOpenGl();

// Receives the GUI context and the window size in screen units, and draws one frame.
using GuiDrawing = std::function<void(nk_context* ctx, int width, int height)>;

// One frame: waits for input at most waitSeconds, feeds it to the GUI, draws, and renders
// over the cleared window (the clear colour is set afterwards, for the next frame). A
// minimised window gets the drawing, so the interface keeps running, but no rendering.
void runGuiFrame(GLFWwindow* window, GuiSession& gui, double waitSeconds, const GuiDrawing& draw,
                 float nextClearGrey);
