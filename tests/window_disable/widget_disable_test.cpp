// The widget-disable pair on a real Nuklear context with its default font, fed input the way
// the frame loop feeds it.
#include <gtest/gtest.h>

#include <functional>

#include "ui/widget_disable.h"

namespace {

struct Mouse {
  int x = -100, y = -100;
  bool down = false;
};

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

  // One frame: input, then the body inside a window, then the frame's end.
  void frame(Mouse mouse, const std::function<void()>& body) {
    nk_input_begin(&ctx);
    nk_input_motion(&ctx, mouse.x, mouse.y);
    nk_input_button(&ctx, NK_BUTTON_LEFT, mouse.x, mouse.y, mouse.down);
    nk_input_end(&ctx);
    if (nk_begin(&ctx, "Panel", nk_rect(0, 0, 400, 300), NK_WINDOW_NO_SCROLLBAR)) {
      nk_layout_row_static(&ctx, 30, 100, 3);
      body();
    }
    nk_end(&ctx);
    lastCommands.clear();
    const nk_command* command;
    nk_foreach(command, &ctx) {
      if (command->type == NK_COMMAND_RECT_FILLED) {
        lastCommands.push_back(reinterpret_cast<const nk_command_rect_filled*>(command)->color);
      }
    }
    nk_clear(&ctx);
  }

  // Presses the left button over a point (press in one frame, release in the next, as a
  // click is), and reports whether the body's button fired.
  bool click(int x, int y, const std::function<bool()>& buttons) {
    bool fired = false;
    frame({x, y, false}, [&] { buttons(); });
    frame({x, y, true}, [&] { fired = buttons() || fired; });
    frame({x, y, false}, [&] { fired = buttons() || fired; });
    return fired;
  }

  nk_font_atlas atlas{};
  nk_context ctx{};
  std::vector<nk_color> lastCommands;
};

// Buttons of a row of three 100-unit columns: the first one's middle, the second one's.
constexpr int firstX = 50, secondX = 155, rowY = 20;

bool sameColour(nk_color a, nk_color b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }

TEST_F(DisableTest, PressesReachOnlyButtonsOutsideThePair) {
  auto row = [&](bool& first, bool& second) {
    nk_widget_disable_begin(&ctx);
    first = nk_button_label(&ctx, "Disabled") || first;
    nk_widget_disable_end(&ctx);
    second = nk_button_label(&ctx, "Enabled") || second;
    return false;
  };
  bool first = false, second = false;
  click(firstX, rowY, [&] { return row(first, second); });
  EXPECT_FALSE(first) << "a press inside a disabled button triggered it";
  click(secondX, rowY, [&] { return row(first, second); });
  EXPECT_TRUE(second) << "the button after the pair stayed disabled";
}

TEST_F(DisableTest, NestedPairsDisableUntilTheOutermostEnds) {
  bool innerAfterNested = false, outerAfterInner = false, afterAll = false;
  auto row = [&] {
    nk_widget_disable_begin(&ctx);
    nk_widget_disable_begin(&ctx);
    nk_widget_disable_end(&ctx);
    innerAfterNested = nk_button_label(&ctx, "One") || innerAfterNested;
    nk_widget_disable_begin(&ctx);
    nk_widget_disable_end(&ctx);
    outerAfterInner = nk_button_label(&ctx, "Two") || outerAfterInner;
    nk_widget_disable_end(&ctx);
    afterAll = nk_button_label(&ctx, "Three") || afterAll;
    return false;
  };
  click(firstX, rowY, row);
  click(secondX, rowY, row);
  click(260, rowY, row);
  EXPECT_FALSE(innerAfterNested);
  EXPECT_FALSE(outerAfterInner);
  EXPECT_TRUE(afterAll);
}

TEST_F(DisableTest, DisabledWidgetsAreGreyedAndTheStyleComesBackExactly) {
  const nk_style before = ctx.style;
  nk_color inside{}, normal = before.button.normal.data.color;
  frame({}, [&] {
    nk_widget_disable_begin(&ctx);
    inside = ctx.style.button.normal.data.color;
    nk_button_label(&ctx, "Disabled");
    nk_widget_disable_end(&ctx);
    nk_button_label(&ctx, "Enabled");
  });
  EXPECT_EQ(inside.r, inside.g);
  EXPECT_EQ(inside.g, inside.b);
  EXPECT_LT(inside.r, normal.r);
  EXPECT_EQ(inside.a, normal.a);
  // The buttons' backgrounds as drawn: greyed first, the normal colour after the pair.
  std::vector<nk_color> buttons;
  for (nk_color c : lastCommands) {
    if (sameColour(c, inside) || sameColour(c, normal)) buttons.push_back(c);
  }
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_TRUE(sameColour(buttons[0], inside));
  EXPECT_TRUE(sameColour(buttons[1], normal));
  EXPECT_TRUE(sameColour(ctx.style.text.color, before.text.color));
  EXPECT_TRUE(sameColour(ctx.style.checkbox.cursor_normal.data.color, before.checkbox.cursor_normal.data.color));
  EXPECT_TRUE(sameColour(ctx.style.combo.label_normal, before.combo.label_normal));
}

TEST_F(DisableTest, ColourChangedInsideThePairIsKept) {
  frame({}, [&] {
    nk_widget_disable_begin(&ctx);
    ctx.style.button.text_normal = nk_rgb(1, 2, 3);
    nk_widget_disable_end(&ctx);
  });
  EXPECT_TRUE(sameColour(ctx.style.button.text_normal, nk_rgb(1, 2, 3)));
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
    return false;
  };
  click(firstX, rowY, row);
  frame({firstX, rowY, false}, [&] { row(); });
  EXPECT_NE(readOnlyAfterPair, 0u) << "a pair after the open drop-down lifted its read-only mode";
  // Disabled while its drop-down is open: the drop-down stays, and so does the read-only mode.
  comboInsidePair = true;
  frame({firstX, rowY, false}, [&] { row(); });
  EXPECT_NE(readOnlyAfterPair, 0u) << "a pair around the open drop-down lifted its read-only mode";
  // Closed again (a press outside), the panel takes input after the pair.
  comboInsidePair = false;
  click(300, 250, row);
  frame({300, 250, false}, [&] { row(); });
  EXPECT_EQ(readOnlyAfterPair, 0u);
}

}  // namespace
