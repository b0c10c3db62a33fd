#include "tests/support/xvfb.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testing_support {

namespace {

constexpr int startTimeoutMs = 30000;

// Reads the display number that Xvfb writes (followed by a line feed) once it accepts clients.
std::string readDisplayNumber(int fd) {
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(startTimeoutMs);
  while (text.find('\n') == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd pfd{fd, POLLIN, 0};
    int ready = poll(&pfd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return {};
    char buffer[32];
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) return {};
    text.append(buffer, static_cast<size_t>(got));
  }
  text.resize(text.find('\n'));
  return text.empty() ? std::string() : ":" + text;
}

void stopProcess(pid_t pid) {
  kill(pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

}  // namespace

XvfbServer::XvfbServer(int width, int height) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  pid_t child = fork();
  if (child == 0) {
    int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 1);
    dup2(quiet, 2);
    dup2(fds[1], 3);  // the pipe's write end, without close-on-exec
    execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp",
           "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  if (child < 0) {
    close(fds[0]);
    return;
  }
  serverPid = child;
  displayName = readDisplayNumber(fds[0]);
  close(fds[0]);
}

XvfbServer::~XvfbServer() {
  if (serverPid > 0) stopProcess(serverPid);
}

std::map<std::string, std::optional<std::string>> XvfbServer::environment() const {
  return {{"DISPLAY", displayName}, {"LIBGL_ALWAYS_SOFTWARE", "1"}, {"WAYLAND_DISPLAY", std::nullopt}};
}

void XvfbServer::useInThisProcess() const {
  setenv("DISPLAY", displayName.c_str(), 1);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
  unsetenv("WAYLAND_DISPLAY");
}

}  // namespace testing_support
