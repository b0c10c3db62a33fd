// The widget-disable pair on a real Nuklear context with its default font, fed input the way
// the frame loop feeds it.
#include <gtest/gtest.h>

#include <functional>

#include "app/gui_session.h"
#include "ui/widget_disable.h"

namespace {

// The middles of the first three buttons of a row of 100-unit columns.
constexpr int columnX[] = {50, 155, 260};
constexpr int rowY = 20;

class DisableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const BakedFont baked = bakeDefaultFont(atlas);
    nk_font_atlas_end(&atlas, nk_handle_id(0), nullptr);
    nk_init_default(&ctx, &baked.font->handle);
  }
  void TearDown() override {
    nk_free(&ctx);
    nk_font_atlas_clear(&atlas);
  }

  // One frame: the mouse at (x, y), then the row inside a window; keeps the filled
  // rectangles' colours in drawing order.
  void frame(int x, int y, bool down, const std::function<void()>& row) {
    nk_input_begin(&ctx);
    nk_input_motion(&ctx, x, y);
    nk_input_button(&ctx, NK_BUTTON_LEFT, x, y, down);
    nk_input_end(&ctx);
    if (nk_begin(&ctx, "Panel", nk_rect(0, 0, 400, 300), NK_WINDOW_NO_SCROLLBAR)) {
      nk_layout_row_static(&ctx, 30, 100, 3);
      row();
    }
    nk_end(&ctx);
    fills.clear();
    const nk_command* command;
    nk_foreach(command, &ctx) {
      if (command->type == NK_COMMAND_RECT_FILLED) {
        fills.push_back(reinterpret_cast<const nk_command_rect_filled*>(command)->color);
      }
    }
    nk_clear(&ctx);
  }

  // Hover, press, release, and a frame after: a click over the point.
  void click(int x, int y, const std::function<void()>& row) {
    for (bool down : {false, true, false, false}) frame(x, y, down, row);
  }

  nk_font_atlas atlas{};
  nk_context ctx{};
  std::vector<nk_color> fills;
};

TEST_F(DisableTest, NestedPairsGreyAndDisableTheirButtonsUntilTheOutermostEndsThenRestoreTheStyle) {
  const nk_style before = ctx.style;
  bool pressed[3] = {};
  auto row = [&] {
    nk_widget_disable_begin(&ctx);
    nk_widget_disable_begin(&ctx);
    nk_widget_disable_end(&ctx);
    pressed[0] = nk_button_label(&ctx, "One") || pressed[0];
    nk_widget_disable_begin(&ctx);
    nk_widget_disable_end(&ctx);
    pressed[1] = nk_button_label(&ctx, "Two") || pressed[1];
    nk_widget_disable_end(&ctx);
    pressed[2] = nk_button_label(&ctx, "Three") || pressed[2];
  };
  frame(-100, -100, false, row);
  // The window's background, then the three buttons' in drawing order.
  ASSERT_EQ(fills.size(), 4u);
  const nk_color normal = before.button.normal.data.color, greyed = fills[1];
  EXPECT_TRUE(greyed.r == greyed.g && greyed.g == greyed.b && greyed.r < normal.r && greyed.a == normal.a);
  EXPECT_EQ(nk_color_u32(fills[2]), nk_color_u32(greyed)) << "an inner pair's end took the grey away";
  EXPECT_EQ(nk_color_u32(fills[3]), nk_color_u32(normal));
  for (int x : columnX) click(x, rowY, row);
  EXPECT_FALSE(pressed[0]);
  EXPECT_FALSE(pressed[1]) << "an inner pair's end enabled the buttons";
  EXPECT_TRUE(pressed[2]) << "the button after the pairs stayed disabled";
  // Plain colours, style items and nested styles alike.
  EXPECT_EQ(nk_color_u32(ctx.style.text.color), nk_color_u32(before.text.color));
  EXPECT_EQ(nk_color_u32(ctx.style.checkbox.cursor_normal.data.color),
            nk_color_u32(before.checkbox.cursor_normal.data.color));
  EXPECT_EQ(nk_color_u32(ctx.style.combo.label_normal), nk_color_u32(before.combo.label_normal));
}

TEST_F(DisableTest, AnOpenComboboxKeepsItsParentReadOnly) {
  const char* items[] = {"one", "two", "three"};
  int selected = 0;
  bool comboInsidePair = false;
  nk_flags readOnlyAfterPair = 0;
  auto row = [&] {
    if (comboInsidePair) nk_widget_disable_begin(&ctx);
    selected = nk_combo(&ctx, items, 3, selected, 24, nk_vec2(150, 200));
    if (!comboInsidePair) nk_widget_disable_begin(&ctx);
    nk_button_label(&ctx, "Caption");
    nk_widget_disable_end(&ctx);
    readOnlyAfterPair = ctx.current->layout->flags & NK_WINDOW_ROM;
  };
  click(columnX[0], rowY, row);
  EXPECT_NE(readOnlyAfterPair, 0u) << "a pair after the open drop-down lifted its read-only mode";
  comboInsidePair = true;
  frame(columnX[0], rowY, false, row);
  EXPECT_NE(readOnlyAfterPair, 0u) << "a pair around the open drop-down lifted its read-only mode";
  // Closed by a press outside, the panel takes input again after the pair.
  comboInsidePair = false;
  click(300, 250, row);
  EXPECT_EQ(readOnlyAfterPair, 0u);
}

}  // namespace
