// The widget-disable pair on a real Nuklear context with its default font, fed input the way
// the frame loop feeds it.
#include <gtest/gtest.h>

#include <functional>

#include "ui/widget_disable.h"

namespace {

// The middles of the first three buttons of a row of 100-unit columns.
constexpr int firstX = 50, secondX = 155, thirdX = 260, rowY = 20;

bool sameColour(nk_color a, nk_color b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }

class DisableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    nk_font_atlas_init_default(&atlas);
    nk_font_atlas_begin(&atlas);
    nk_font* font = nk_font_atlas_add_default(&atlas, 13, nullptr);
    int width = 0, height = 0;
    nk_font_atlas_bake(&atlas, &width, &height, NK_FONT_ATLAS_RGBA32);
    nk_font_atlas_end(&atlas, nk_handle_id(0), nullptr);
    nk_init_default(&ctx, &font->handle);
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

  // Hover, press, release: a click over the point.
  void click(int x, int y, const std::function<void()>& row) {
    frame(x, y, false, row);
    frame(x, y, true, row);
    frame(x, y, false, row);
  }

  nk_font_atlas atlas{};
  nk_context ctx{};
  std::vector<nk_color> fills;
};

TEST_F(DisableTest, PressesReachOnlyButtonsOutsideThePair) {
  bool disabled = false, enabled = false;
  auto row = [&] {
    nk_widget_disable_begin(&ctx);
    disabled = nk_button_label(&ctx, "Disabled") || disabled;
    nk_widget_disable_end(&ctx);
    enabled = nk_button_label(&ctx, "Enabled") || enabled;
  };
  click(firstX, rowY, row);
  EXPECT_FALSE(disabled) << "a press inside a disabled button triggered it";
  click(secondX, rowY, row);
  EXPECT_TRUE(enabled) << "the button after the pair stayed disabled";
}

TEST_F(DisableTest, NestedPairsDisableUntilTheOutermostEnds) {
  bool afterInnerPairs = false, afterSecondInner = false, afterAll = false;
  auto row = [&] {
    nk_widget_disable_begin(&ctx);
    nk_widget_disable_begin(&ctx);
    nk_widget_disable_end(&ctx);
    afterInnerPairs = nk_button_label(&ctx, "One") || afterInnerPairs;
    nk_widget_disable_begin(&ctx);
    nk_widget_disable_end(&ctx);
    afterSecondInner = nk_button_label(&ctx, "Two") || afterSecondInner;
    nk_widget_disable_end(&ctx);
    afterAll = nk_button_label(&ctx, "Three") || afterAll;
  };
  for (int x : {firstX, secondX, thirdX}) click(x, rowY, row);
  EXPECT_FALSE(afterInnerPairs);
  EXPECT_FALSE(afterSecondInner);
  EXPECT_TRUE(afterAll);
}

TEST_F(DisableTest, DisabledWidgetsAreGreyedAndTheStyleComesBackExactly) {
  const nk_style before = ctx.style;
  const nk_color normal = before.button.normal.data.color;
  nk_color greyed{};
  frame(-100, -100, false, [&] {
    nk_widget_disable_begin(&ctx);
    greyed = ctx.style.button.normal.data.color;
    nk_button_label(&ctx, "Disabled");
    nk_widget_disable_end(&ctx);
    nk_button_label(&ctx, "Enabled");
  });
  EXPECT_TRUE(greyed.r == greyed.g && greyed.g == greyed.b && greyed.r < normal.r && greyed.a == normal.a);
  // As drawn: the greyed background first, the normal one after the pair.
  std::vector<nk_color> buttons;
  for (nk_color c : fills) {
    if (sameColour(c, greyed) || sameColour(c, normal)) buttons.push_back(c);
  }
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_TRUE(sameColour(buttons[0], greyed));
  EXPECT_TRUE(sameColour(buttons[1], normal));
  EXPECT_TRUE(sameColour(ctx.style.text.color, before.text.color));
  EXPECT_TRUE(sameColour(ctx.style.checkbox.cursor_normal.data.color, before.checkbox.cursor_normal.data.color));
  EXPECT_TRUE(sameColour(ctx.style.combo.label_normal, before.combo.label_normal));
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
  click(firstX, rowY, row);
  frame(firstX, rowY, false, row);
  EXPECT_NE(readOnlyAfterPair, 0u) << "a pair after the open drop-down lifted its read-only mode";
  comboInsidePair = true;
  frame(firstX, rowY, false, row);
  EXPECT_NE(readOnlyAfterPair, 0u) << "a pair around the open drop-down lifted its read-only mode";
  // Closed by a press outside, the panel takes input again after the pair.
  comboInsidePair = false;
  click(300, 250, row);
  frame(300, 250, false, row);
  EXPECT_EQ(readOnlyAfterPair, 0u);
}

}  // namespace
