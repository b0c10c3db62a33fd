#pragma once
// What the application hands to the interface every frame.
#include "ui/gui_toolkit.h"

// A picture the GUI can draw: the OpenGL texture name with width, height and sub-region 0,
// which the library takes as the whole texture.
using GuiImage = struct nk_image;

struct AppMedia {
  GuiImage background1;  // resource "NA3E_RSC", 640 x 428
  GuiImage background2;  // resource "SE2E_RSC", 640 x 452
};
