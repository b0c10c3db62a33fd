#pragma once
// Where the update server lives, and the mirrors that serve copies of its tree.
#include <string>
#include <vector>

namespace update {

// "http://" + the build's server host + ":45004/": the window's server. Every request URL
// is a base address like this one followed directly by a relative path.
const std::string& serverBaseUrl();

// Base addresses of servers that serve the same published tree, asked in this order.
using ServerList = std::vector<std::string>;

// The mirrors the build was configured with (QUARNMP_MIRRORS), ended by a null pointer;
// defined in the source file that CMake generates from built_in_mirrors.cpp.in.
extern const char* const builtInMirrors[];

// serverBaseUrl() first, then the build's mirrors: the list the window asks.
const ServerList& builtInServers();

// The servers a user named, each ended with "/" (a base address), or builtInServers() when
// none was named.
ServerList namedOrBuiltInServers(ServerList named);

}  // namespace update
