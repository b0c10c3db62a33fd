#include "ui/draw_frame.h"

namespace {
constexpr nk_flags backgroundWindowFlags = NK_WINDOW_NO_SCROLLBAR | NK_WINDOW_NO_INPUT;
}

// For now only the background: background2 fills the window as its fixed background, and
// background1 lies over it, stretched to the window.
int drawFrame(const AppMedia& media, nk_context* ctx, int width, int height) {
  const struct nk_rect whole = nk_rect(0, 0, static_cast<float>(width), static_cast<float>(height));
  ctx->style.window.fixed_background = nk_style_item_image(media.background2);
  ctx->style.window.spacing = nk_vec2(0, 0);
  nk_style_push_float(ctx, &ctx->style.window.padding.x, 0);
  nk_style_push_float(ctx, &ctx->style.window.padding.y, 0);
  if (nk_begin(ctx, "Background1", whole, backgroundWindowFlags)) {
    nk_draw_image(nk_window_get_canvas(ctx), whole, &media.background1, nk_rgba(255, 255, 255, 255));
  }
  nk_end(ctx);
  nk_style_pop_float(ctx);
  nk_style_pop_float(ctx);
  ctx->style.window.fixed_background = nk_style_item_color(nk_rgba(0, 0, 0, 0));
  return 0;
}
