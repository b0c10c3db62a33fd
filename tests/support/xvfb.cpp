#include "tests/support/xvfb.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

XvfbServer::XvfbServer() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  serverPid = fork();
  if (serverPid == 0) {
    int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 1);
    dup2(quiet, 2);
    dup2(fds[1], 3);  // the pipe's write end, without close-on-exec
    execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset",
           static_cast<char*>(nullptr));
    _exit(127);
  }
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
