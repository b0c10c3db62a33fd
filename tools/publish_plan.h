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
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/catalogue.h"

struct PublishedSet {
  formats::CatalogueEntry entry;
  std::filesystem::path folder;  // local folder whose files make up the set
  std::size_t number = 0;        // its place in the plan, from 1
};

struct PublishPlan {
  std::optional<std::filesystem::path> updater;
  int level = 6;
  std::vector<PublishedSet> sets;
  std::vector<std::string> problems;  // "plan: reason" for each value that cannot be used
};

// A plan that cannot be published, with every problem found as "path: reason".
class PublishRefused : public std::runtime_error {
 public:
  explicit PublishRefused(std::vector<std::string> problems)
      : std::runtime_error("the plan cannot be published"), problems(std::move(problems)) {}
  std::vector<std::string> problems;
};

// Throws PublishRefused for a file that is not a JSON object. A set that misses a value or
// has one of the wrong type is left out and its problem noted, so that validateRelease can
// list it with all others; validateRelease checks the paths.
PublishPlan readPublishPlan(const std::filesystem::path& planFile);
