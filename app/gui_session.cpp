#include "app/gui_session.h"

namespace {
constexpr float fontHeight = 13.0f;
}

void setUpGui(GuiSession& gui) {
  setUpGuiRenderer(gui.renderer);

  nk_font_atlas_init_default(&gui.atlas);
  nk_font_atlas_begin(&gui.atlas);
  nk_font* font = nk_font_atlas_add_default(&gui.atlas, fontHeight, nullptr);
  int width = 0, height = 0;
  const void* image = nk_font_atlas_bake(&gui.atlas, &width, &height, NK_FONT_ATLAS_RGBA32);
  uploadFontTexture(gui.renderer, image, width, height);
  nk_font_atlas_end(&gui.atlas, nk_handle_id(static_cast<int>(gui.renderer.fontTexture)),
                    &gui.renderer.whitePixel);

  nk_init_default(&gui.context, &font->handle);
}

void shutDownGui(GuiSession& gui) {
  nk_font_atlas_clear(&gui.atlas);
  nk_free(&gui.context);
  shutDownGuiRenderer(gui.renderer);
}
