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
  std::map<std::string, std::optional<std::string>> environment = {};  // to set (a value) or remove (nothing)
  std::chrono::milliseconds timeout{60000};
};

// The programs under test: native, or, in a test compiled with QUARNMP_WINDOWS_PROGRAMS (not the
// support library), the Windows builds under Wine, whose text mode ends lines with "\r\n".
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

// killWhen, asked while the program runs, ends it with SIGKILL when it says true.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const ProgramOptions& options = {}, const std::function<bool()>& killWhen = nullptr);

// Starts the program (searched in PATH without a slash) in the options' folder and environment, with
// standard input, output and error on the given descriptors. The child's id; the caller waits for it.
int spawnProgram(const std::string& program, const std::vector<std::string>& arguments,
                 const ProgramOptions& options, int input, int output, int error);

}  // namespace testing_support
