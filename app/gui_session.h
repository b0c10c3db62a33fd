#pragma once
// One window's GUI: renderer, baked default font and Nuklear context.
#include "app/gui_renderer.h"

struct GuiSession {
  GuiRenderer renderer;
  nk_font_atlas atlas{};
  nk_context context{};
};

struct BakedFont {
  nk_font* font = nullptr;
  const void* image = nullptr;  // RGBA, 32 bits per pixel; owned by the atlas
  int width = 0;
  int height = 0;
};

// Initialises the atlas and bakes Nuklear's built-in default font at 13 pixels into it.
// Needs no OpenGL: text can be measured before any window exists.
BakedFont bakeDefaultFont(nk_font_atlas& atlas);

// Needs the window's OpenGL context to be current: sets up the renderer, bakes Nuklear's
// default font at 13 pixels into the font texture and initialises the context with it.
void setUpGui(GuiSession& gui);

// Clears the font atlas, frees the context, shuts the renderer down.
void shutDownGui(GuiSession& gui);
