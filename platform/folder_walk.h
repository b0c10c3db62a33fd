#pragma once
// Walking a folder tree.
#include <string>
#include <vector>

namespace platform {

// The names (last path component) of every file system object below the folder (a path as files.h
// takes it), depth first in the file system's order: each folder's entries come before the next
// entry of its parent. Links to folders (on Windows every reparse point: junctions too) are listed but not entered,
// so a loop ends; a folder that cannot be read is left out without ending the walk. Names are
// texts as the game reads them on its command line: on Windows in the ANSI code page, and a
// name that code page cannot carry is left out. Empty when the folder cannot be read.
std::vector<std::string> entryNamesBelow(const std::string& folder);

}  // namespace platform
