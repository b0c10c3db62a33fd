#include "ui/draw_frame.h"

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "game/install_layout.h"
#include "game/launch.h"
#include "game/profiles.h"
#include "game/settings.h"
#include "ui/interface_state.h"
#include "ui/multiline_tooltip.h"
#include "ui/questions.h"
#include "ui/texts.h"
#include "ui/update_status.h"
#include "ui/widget_disable.h"
#include "update/loader_library.h"
#include "update/self_update.h"
#include "update/tasks.h"
#include "update/updater_verdict.h"

namespace {

// No scroll bar, no input of their own (0x420): no title, border, moving or resizing, and a
// click never changes the active window, so "Content" keeps the input.
constexpr nk_flags windowFlags = NK_WINDOW_NO_SCROLLBAR | NK_WINDOW_NO_INPUT;
constexpr float rowHeight = 20;
constexpr float stripWidth = 450;
const nk_color stripColour = nk_rgba(50, 50, 50, 255);
const struct nk_vec2 comboSize = nk_vec2(150, 200);
constexpr int comboItemHeight = 24;

// Column ratios; Nuklear keeps the pointer for the whole row, so they live as long as the program.
constexpr float oneColumn[] = {1.0f};
constexpr float editionColumns[] = {0.2f, 0.8f};
constexpr float languageColumns[] = {0.25f, 0.25f, 0.25f, 0.25f};
constexpr float optionColumns[] = {0.5f, 0.5f};
constexpr float updateColumns[] = {0.3333333f, 0.3333333f, 0.3333334f};
constexpr float launchColumns[] = {0.4f, 0.2f, 0.4f};

template <int columns>
void row(nk_context* ctx, const float (&ratios)[columns]) {
  nk_layout_row(ctx, NK_DYNAMIC, rowHeight, columns, ratios);
}

void strip(nk_context* ctx, float y, float height) {
  nk_fill_rect(nk_window_get_canvas(ctx), nk_rect(0, y, stripWidth, height), 2, stripColour);
}

void caption(nk_context* ctx, const char* text) {
  nk_widget_disable_begin(ctx);
  nk_button_text(ctx, text, static_cast<int>(std::strlen(text)));
  nk_widget_disable_end(ctx);
}

void centredText(nk_context* ctx, const char* text) {
  nk_text(ctx, text, static_cast<int>(std::strlen(text)), NK_TEXT_ALIGN_CENTERED);
}

// Every widget with a tooltip: hover test, widget, tooltip.
bool buttonWithTooltip(nk_context* ctx, const char* label, const char* tooltip, bool disabled = false) {
  const bool hovered = nk_widget_is_hovered(ctx) != 0;
  if (disabled) nk_widget_disable_begin(ctx);
  const bool pressed = nk_button_text(ctx, label, static_cast<int>(std::strlen(label))) != 0;
  if (disabled) nk_widget_disable_end(ctx);
  if (hovered) showMultilineTooltip(ctx, tooltip);
  return pressed;
}

bool settingCheckbox(nk_context* ctx, TextId label, bool& setting, TextId tooltip) {
  const bool hovered = nk_widget_is_hovered(ctx) != 0;
  int value = setting ? 1 : 0;
  const char* text = uiText(label);
  const bool changed = nk_checkbox_text(ctx, text, static_cast<int>(std::strlen(text)), &value) != 0;
  if (changed) {
    setting = value != 0;
    game::saveSettings();
  }
  if (hovered) showMultilineTooltip(ctx, uiText(tooltip));
  return changed;
}

void drawBackground(const AppMedia& media, nk_context* ctx, float width, float height) {
  advanceFade(interfaceState.backgroundFade, std::chrono::steady_clock::now());
  const struct nk_rect whole = nk_rect(0, 0, width, height);
  ctx->style.window.fixed_background = nk_style_item_image(media.background2);
  ctx->style.window.spacing = nk_vec2(0, 0);
  nk_style_push_float(ctx, &ctx->style.window.padding.x, 0);
  nk_style_push_float(ctx, &ctx->style.window.padding.y, 0);
  if (nk_begin(ctx, "Background1", whole, windowFlags)) {
    nk_layout_row(ctx, NK_DYNAMIC, nk_window_get_content_region(ctx).h, 1, oneColumn);
    // The picture covers the whole window, whatever the panel's own bounds.
    nk_panel* panel = ctx->current->layout;
    panel->bounds = whole;
    panel->at_x = 0;
    panel->at_y = 0;
    panel->clip.x = 0;
    panel->clip.w = width;
    ctx->current->buffer.clip = whole;
    const auto alpha = static_cast<nk_byte>(interfaceState.backgroundFade.alpha);
    nk_image_color(ctx, media.background1, nk_rgba(255, 255, 255, alpha));
  }
  nk_end(ctx);
  nk_style_pop_float(ctx);
  nk_style_pop_float(ctx);
  ctx->style.window.fixed_background = nk_style_item_color(nk_rgba(0, 0, 0, 0));
}

void checkUpdaterVersion() {
  if (const std::optional<bool> current = update::takeUpdaterVerdict()) interfaceState.updaterUpToDate = *current;
}

// A build with a key offers to replace itself, after the player said yes, as a task like the
// others (so not while one runs); without a key the notice stays a notice.
void drawOutdatedNotice(nk_context* ctx) {
  if (!update::buildReplacesItself()) {
    centredText(ctx, uiText(TextId::msgUpdaterOutdated));
    return;
  }
  // The strip takes no input of its own, so a window made after it leaves it read-only; nothing
  // overlaps it, so its one button takes clicks all the same.
  ctx->current->layout->flags &= ~static_cast<nk_flags>(NK_WINDOW_ROM);
  const bool busy = update::isTaskRunning();
  if (busy) nk_widget_disable_begin(ctx);
  const char* label = uiText(TextId::buttonSelfUpdate);
  const bool pressed = nk_button_text(ctx, label, static_cast<int>(std::strlen(label))) != 0;
  if (busy) nk_widget_disable_end(ctx);
  if (pressed && askPlayer("QuarnMpUpdater", uiText(TextId::askSelfUpdate))) update::startSelfUpdate();
}

void drawTopStrip(nk_context* ctx) {
  if (nk_begin(ctx, "Update", nk_rect(0, 0, stripWidth, rowHeight), windowFlags)) {
    strip(ctx, 0, rowHeight);
    row(ctx, editionColumns);
    centredText(ctx, game::installLayout == game::InstallLayout::TovanEdition ? "Edition: TE" : "Edition: RE");
    if (!interfaceState.updaterUpToDate) drawOutdatedNotice(ctx);
  }
  nk_end(ctx);
}

void drawLanguageAndProfile(nk_context* ctx) {
  row(ctx, languageColumns);
  caption(ctx, "Language:");
  const int before = game::UiLanguageIndex;
  nk_combobox(ctx, const_cast<const char**>(game::languageTable.languageNames.data()), game::languageCount,
              &game::UiLanguageIndex, comboItemHeight, comboSize);
  if (game::UiLanguageIndex != before) {
    game::settings.language = game::languageTable.languageCodes[static_cast<std::size_t>(game::UiLanguageIndex)];
    game::saveSettings();
  }
  game::refreshProfiles();
  if (game::profileList.profileCount > 0) {
    caption(ctx, "Profile:");
    nk_combobox(ctx, game::profileList.profileNameViews.data(), game::profileList.profileCount,
                &game::profileList.selectedProfileIndex, comboItemHeight, comboSize);
  }
}

void drawOptions(nk_context* ctx) {
  strip(ctx, 48, 2 * rowHeight);
  row(ctx, optionColumns);
  settingCheckbox(ctx, TextId::labelLuaDebugger, game::settings.luadebugger, TextId::tipLuaDebugger);
  settingCheckbox(ctx, TextId::labelConsole, game::settings.console, TextId::tipConsole);
  settingCheckbox(ctx, TextId::labelClipCursor, game::settings.clip_cursor, TextId::tipClipCursor);
  // The other profile folder is searched in the next frame, which also resets the choice.
  if (settingCheckbox(ctx, TextId::labelNoDocuments, game::settings.use_local_profile, TextId::tipNoDocuments)) {
    game::profilesScanned = false;
  }
}

// While a task runs all three are disabled, each by a pair of its own: a tooltip shown inside a
// pair would be greyed with the button.
void drawUpdateButtons(nk_context* ctx) {
  row(ctx, updateColumns);
  const bool busy = update::isTaskRunning();
  if (buttonWithTooltip(ctx, uiText(TextId::buttonFetch), uiText(TextId::tipFetch), busy)) update::startFetch();
  if (buttonWithTooltip(ctx, uiText(TextId::buttonDiff), uiText(TextId::tipDiff), busy || !update::hasCatalogue())) {
    update::startDiff();
  }
  if (buttonWithTooltip(ctx, uiText(TextId::buttonUpdate), uiText(TextId::tipUpdate), busy || !update::hasDifferences())) {
    update::startUpdateDiff();
  }
  if (!busy) return;
  row(ctx, oneColumn);
  auto percent = static_cast<nk_size>(update::currentProgress() * 100);
  nk_progress(ctx, &percent, 100, nk_false);
  update::pollTask();
}

void drawLaunchRow(nk_context* ctx, const char* title, const std::vector<game::LaunchEntry>& entries, bool multiplayer) {
  row(ctx, launchColumns);
  caption(ctx, title);
  for (const game::LaunchEntry& entry : entries) {
    if (buttonWithTooltip(ctx, entry.label.c_str(), entry.tooltip.c_str())) {
      game::launchGame(game::installLayout, game::settings, game::profileList, entry, multiplayer,
                       uiText(TextId::errLanguageMissing));
    }
  }
}

void drawLoaderButton(nk_context* ctx) {
  row(ctx, oneColumn);
  update::refreshLoaderCheck();
  if (update::loaderInstalled()) {
    caption(ctx, "Hook installed!");
  } else if (nk_button_text(ctx, "Install Hook", 12)) {
    update::installLoaderLibrary();
  }
}

void drawStatus(nk_context* ctx, float top) {
  const UpdateStatus status = updateStatus();
  if (!status.text.empty()) {
    strip(ctx, top, rowHeight);
    row(ctx, oneColumn);
    const bool hovered = nk_widget_is_hovered(ctx) != 0;
    centredText(ctx, status.text.c_str());
    if (hovered && !status.reason.empty()) showMultilineTooltip(ctx, status.reason);
  }
  nk_widget_disable_begin(ctx);
  for (const std::string& path : update::differingPaths()) {
    row(ctx, oneColumn);
    nk_button_text(ctx, path.c_str(), static_cast<int>(path.size()));
  }
  nk_widget_disable_end(ctx);
}

void drawContent(nk_context* ctx, float height, const std::vector<game::LaunchEntry>& entries) {
  if (nk_begin(ctx, "Content", nk_rect(0, 24, stripWidth, height), windowFlags)) {
    drawLanguageAndProfile(ctx);
    drawOptions(ctx);
    const bool busy = update::isTaskRunning();
    drawUpdateButtons(ctx);
    drawLaunchRow(ctx, "Multiplayer:", entries, true);
    drawLaunchRow(ctx, "Singleplayer:", entries, false);
    drawLoaderButton(ctx);
    // The strip's place assumes rows of 20 and the default padding. In the frame that collects
    // a task's result the progress row is still there, and the line one row lower.
    drawStatus(ctx, busy ? 188 : 168);
  }
  nk_end(ctx);
}

}  // namespace

int drawFrame(const AppMedia& media, nk_context* ctx, int width, int height) {
  drawBackground(media, ctx, static_cast<float>(width), static_cast<float>(height));
  // Built before the language combobox: a new language reaches their texts in the next frame.
  const std::vector<game::LaunchEntry> entries = {
      {game::LaunchKind::MainGame, uiText(TextId::labelMainGame), uiText(TextId::tipMainGame)},
      {game::LaunchKind::Expansion, uiText(TextId::labelExpansion), uiText(TextId::tipExpansion)}};
  checkUpdaterVersion();
  drawTopStrip(ctx);
  drawContent(ctx, static_cast<float>(height), entries);
  return 0;
}
