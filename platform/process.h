#pragma once
// CreateProcessA: starts a program and returns at once; the caller never waits for it.
#include <string>

namespace platform {

// Starts the executable (a path relative to the working directory, '\' or '/') with the
// command line, which holds only the arguments, as Windows hands them to the program. The
// process inherits the working directory and the environment. False when it could not be
// started. On Linux the line is split into arguments by the rules of the Windows C run-time,
// and a Windows program (a file beginning with "MZ") runs through Wine when `wine` is on the
// PATH.
bool startProcess(const std::string& executable, const std::string& commandLine);

}  // namespace platform
