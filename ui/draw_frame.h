#pragma once
// The interface: builds one frame's GUI. Called once per frame between the input phase and
// rendering, with the window's size in screen units. Always returns 0.
#include "ui/app_media.h"

int drawFrame(const AppMedia& media, nk_context* ctx, int width, int height);
