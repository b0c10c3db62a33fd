#pragma once
// Runs a program the way a user or script would, and collects what it printed.
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct ProgramResult {
  int exitCode = -1;  // the exit status, or 128 + signal number (SIGKILL after the time limit)
  std::string out, err;
};

struct ProgramOptions {
  std::string workingDirectory = ".";
  // Variables to set (a value) or to remove (nothing) in the inherited environment.
  std::map<std::string, std::optional<std::string>> environment;
  std::chrono::milliseconds timeout{60000};
  std::function<bool()> killWhen;  // asked while the program runs: true ends it with SIGKILL
};

// The programs under test: the native builds, or, in tests compiled with
// QUARNMP_WINDOWS_PROGRAMS, the Windows builds under Wine, whose text mode ends lines with "\r\n".
// Internal to each file: the support library beside such a test is compiled without it.
#ifdef QUARNMP_WINDOWS_PROGRAMS
static constexpr bool windowsPrograms = true;
#else
static constexpr bool windowsPrograms = false;
#endif
static constexpr const char* programLineEnd = windowsPrograms ? "\r\n" : "\n";

// The output as the tests compare it, lines ending in "\n".
static inline ProgramResult withUnixLineEnds(ProgramResult result) {
  for (std::string* text : {&result.out, &result.err})
    for (auto at = text->find("\r\n"); windowsPrograms && at != std::string::npos; at = text->find("\r\n", at))
      text->erase(at, 1);
  return result;
}

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const ProgramOptions& options = {});

// Starts the program (searched in PATH when it has no slash) in the options' folder and
// environment, with standard input, output and error on the given descriptors; the caller
// waits for the child whose process id this returns.
int spawnProgram(const std::string& program, const std::vector<std::string>& arguments,
                 const ProgramOptions& options, int input, int output, int error);

}  // namespace testing_support
