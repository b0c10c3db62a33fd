#pragma once
// Replacing an updater program in place, also while it runs, so that its path always leads
// to a whole program: the old one or the new one.
#include <string>
#include <string_view>

namespace platform {

// How the operating system names a program file: "QuarnMpUpdater.exe" on Windows,
// "QuarnMpUpdater" elsewhere.
std::string programFileName(std::string_view stem);

// Writes the content beside the program ("<program>.new"), flushes it to disk with the old
// program's permission bits (Windows: its attributes), and puts it in the program's place:
// POSIX systems rename it over the program; Windows renames the program aside
// ("<program>.old", allowed while it runs), moves the new one in and moves the old one back
// when that fails. The reason when the program was not replaced (it is then as it was;
// a read-only program is never replaced), "" on success.
std::string replaceProgram(const std::string& program, std::string_view content);

// What a replacement that was cut off, or a program that ran while it was replaced, leaves
// beside the program: moves the aside copy back when the program is missing, then removes
// both copies (one still running stays until the next call). Call at start-up. False while
// a copy is left.
bool tidyProgramCopies(const std::string& program);

// Starts the program that has just replaced the running one at `program`, with this process's
// arguments (argv as main received it) and working directory. POSIX systems execute it in this
// process's place, so this returns only when that failed. Windows starts it with the rest of
// this process's command line and returns "": the caller then ends, and the new program removes
// the old copy at its start; when it cannot be started, the old program is moved back from
// "<program>.old". The reason when the new program was not started.
std::string startReplacedProgram(const std::string& program, char** argv);

}  // namespace platform
