#pragma once
// The program's own command line.
#include <string>
#include <vector>

namespace platform {

// The arguments after the program's name, as texts of the program: on Windows read from the wide
// command line in UTF-8 (main's are in the ANSI code page, which cannot carry every path),
// elsewhere as main received them.
std::vector<std::string> programArguments(int argc, char** argv);

}  // namespace platform
