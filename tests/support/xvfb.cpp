#include "tests/support/xvfb.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/run_program.h"

namespace testing_support {

XvfbServer::XvfbServer() {
  int fds[2];
  if (pipe(fds) != 0) return;
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);  // the write end goes to Xvfb
  const int quiet = open("/dev/null", O_RDWR | O_CLOEXEC);
  serverPid = spawnProgram("Xvfb", {"-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24",
                                    "-nolisten", "tcp", "-noreset"}, {}, quiet, quiet, quiet);
  close(quiet);
  close(fds[1]);
  // Once it accepts clients, Xvfb writes its display number and a line feed; a server that
  // fails to start ends, which closes the pipe.
  std::string number;
  char c = 0;
  while (serverPid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (c == '\n' && !number.empty()) displayName = ":" + number;
}

XvfbServer::~XvfbServer() {
  if (serverPid <= 0) return;
  kill(serverPid, SIGTERM);
  waitpid(serverPid, nullptr, 0);
}

std::map<std::string, std::optional<std::string>> XvfbServer::environment() const {
  return {{"DISPLAY", displayName}, {"LIBGL_ALWAYS_SOFTWARE", "1"}, {"WAYLAND_DISPLAY", std::nullopt}};
}

void XvfbServer::useInThisProcess() const {
  for (const auto& [name, value] : environment()) {
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
}

}  // namespace testing_support
