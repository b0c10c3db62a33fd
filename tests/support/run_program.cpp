#include "tests/support/run_program.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "tests/support/temp_folder.h"

extern char** environ;

namespace testing_support {

int spawnProgram(const std::string& program, const std::vector<std::string>& arguments,
                 const ProgramOptions& options, int input, int output, int error) {
  std::vector<std::string> argv{program}, envp;
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  for (char** entry = environ; *entry != nullptr; ++entry)
    if (!options.environment.contains(std::string(*entry, std::strcspn(*entry, "=")))) envp.push_back(*entry);
  for (const auto& [name, value] : options.environment)
    if (value) envp.push_back(name + "=" + *value);
  std::vector<char*> argvPointers, envPointers;
  for (auto [texts, pointers] : {std::pair{&argv, &argvPointers}, std::pair{&envp, &envPointers}}) {
    for (auto& text : *texts) pointers->push_back(text.data());
    pointers->push_back(nullptr);
  }
  const pid_t child = fork();
  if (child == 0) {
    const int streams[] = {input, output, error};
    for (int descriptor = 0; descriptor < 3; ++descriptor) dup2(streams[descriptor], descriptor);
    if (chdir(options.workingDirectory.c_str()) != 0) _exit(126);
    execvpe(program.c_str(), argvPointers.data(), envPointers.data());
    _exit(127);
  }
  return child;
}

// The output goes to files, not pipes: a background process the program leaves behind (a
// wineserver) holds them open without holding up the result.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const ProgramOptions& options, const std::function<bool()>& killWhen) {
  TempFolder folder;
  const int output = open((folder / "out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  const int error = open((folder / "err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t child = spawnProgram(program, arguments, options, nothing, output, error);
  for (int fd : {nothing, output, error}) close(fd);
  if (child < 0) return {};
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + options.timeout;
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline || (killWhen && killWhen())) kill(child, SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), readFile(folder / "out"),
          readFile(folder / "err")};
}

}  // namespace testing_support
