#pragma once
// The status line under the launch rows: the last task's error, or the comparison's verdict.
#include <string>

struct UpdateStatus {
  std::string text;    // empty: no line
  std::string reason;  // for the line's tooltip: why the task failed, or which files the
                       // installation could not replace; may be empty
};

// The error text of errorCode; while the updater replaces itself, its progress; else, once a
// comparison has finished and no task runs, whether files differ.
UpdateStatus updateStatus();
