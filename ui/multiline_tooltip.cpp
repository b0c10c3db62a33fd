#include "ui/multiline_tooltip.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int tooltipOffsetX = 30;

// nk_tooltip_begin, with the popup moved right so that it does not hide the pointer's target.
bool tooltipBegin(nk_context* ctx, float width) {
  nk_window* window = ctx->current;
  if (window == nullptr || window->layout == nullptr) return false;
  if (window->popup.win != nullptr &&
      (static_cast<int>(window->popup.type) & static_cast<int>(NK_PANEL_SET_NONBLOCK)) != 0)
    return false;
  const struct nk_vec2 mouse = ctx->input.mouse.pos;
  const struct nk_rect bounds = nk_rect(
      std::floor(mouse.x + 1) - static_cast<float>(static_cast<int>(window->layout->clip.x)) + tooltipOffsetX,
      std::floor(mouse.y + 1) - static_cast<float>(static_cast<int>(window->layout->clip.y)), std::ceil(width), 16384);
  const bool open =
      nk_popup_begin(ctx, NK_POPUP_DYNAMIC, "__##Tooltip##__", NK_WINDOW_NO_SCROLLBAR | NK_WINDOW_BORDER, bounds) != 0;
  if (open) window->layout->flags &= ~static_cast<nk_flags>(NK_WINDOW_ROM);
  window->popup.type = NK_PANEL_TOOLTIP;
  ctx->current->layout->type = NK_PANEL_TOOLTIP;
  return open;
}

}  // namespace

std::vector<std::string> splitString(std::string_view text, std::string_view delimiter) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t found; (found = text.find(delimiter, start)) != std::string_view::npos;) {
    parts.emplace_back(text.substr(start, found - start));
    start = found + delimiter.size();
  }
  parts.emplace_back(text.substr(start));
  return parts;
}

void showMultilineTooltip(nk_context* ctx, std::string_view text) {
  if (ctx->current == nullptr || ctx->current->layout == nullptr) return;
  const std::vector<std::string> lines = splitString(text, "\r\n");
  const nk_user_font* font = ctx->style.font;
  const struct nk_vec2 padding = ctx->style.window.padding;
  int width = 0;
  for (const std::string& line : lines) {
    const float lineWidth =
        std::trunc(font->width(font->userdata, font->height, line.c_str(), static_cast<int>(line.size())));
    width = std::max(width, static_cast<int>(lineWidth + 4 * padding.x));
  }
  if (!tooltipBegin(ctx, static_cast<float>(width))) return;
  for (const std::string& line : lines) {
    nk_layout_row_dynamic(ctx, font->height + 2 * padding.y, 1);
    nk_text_colored(ctx, line.c_str(), static_cast<int>(line.size()), NK_TEXT_CENTERED, ctx->style.text.color);
  }
  nk_tooltip_end(ctx);
}
