#include "app/message_box_dialog.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "app/gui_frame.h"
#include "app/gui_session.h"
#include "app/window_input.h"

namespace {

std::thread::id mainThread;

constexpr float lineHeight = 18;
constexpr float lineGap = 4;
constexpr float buttonWidth = 80;
constexpr float buttonHeight = 28;
constexpr float margin = 14;
constexpr float iconSize = 32;
constexpr float maxWidth = 1600;
constexpr float maxHeight = 1000;
constexpr double eventWaitSeconds = 0.05;

struct DialogContent {
  std::vector<std::string> lines;
  bool errorIcon = false;
  bool question = false;  // Yes and No instead of OK
};

// Line feeds break lines; a carriage return before one belongs to the break.
std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (end == std::string::npos) return lines;
    start = end + 1;
  }
}

float textLeft(const DialogContent& content) { return content.errorIcon ? margin + iconSize + margin : margin; }

float widestLine(const nk_user_font* font, const DialogContent& content) {
  float widest = 0;
  for (const std::string& line : content.lines) {
    widest = std::max(widest, font->width(font->userdata, font->height, line.c_str(), static_cast<int>(line.size())));
  }
  return widest;
}

struct DialogSize {
  int width = 0;
  int height = 0;
};

// Measured with the same baked default font the dialog draws with, before the window exists,
// so the window opens at its final size.
DialogSize measureDialog(const DialogContent& content) {
  nk_font_atlas atlas;
  const float textWidth = widestLine(&bakeDefaultFont(atlas).font->handle, content);
  // Ending the atlas is what frees the baked pixels; clearing alone would leak them.
  nk_font_atlas_end(&atlas, nk_handle_id(0), nullptr);
  nk_font_atlas_clear(&atlas);

  const float rows = static_cast<float>(content.lines.size()) * (lineHeight + lineGap);
  const float textHeight = std::max(rows, content.errorIcon ? iconSize : 0.0f);
  const float width = std::max(260.0f, textLeft(content) + textWidth + 2 * margin);
  const float height = margin + textHeight + margin + buttonHeight + margin;
  // Beyond a screen's size the window could not be made; longer texts are cut off.
  return {static_cast<int>(std::min(width, maxWidth)), static_cast<int>(std::min(height, maxHeight))};
}

void drawErrorIcon(nk_context* ctx) {
  nk_command_buffer* canvas = nk_window_get_canvas(ctx);
  const struct nk_rect circle = nk_rect(margin, margin, iconSize, iconSize);
  nk_fill_circle(canvas, circle, nk_rgb(200, 40, 40));
  const float inset = iconSize * 0.3f;
  nk_stroke_line(canvas, margin + inset, margin + inset, margin + iconSize - inset, margin + iconSize - inset, 3,
                 nk_rgb(255, 255, 255));
  nk_stroke_line(canvas, margin + iconSize - inset, margin + inset, margin + inset, margin + iconSize - inset, 3,
                 nk_rgb(255, 255, 255));
}

// One frame of the dialog, everything placed absolutely; the button pressed: OK or Yes is true.
std::optional<bool> drawDialog(nk_context* ctx, const DialogContent& content, int width, int height) {
  std::optional<bool> pressed;
  const float w = static_cast<float>(width);
  const float h = static_cast<float>(height);
  if (nk_begin(ctx, "MessageBox", nk_rect(0, 0, w, h), NK_WINDOW_NO_SCROLLBAR)) {
    if (content.errorIcon) drawErrorIcon(ctx);
    // The space starts at the window's padding; positions below are window coordinates.
    const struct nk_vec2 origin = ctx->style.window.padding;
    nk_layout_space_begin(ctx, NK_STATIC, h - 2 * origin.y, static_cast<int>(content.lines.size()) + 1);
    float y = margin;
    for (const std::string& line : content.lines) {
      nk_layout_space_push(ctx, nk_rect(textLeft(content) - origin.x, y - origin.y, w - textLeft(content) - margin,
                                        lineHeight));
      nk_label(ctx, line.c_str(), NK_TEXT_LEFT);
      y += lineHeight + lineGap;
    }
    const auto button = [&](float x, const char* label, bool answer) {
      nk_layout_space_push(ctx, nk_rect(x - origin.x, h - margin - buttonHeight - origin.y, buttonWidth, buttonHeight));
      if (nk_button_label(ctx, label)) pressed = answer;
    };
    if (content.question) {
      button(w / 2 - buttonWidth - margin / 2, "Yes", true);
      button(w / 2 + margin / 2, "No", false);
    } else {
      button((w - buttonWidth) / 2, "OK", true);
    }
    nk_layout_space_end(ctx);
  }
  nk_end(ctx);
  return pressed;
}

