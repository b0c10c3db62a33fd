#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <cstdio>
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
#include "update/tasks.h"

namespace {
void printGlfwError(int code, const char* description) {
  std::printf("Error %d: %s\n", code, description);
}
}  // namespace

// Arguments are ignored: everything is relative to the working directory.
int main() {
  installMessageBoxDialog();
  auto layout = checkInstallation();
  if (!layout) {
    platform::showMessageBox(wrongDirectoryCaption, wrongDirectoryText, platform::MessageBoxIcon::Error);
    return 0;
  }
  game::installLayout = *layout;
  // What replacing this program left: on Windows the old copy, which could not go while it ran.
  platform::tidyProgramCopies(platform::executablePath());

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
  return 0;
}
