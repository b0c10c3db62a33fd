#pragma once
// Whether the running updater is the one the server publishes. The window asks once a frame;
// the running executable is hashed once, when the first digest to compare with arrives.
#include <optional>
#include <string>

namespace update {

// An empty published digest says nothing, so the updater counts as current; otherwise the
// running executable's MD5 must equal it exactly (an unreadable executable never does).
bool updaterIsCurrent(const std::string& publishedDigest);

// The verdict on the digest that arrived since the last call; nothing when none did.
// Called on the polling thread.
std::optional<bool> takeUpdaterVerdict();

}  // namespace update
