#pragma once
// Runs a program the way a user or script would, and collects what it printed.
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct ProgramResult {
  int exitCode = -1;       // the exit status, or 128 + signal number
  bool timedOut = false;   // killed after the time limit
  std::string out;
  std::string err;
};

struct ProgramOptions {
  std::string workingDirectory = ".";
  // Variables to set (a value) or to remove (nothing) in the inherited environment.
  std::map<std::string, std::optional<std::string>> environment;
  std::chrono::milliseconds timeout{60000};
};

// The output as the tests compare it: the Windows builds' programs end lines with "\r\n" in
// text mode, read here as "\n" (their tests are compiled with QUARNMP_WINDOWS_PROGRAMS).
inline ProgramResult withUnixLineEnds(ProgramResult result) {
#ifdef QUARNMP_WINDOWS_PROGRAMS
  for (std::string* text : {&result.out, &result.err}) {
    for (auto at = text->find("\r\n"); at != std::string::npos; at = text->find("\r\n", at)) text->erase(at, 1);
  }
#endif
  return result;
}

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const ProgramOptions& options = {});

// Starts the program (searched in PATH when it has no slash) in the options' folder and
// environment, with standard input, output and error on the given descriptors. The child's
// process id; the caller waits for it.
int spawnProgram(const std::string& program, const std::vector<std::string>& arguments,
                 const ProgramOptions& options, int input, int output, int error);

}  // namespace testing_support
