#pragma once
#include <string>

struct GLFWwindow;

// "QuarnMpUpdater - Version " followed by this build's date and time ("Jun  7 2025 18:28:54").
std::string windowTitle();

// Makes the window handle visible to the watchdog; set once by the main thread.
void publishMainWindow(GLFWwindow* window);

// Sleeps 5000 ms; if no window has been published by then, tells the user and ends the
// process with exit code 1.
void windowWatchdog();

// Shown when window creation fails; ends the process with exit code 1.
[[noreturn]] void failWindowCreation();

// Ends the process at once with the code, without running destructors that detached
// threads may still depend on.
[[noreturn]] void endProcess(int exitCode);
