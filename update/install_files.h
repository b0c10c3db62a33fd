#pragma once
#include <string>

// Creates every folder level of the path, outermost first; existing folders and
// failures are ignored.
void createDirectories(const std::string& path);

// The worker of the installation: downloads each file of differingFiles and replaces the
// local copy with it. A file that cannot be downloaded or written keeps its old content
// (the replacement is atomic) and is left for the next comparison to list. Always true.
bool updateFiles();
