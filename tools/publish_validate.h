#pragma once
// Everything quarnmp-publish checks before it writes a single byte: the tree's place, each
// set's folder and every name in it, and that no two outputs claim one path.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tools/publish_plan.h"

struct ReleaseFile {
  std::string key;                 // path in the set's folder, with '/'
  std::filesystem::path source;    // the file in that folder
  std::string treePath;            // sourcepath + "/" + key
};

// One element per set of the plan, in plan order; files in key order.
using Release = std::vector<std::vector<ReleaseFile>>;

// Paths of the tree that the publisher writes and that clients read, besides the files.
inline constexpr const char* catalogueTreePath = "json";
inline constexpr const char* updaterDigestTreePath = "QuarnMpUpdater/index.html";
// Where the updater program itself is served, compressed: beside its digest, under its own
// file name (QuarnMpUpdater.exe for Windows players, QuarnMpUpdater for Linux).
std::string updaterProgramTreePath(const std::filesystem::path& program);
// The documents every release writes at the same path, rather than at a path of its own: the
// catalogue and those below "QuarnMpUpdater/" (the updater's digest and program).
inline bool replacedInPlace(std::string_view treePath) {
  return treePath == catalogueTreePath || treePath.starts_with("QuarnMpUpdater/");
}

// True when the path, links resolved, is the folder or lies below it.
bool liesWithin(const std::filesystem::path& inner, const std::filesystem::path& outer);

// The files to publish. Appends "path: reason" to the problems for everything that would
// give clients a tree they cannot use; the release is only to be written when none were found.
Release validateRelease(const PublishPlan& plan, const std::filesystem::path& tree,
                        std::vector<std::string>& problems);