// Enter answers OK or Yes, Escape closes the box (a question: No).
std::optional<bool> keyPressed(GLFWwindow* window) {
  for (int key : {GLFW_KEY_ENTER, GLFW_KEY_KP_ENTER, GLFW_KEY_ESCAPE}) {
    if (glfwGetKey(window, key) == GLFW_PRESS) return key != GLFW_KEY_ESCAPE;
  }
  return std::nullopt;
}

GLFWwindow* createDialogWindow(const std::string& caption, DialogSize size) {
  glfwDefaultWindowHints();
  hintOpenGlCoreProfile();
  glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
  GLFWwindow* window = glfwCreateWindow(size.width, size.height, caption.c_str(), nullptr, nullptr);
  glfwDefaultWindowHints();
  if (window == nullptr) return nullptr;
  glfwMakeContextCurrent(window);
  if (!loadOpenGl()) {
    glfwDestroyWindow(window);
    return nullptr;
  }
  return window;
}

// The answer; the window's close button says No (closes a box).
bool runDialog(GLFWwindow* window, GuiSession& gui, const DialogContent& content) {
  constexpr float grey = 0.18f;
  glClearColor(grey, grey, grey, 1.0f);
  std::optional<bool> answer;
  const GuiDrawing draw = [&](nk_context* ctx, int width, int height) {
    answer = drawDialog(ctx, content, width, height);
    if (!answer) answer = keyPressed(window);
  };
  while (!answer && !glfwWindowShouldClose(window)) runGuiFrame(window, gui, eventWaitSeconds, draw, grey);
  return answer.value_or(false);
}

std::optional<bool> showInNewWindow(const std::string& caption, const DialogContent& content) {
  GLFWwindow* window = createDialogWindow(caption, measureDialog(content));
  if (window == nullptr) return std::nullopt;
  auto gui = std::make_unique<GuiSession>();
  setUpGui(*gui);
  attachGuiToWindow(window, &gui->context);
  glfwSetInputMode(window, GLFW_STICKY_KEYS, GLFW_TRUE);
  const bool answer = runDialog(window, *gui, content);
  glfwSetWindowUserPointer(window, nullptr);
  shutDownGui(*gui);
  glfwDestroyWindow(window);
  return answer;
}

// The dialog's answer, nothing when none could be shown (other thread, no display, no OpenGL).
// A window whose context is current stays current afterwards and gets no input meanwhile.
std::optional<bool> present(const std::string& caption, const DialogContent& content) {
  if (std::this_thread::get_id() != mainThread || !glfwInit()) return std::nullopt;
  // A window that is already open (the main window) keeps its context, but its input is
  // held back until the box is closed, as a modal box does.
  GLFWwindow* owner = glfwGetCurrentContext();
  void* ownerGui = owner != nullptr ? glfwGetWindowUserPointer(owner) : nullptr;
  if (owner != nullptr) glfwSetWindowUserPointer(owner, nullptr);

  const std::optional<bool> answer = showInNewWindow(caption, content);

  if (owner != nullptr) {
    glfwMakeContextCurrent(owner);
    glfwSetWindowUserPointer(owner, ownerGui);
    dropLatchedInput(owner);
  } else {
    glfwTerminate();
  }
  return answer;
}

}  // namespace

void installMessageBoxDialog() {
  mainThread = std::this_thread::get_id();
  platform::setMessageBoxPresenter(showMessageBoxDialog);
  platform::setQuestionPresenter(askQuestionDialog);
}

bool showMessageBoxDialog(const std::string& caption, const std::string& text, platform::MessageBoxIcon icon) {
  return present(caption, {splitLines(text), icon == platform::MessageBoxIcon::Error}).has_value();
}

std::optional<bool> askQuestionDialog(const std::string& caption, const std::string& text) {
  return present(caption, {splitLines(text), false, true});
}
