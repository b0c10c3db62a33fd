#include "app/gui_session.h"

namespace {
constexpr float fontHeight = 13.0f;
}

BakedFont bakeDefaultFont(nk_font_atlas& atlas) {
  BakedFont baked;
  nk_font_atlas_init_default(&atlas);
  nk_font_atlas_begin(&atlas);
  baked.font = nk_font_atlas_add_default(&atlas, fontHeight, nullptr);
  baked.image = nk_font_atlas_bake(&atlas, &baked.width, &baked.height, NK_FONT_ATLAS_RGBA32);
  return baked;
}

void setUpGui(GuiSession& gui) {
  setUpGuiRenderer(gui.renderer);

  const BakedFont baked = bakeDefaultFont(gui.atlas);
  uploadFontTexture(gui.renderer, baked.image, baked.width, baked.height);
  nk_font_atlas_end(&gui.atlas, nk_handle_id(static_cast<int>(gui.renderer.fontTexture)),
                    &gui.renderer.whitePixel);

  nk_init_default(&gui.context, &baked.font->handle);
}

void shutDownGui(GuiSession& gui) {
  nk_font_atlas_clear(&gui.atlas);
  nk_free(&gui.context);
  shutDownGuiRenderer(gui.renderer);
}
