#pragma once
// Which names a published tree may hold. A name is refused when a client would refuse it,
// could not fetch it through tools/nginx-update-server.conf (which hides every segment that
// starts with "."), could not carry it in a JSON list, or could not store it on Windows.
#include <optional>
#include <string>
#include <string_view>

// Why the path cannot be served from the tree (as a catalogue, list or file path), or nothing.
std::optional<std::string> servedPathProblem(std::string_view path);

// Why a client cannot install the path below its installation root, or nothing.
std::optional<std::string> installedPathProblem(std::string_view path);

// The one name Windows gives every spelling of the path: letters folded by Unicode's simple
// case folding, '\' read as '/'. Two keys of one set with the same identity would be one file
// on a player's disk, and a file whose identity is a folder of another key could not be stored.
std::string windowsIdentity(std::string_view path);
