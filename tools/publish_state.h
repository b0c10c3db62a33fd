#pragma once
// ".publish-state.json" in the tree: every path the publisher wrote that is still there, and
// whether it is live (in the release the catalogue names, or in one being made) or retired
// (left the release in the last run, removed by the next). It decides nothing but what is
// removed, and anyone with access to the tree may have edited it: entries are checked like plan
// paths, an entry that does not pass is dropped with a warning, and only regular files inside
// the tree are ever removed.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

inline constexpr const char* publishStateFileName = ".publish-state.json";

enum class PathState { Live, Retired };

using PublishState = std::map<std::string, PathState>;  // keyed by path in the tree

struct LoadedState {
  PublishState entries;
  std::vector<std::string> warnings;  // "key: reason" for each entry dropped
};

// An absent or unreadable file gives an empty state. Records of earlier versions (objects with
// a "retired" flag) are read too.
LoadedState readPublishState(const std::filesystem::path& tree);

// The state file's bytes.
std::string publishStateText(const PublishState& state);
