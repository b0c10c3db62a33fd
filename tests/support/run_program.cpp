#include "tests/support/run_program.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>

extern char** environ;

namespace testing_support {

namespace {

// The texts' C strings, then the null pointer that ends an argv or envp.
std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (auto& text : texts) result.push_back(text.data());
  result.push_back(nullptr);
  return result;
}

}  // namespace

int spawnProgram(const std::string& program, const std::vector<std::string>& arguments,
                 const ProgramOptions& options, int input, int output, int error) {
  std::vector<std::string> argv{program}, envp;
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    if (options.environment.count(text.substr(0, text.find('='))) == 0) envp.push_back(text);
  }
  for (const auto& [name, value] : options.environment) {
    if (value) envp.push_back(name + "=" + *value);
  }
  auto argvPointers = pointers(argv);
  auto envPointers = pointers(envp);
  const pid_t child = fork();
  if (child == 0) {
    dup2(input, 0);
    dup2(output, 1);
    dup2(error, 2);
    if (chdir(options.workingDirectory.c_str()) != 0) _exit(126);
    execvpe(program.c_str(), argvPointers.data(), envPointers.data());
    _exit(127);
  }
  return child;
}

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const ProgramOptions& options) {
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return {};
  const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t child = spawnProgram(program, arguments, options, nothing, outPipe[1], errPipe[1]);
  for (int fd : {nothing, outPipe[1], errPipe[1]}) close(fd);

  ProgramResult result;
  const auto deadline = std::chrono::steady_clock::now() + options.timeout;
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  // poll skips the pipes already closed (negative descriptors) and clears their events.
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    using std::chrono::milliseconds;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(child, SIGKILL);
      result.timedOut = true;
      break;
    }
    if (poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(got));
      } else {
        close(std::exchange(fds[i].fd, -1));
      }
    }
  }
  for (const auto& fd : fds) {
    if (fd.fd >= 0) close(fd.fd);
  }
  int status = 0;
  waitpid(child, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace testing_support
