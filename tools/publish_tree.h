#pragma once
// Turns a plan into a static update-server tree:
//   json                        the catalogue
//   <url>                       each set's file list (key -> MD5 digest)
//   <sourcepath>/<key>          each file, zlib-compressed
//   QuarnMpUpdater/index.html   the updater's digest (32 hex digits)
// plus ".publish-state.json", which lets the next run re-compress only changed files.
#include <filesystem>

#include "tools/publish_plan.h"

struct PublishSummary {
  std::size_t files = 0;       // files in all sets
  std::size_t compressed = 0;  // of these, compressed in this run
  std::size_t removed = 0;     // compressed files of earlier runs no set names any more
};

// Throws std::runtime_error when a source cannot be read or the tree cannot be written.
PublishSummary publishTree(const PublishPlan& plan, const std::filesystem::path& tree);
