#pragma once
// ".publish-state.json" in the tree: what the last run knew about the source of each
// compressed file, so the next run re-compresses only what changed, and about each document
// (list, catalogue, signature) it wrote, so the next run removes what left the release. It is
// data that anyone with access to the tree may have edited: entries are checked like plan
// paths, and an entry that does not pass is dropped with a warning.
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

inline constexpr const char* publishStateFileName = ".publish-state.json";

struct SourceState {
  std::int64_t modtime = 0;
  std::uintmax_t size = 0;
  std::string digest;  // 32 lower-case hexadecimal digits
  // Left the release in the last run: kept for players who read the list before, removed
  // by the next run.
  bool retired = false;
};

using PublishState = std::map<std::string, SourceState>;  // keyed by path in the tree

struct LoadedState {
  PublishState entries;
  std::vector<std::string> warnings;  // "key: reason" for each entry dropped
};

// An absent or unreadable file gives an empty state: everything is compressed again.
LoadedState readPublishState(const std::filesystem::path& tree);

// The state file's bytes.
std::string publishStateText(const PublishState& state);
