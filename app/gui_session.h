#pragma once
// One window's GUI: renderer, baked default font and Nuklear context.
#include "app/gui_renderer.h"

struct GuiSession {
  GuiRenderer renderer;
  nk_font_atlas atlas{};
  nk_context context{};
};

// Needs the window's OpenGL context to be current: sets up the renderer, bakes Nuklear's
// default font at 13 pixels into the font texture and initialises the context with it.
void setUpGui(GuiSession& gui);

// Clears the font atlas, frees the context, shuts the renderer down.
void shutDownGui(GuiSession& gui);
