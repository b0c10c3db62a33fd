#include "ui/widget_disable.h"

#ifndef QUARNMP_NUKLEAR_HAS_WIDGET_DISABLE

#include <cstddef>
#include <unordered_map>
#include <vector>

namespace {

// Every colour of the widget styles (window styles stay: a window's frame is not a widget).
struct StyleColours {
  std::vector<nk_color*> colours;
  std::vector<nk_style_item*> items;
};

void addButton(StyleColours& out, nk_style_button& s) {
  out.items.insert(out.items.end(), {&s.normal, &s.hover, &s.active});
  out.colours.insert(out.colours.end(),
                     {&s.border_color, &s.text_background, &s.text_normal, &s.text_hover, &s.text_active});
}

void addToggle(StyleColours& out, nk_style_toggle& s) {
  out.items.insert(out.items.end(), {&s.normal, &s.hover, &s.active, &s.cursor_normal, &s.cursor_hover});
  out.colours.insert(out.colours.end(),
                     {&s.border_color, &s.text_normal, &s.text_hover, &s.text_active, &s.text_background});
}

void addSelectable(StyleColours& out, nk_style_selectable& s) {
  out.items.insert(out.items.end(),
                   {&s.normal, &s.hover, &s.pressed, &s.normal_active, &s.hover_active, &s.pressed_active});
  out.colours.insert(out.colours.end(), {&s.text_normal, &s.text_hover, &s.text_pressed, &s.text_normal_active,
                                         &s.text_hover_active, &s.text_pressed_active, &s.text_background});
}

void addScrollbar(StyleColours& out, nk_style_scrollbar& s) {
  out.items.insert(out.items.end(),
                   {&s.normal, &s.hover, &s.active, &s.cursor_normal, &s.cursor_hover, &s.cursor_active});
  out.colours.insert(out.colours.end(), {&s.border_color, &s.cursor_border_color});
  addButton(out, s.inc_button);
  addButton(out, s.dec_button);
}

void addSlider(StyleColours& out, nk_style_slider& s) {
  out.items.insert(out.items.end(),
                   {&s.normal, &s.hover, &s.active, &s.cursor_normal, &s.cursor_hover, &s.cursor_active});
  out.colours.insert(out.colours.end(),
                     {&s.border_color, &s.bar_normal, &s.bar_hover, &s.bar_active, &s.bar_filled});
  addButton(out, s.inc_button);
  addButton(out, s.dec_button);
}

void addProgress(StyleColours& out, nk_style_progress& s) {
  out.items.insert(out.items.end(),
                   {&s.normal, &s.hover, &s.active, &s.cursor_normal, &s.cursor_hover, &s.cursor_active});
  out.colours.insert(out.colours.end(), {&s.border_color, &s.cursor_border_color});
}

void addEdit(StyleColours& out, nk_style_edit& s) {
  out.items.insert(out.items.end(), {&s.normal, &s.hover, &s.active});
  out.colours.insert(out.colours.end(),
                     {&s.border_color, &s.cursor_normal, &s.cursor_hover, &s.cursor_text_normal,
                      &s.cursor_text_hover, &s.text_normal, &s.text_hover, &s.text_active, &s.selected_normal,
                      &s.selected_hover, &s.selected_text_normal, &s.selected_text_hover});
  addScrollbar(out, s.scrollbar);
}

void addProperty(StyleColours& out, nk_style_property& s) {
  out.items.insert(out.items.end(), {&s.normal, &s.hover, &s.active});
  out.colours.insert(out.colours.end(), {&s.border_color, &s.label_normal, &s.label_hover, &s.label_active});
  addEdit(out, s.edit);
  addButton(out, s.inc_button);
  addButton(out, s.dec_button);
}

void addCombo(StyleColours& out, nk_style_combo& s) {
  out.items.insert(out.items.end(), {&s.normal, &s.hover, &s.active});
  out.colours.insert(out.colours.end(), {&s.border_color, &s.label_normal, &s.label_hover, &s.label_active,
                                         &s.symbol_normal, &s.symbol_hover, &s.symbol_active});
  addButton(out, s.button);
}

void addTab(StyleColours& out, nk_style_tab& s) {
  out.items.push_back(&s.background);
  out.colours.insert(out.colours.end(), {&s.border_color, &s.text});
  for (nk_style_button* b : {&s.tab_maximize_button, &s.tab_minimize_button, &s.node_maximize_button,
                             &s.node_minimize_button}) {
    addButton(out, *b);
  }
}

StyleColours widgetColours(nk_style& s) {
  StyleColours out;
  out.colours.push_back(&s.text.color);
  for (nk_style_button* b : {&s.button, &s.contextual_button, &s.menu_button}) addButton(out, *b);
  addToggle(out, s.option);
  addToggle(out, s.checkbox);
  addSelectable(out, s.selectable);
  addSlider(out, s.slider);
  addProgress(out, s.progress);
  addProperty(out, s.property);
  addEdit(out, s.edit);
  out.items.push_back(&s.chart.background);
  out.colours.insert(out.colours.end(), {&s.chart.border_color, &s.chart.selected_color, &s.chart.color});
  addScrollbar(out, s.scrollh);
  addScrollbar(out, s.scrollv);
  addTab(out, s.tab);
  addCombo(out, s.combo);
  return out;
}

// Disabled widgets: colourless and darker, with their own transparency.
nk_color greyed(nk_color c) {
  const float luminance = 0.299f * c.r + 0.587f * c.g + 0.114f * c.b;
  const auto level = static_cast<nk_byte>(luminance * 0.6f);
  return nk_rgba(level, level, level, c.a);
}

bool sameColour(nk_color a, nk_color b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }

bool sameItem(const nk_style_item& a, const nk_style_item& b) {
  if (a.type != b.type) return false;
  if (a.type == NK_STYLE_ITEM_COLOR) return sameColour(a.data.color, b.data.color);
  return a.data.image.handle.id == b.data.image.handle.id;
}

struct DisableState {
  int depth = 0;
  unsigned int frame = 0;  // the context's frame counter when the outermost pair opened
  nk_window* window = nullptr;
  nk_panel* panel = nullptr;
  bool windowWasReadOnly = false;
  bool panelWasReadOnly = false;
  nk_style original{};
  nk_style grey{};
};

std::unordered_map<const nk_context*, DisableState>& states() {
  static std::unordered_map<const nk_context*, DisableState> all;
  return all;
}

void greyStyle(nk_context* ctx, DisableState& state) {
  state.original = ctx->style;
  state.grey = ctx->style;
  StyleColours colours = widgetColours(state.grey);
  for (nk_color* c : colours.colours) *c = greyed(*c);
  for (nk_style_item* item : colours.items) {
    if (item->type == NK_STYLE_ITEM_COLOR) item->data.color = greyed(item->data.color);
  }
  ctx->style = state.grey;
}

// Puts back the original colours, except where someone changed a colour meanwhile.
void restoreStyle(nk_context* ctx, DisableState& state) {
  StyleColours live = widgetColours(ctx->style);
  StyleColours grey = widgetColours(state.grey);
  StyleColours original = widgetColours(state.original);
  for (std::size_t i = 0; i < live.colours.size(); ++i) {
    if (sameColour(*live.colours[i], *grey.colours[i])) *live.colours[i] = *original.colours[i];
  }
  for (std::size_t i = 0; i < live.items.size(); ++i) {
    if (sameItem(*live.items[i], *grey.items[i])) *live.items[i] = *original.items[i];
  }
}

// Clears only the read-only marks this pair set. While a combobox's drop-down is open,
// Nuklear keeps the window read-only from frame to frame; such a mark was there before the
// pair and stays.
void restoreReadOnly(const DisableState& state) {
  if (!state.panelWasReadOnly) state.panel->flags &= ~static_cast<nk_flags>(NK_WINDOW_ROM);
  if (!state.windowWasReadOnly) state.window->flags &= ~static_cast<nk_flags>(NK_WINDOW_ROM);
}

}  // namespace

