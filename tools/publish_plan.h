#pragma once
// What quarnmp-publish is asked to publish: a small JSON plan.
//
// {
//   "updater": "path/to/QuarnMpUpdater.exe",          (optional)
//   "level": 6,                                       (optional zlib level, 0-9)
//   "sets": [ { "name": "...", "description": "...", "sourcepath": "files/mod",
//               "destinationpath": "QuarnServer", "url": "lists/mod", "default": true,
//               "folder": "mod/QuarnServer" } ]
// }
//
// Relative "updater" and "folder" paths are taken from the plan file's folder.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "update/catalogue.h"

struct PublishedSet {
  CatalogueEntry entry;
  std::filesystem::path folder;  // local folder whose files make up the set
};

struct PublishPlan {
  std::optional<std::filesystem::path> updater;
  int level = 6;
  std::vector<PublishedSet> sets;
};

// Throws std::runtime_error with a readable text for a plan that cannot be used, including
// server paths that would leave the published tree or local paths that would leave the
// installation.
PublishPlan readPublishPlan(const std::filesystem::path& planFile);
