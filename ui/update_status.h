#pragma once
// The status line under the launch rows: the last task's error, or the comparison's verdict.
#include <string>

struct UpdateStatus {
  const char* text = nullptr;  // nothing to show: no line
  std::string reason;          // why the task failed, for the line's tooltip; may be empty
};

// The error text of errorCode; else, once a comparison has finished and no task runs, whether
// files differ.
UpdateStatus updateStatus();
