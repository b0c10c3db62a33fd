#pragma once
// A private X server for tests that need a display: Xvfb picks a free display number itself
// (-displayfd), so parallel test runs never collide; only local clients reach it (-nolisten
// tcp). Stopped when the object goes.
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>

namespace testing_support {

class XvfbServer {
 public:
  XvfbServer();
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // ":N"; empty when the server could not be started.
  const std::string& display() const { return displayName; }
  bool running() const { return !displayName.empty(); }
  // DISPLAY and Mesa's software OpenGL, for ProgramOptions::environment.
  std::map<std::string, std::optional<std::string>> environment() const;
  // The same variables, set in this process (for tests that open windows themselves).
  void useInThisProcess() const;

 private:
  pid_t serverPid = -1;
  std::string displayName;
};

}  // namespace testing_support