extern "C" void nk_widget_disable_begin(struct nk_context* ctx) {
  if (ctx == nullptr || ctx->current == nullptr || ctx->current->layout == nullptr) return;
  DisableState& state = states()[ctx];
  if (state.depth > 0 && state.frame != ctx->seq) {
    // A pair left open in an earlier frame: give the colours back before starting anew.
    restoreStyle(ctx, state);
    state.depth = 0;
  }
  if (state.depth++ > 0) return;
  state.frame = ctx->seq;
  state.window = ctx->current;
  state.panel = ctx->current->layout;
  state.windowWasReadOnly = (state.window->flags & NK_WINDOW_ROM) != 0;
  state.panelWasReadOnly = (state.panel->flags & NK_WINDOW_ROM) != 0;
  // Nuklear hands widgets no input while their panel is read-only.
  state.window->flags |= NK_WINDOW_ROM;
  state.panel->flags |= NK_WINDOW_ROM;
  greyStyle(ctx, state);
}

extern "C" void nk_widget_disable_end(struct nk_context* ctx) {
  if (ctx == nullptr) return;
  auto found = states().find(ctx);
  if (found == states().end() || found->second.depth == 0) return;
  DisableState& state = found->second;
  if (--state.depth > 0) return;
  if (state.frame == ctx->seq) restoreReadOnly(state);
  restoreStyle(ctx, state);
}

#endif
