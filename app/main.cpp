#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

#include "app/frame_loop.h"
#include "app/gui_frame.h"
#include "app/installation_check.h"
#include "app/message_box_dialog.h"
#include "app/startup.h"
#include "app/window_input.h"
#include "game/languages.h"
#include "game/settings.h"
#include "platform/folders.h"
#include "platform/message_box.h"
#include "platform/program_file.h"
#include "ui/questions.h"
#include "ui/texts.h"
#include "update/tasks.h"

namespace {
void printGlfwError(int code, const char* description) {
  std::printf("Error %d: %s\n", code, description);
}

// What replacing this program left. On Windows the old copy goes only once the old program
// has ended, which may be a moment after it started this one: tried for a few seconds.
void tidyProgramCopiesSoon() {
  std::thread([program = platform::executablePath()] {
    for (int tries = 0; !platform::tidyProgramCopies(program) && tries < 50; ++tries)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }).detach();
}

// The window has closed for the program that replaced this one: it runs in this one's place.
int startReplacedProgram(const std::string& program, char** argv) {
  const std::string refused = platform::startReplacedProgram(program, argv);
  if (refused.empty()) endProcess(0);
  platform::showMessageBox("Error!", std::string(uiText(TextId::errSelfUpdate)) + "\r\n" + refused,
                           platform::MessageBoxIcon::Error);
  return 1;
}
}  // namespace

// Everything is relative to the working directory; the arguments only pass on to a program
// that replaces this one.
int main(int, char** argv) {
  installMessageBoxDialog();
  setYesNoQuestion(platform::askYesNo);
  auto layout = checkInstallation();
  if (!layout) {
    platform::showMessageBox(wrongDirectoryCaption, wrongDirectoryText, platform::MessageBoxIcon::Error);
    return 0;
  }
  game::installLayout = *layout;
  tidyProgramCopiesSoon();  // what replacing this program left: on Windows the old copy, which could not go while it ran

  game::UiLanguageIndex = 2;
  game::loadSettings();
  update::startUpdaterHashCheck();

  glfwSetErrorCallback(printGlfwError);
  if (!glfwInit()) {
    std::printf("[GFLW] failed to init!\n");
    endProcess(1);
  }
  hintOpenGlCoreProfile();

  int monitorCount = 0;
  glfwGetMonitors(&monitorCount);
  if (monitorCount < 1) return 0;

  const std::string title = windowTitle();
  std::thread(windowWatchdog).detach();
  GLFWwindow* window = glfwCreateWindow(640, 360, title.c_str(), nullptr, nullptr);
  if (window == nullptr) failWindowCreation();
  publishMainWindow(window);
  glfwMakeContextCurrent(window);
  attachGuiToWindow(window, &mainGui.context);

  glViewport(0, 0, 640, 360);
  if (!loadOpenGl()) {
    std::fprintf(stderr, "Failed to setup GLEW\n");
    endProcess(1);
  }

  runWindow(window);
  if (const std::optional<std::string> program = update::replacedProgram()) return startReplacedProgram(*program, argv);
  return 0;
}
