#include "platform/process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

#include "platform/files.h"

extern char** environ;

namespace platform {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Backslashes before a double quote escape in pairs; elsewhere they are plain characters.
void takeBackslashes(const std::string& line, std::size_t& at, std::string& argument) {
  std::size_t count = 0;
  while (at < line.size() && line[at] == '\\') ++count, ++at;
  if (at < line.size() && line[at] == '"') {
    argument.append(count / 2, '\\');
    if (count % 2 == 1) {
      argument += '"';
      ++at;
    }
  } else {
    argument.append(count, '\\');
  }
}

// The arguments of a command line as the Windows C run-time splits it for a program: blanks
// separate outside double quotes, quotes group and vanish, "" inside quotes is one quote.
std::vector<std::string> splitWindowsCommandLine(const std::string& line) {
  std::vector<std::string> arguments;
  std::size_t at = 0;
  for (;;) {
    while (at < line.size() && isBlank(line[at])) ++at;
    if (at >= line.size()) return arguments;
    std::string argument;
    bool quoted = false;
    while (at < line.size() && (quoted || !isBlank(line[at]))) {
      if (line[at] == '\\') {
        takeBackslashes(line, at, argument);
      } else if (line[at] == '"') {
        ++at;
        if (quoted && at < line.size() && line[at] == '"') {
          argument += '"';
          ++at;
        } else {
          quoted = !quoted;
        }
      } else {
        argument += line[at++];
      }
    }
    arguments.push_back(argument);
  }
}

bool isWindowsProgram(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  char magic[2] = {};
  return file.read(magic, 2) && magic[0] == 'M' && magic[1] == 'Z';
}

std::optional<std::string> findOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return std::nullopt;
  const std::string folders = path;
  for (std::size_t start = 0; start <= folders.size();) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = end > start ? folders.substr(start, end - start) : ".";
    const std::string candidate = folder + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace

bool startProcess(const std::string& executable, const std::string& commandLine) {
  const std::string program = nativePath(executable);
  std::vector<std::string> arguments = splitWindowsCommandLine(commandLine);
  arguments.insert(arguments.begin(), program);
  if (isWindowsProgram(program)) {
    if (auto wine = findOnPath("wine")) arguments.insert(arguments.begin(), *wine);
  }
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  // Like CreateProcessA without handle inheritance: the game gets no descriptor beyond the
  // standard three (an open download's socket, say).
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t child = -1;
  const int failure = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (failure != 0) return false;
  // The game is never waited for; a thread of its own reaps it when it ends.
  std::thread([child] {
    int status = 0;
    ::waitpid(child, &status, 0);
  }).detach();
  return true;
}

}  // namespace platform
