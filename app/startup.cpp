#include "app/startup.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/message_box.h"

namespace {
std::atomic<GLFWwindow*> mainWindow{nullptr};
}

std::string windowTitle() { return std::string("QuarnMpUpdater - Version ") + __DATE__ " " __TIME__; }

void publishMainWindow(GLFWwindow* window) { mainWindow.store(window); }

void endProcess(int exitCode) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(exitCode);
}

void failWindowCreation() {
  platform::showMessageBox("QuarnMpUpdater glfwCreateWindow failed!",
                           "Please start the application from your main monitor.",
                           platform::MessageBoxIcon::Error);
  endProcess(1);
}

void windowWatchdog() {
  std::this_thread::sleep_for(std::chrono::milliseconds(5000));
  if (mainWindow.load() == nullptr) failWindowCreation();
}
