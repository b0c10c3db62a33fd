#pragma once
// Turns a plan into a static update-server tree:
//   json                        the catalogue
//   <url>                       each set's file list (key -> MD5 digest)
//   <sourcepath>/<key>          each file, zlib-compressed
//   QuarnMpUpdater/index.html   the updater's digest (32 hex digits)
// and, for a signed release, "<path>.minisig" beside the catalogue, each list and the
// updater digest; plus ".publish-state.json", which lets the next run re-compress only changed files
// and retire what left the release, ".publishing/", where each output is made before it is
// renamed into place, and ".publish-lock", which keeps a second run out (the server serves
// none of them).
//
// Everything is checked before anything is written. Then the tree changes in the order in
// which clients read it backwards: files first, then the lists, then the catalogue, so a
// client never reads a list that names a file not yet there. A file that left the release
// stays until the next run, so a player who read the last list just before the new catalogue
// came can still fetch it; that run removes it (and the folders it leaves empty) once its own
// catalogue is in place. The same holds for a set's list and the signatures. A run that
// is killed leaves only whole files under served paths, and the next run finishes the job.
#include <filesystem>
#include <string>
#include <vector>

#include "tools/publish_plan.h"
#include "tools/publish_sign.h"

struct PublishSummary {
  std::size_t files = 0;       // files in all sets
  std::size_t compressed = 0;  // of these, compressed in this run (or that would be)
  std::size_t removed = 0;     // outputs that left the release in an earlier run
  std::vector<std::string> written;   // tree paths written, in order
  std::vector<std::string> removals;     // tree paths removed
  std::vector<std::string> retirements;  // tree paths that left the release, removed next time
  std::vector<std::string> warnings;  // "path: reason" for state entries ignored, files left alone
};

// Throws PublishRefused, with every problem found, before touching the tree; throws
// std::runtime_error when the tree cannot be written. A dry run only reports.
// A signer signs the release's documents as they are written.
PublishSummary publishTree(const PublishPlan& plan, const std::filesystem::path& tree, bool dryRun = false,
                           const ReleaseSigner* signer = nullptr);
