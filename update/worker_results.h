#pragma once
// What the workers hand back besides their data.
#include <functional>
#include <string>

namespace update {

// Receives a worker's progress, 0 to 1, on the worker's thread.
using ProgressSink = std::function<void(double)>;

// A file the installation could not replace, and why.
struct FileFailure {
  std::string localPath;
  std::string reason;
};

}  // namespace update
