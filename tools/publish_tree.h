#pragma once
// Turns a plan into a static update-server tree:
//   json                             the catalogue
//   <url>.<release>                  each set's file list (key -> MD5 digest)
//   <sourcepath>/<release>/<key>     each file, zlib-compressed
//   QuarnMpUpdater/<program name>    the updater program, zlib-compressed
//   QuarnMpUpdater/index.html        the updater's digest (32 hex digits)
// and, for a signed release, "<path>.minisig" beside the catalogue, each list, the updater
// program (its compressed bytes as served) and the updater digest; plus ".publish-state.json", which names what the publisher wrote so the next run
// retires what left the release, ".publishing/", where each output is made before it is
// renamed into place, and ".publish-lock", which keeps a second run out (the server serves
// none of them). <release> is a number new to the tree (the release time when it is free).
//
// Everything is checked before anything is written. Each release has folders and lists of its
// own, and only the catalogue, written last, points players to them: a player who read the
// catalogue before gets the whole old release, one who reads it after the whole new one. A
// file whose source is unchanged is linked from the release the tree serves once that output
// is found to inflate to the source as read now; every digest a list names comes from this
// run's reading of its source, in the same pass that made or checked the served bytes, and a
// source that changes while the run reads it fails the run. The release the catalogue named
// before stays until the next run, for players who were fetching it; that run removes it
// (and the folders it leaves empty) once its own catalogue is in place. The state names a
// release before its first file is written, so a run that is killed leaves only whole files
// under served paths, none of them named by the catalogue, and the next runs remove them.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/publish_plan.h"
#include "formats/release_key.h"

struct PublishSummary {
  std::size_t files = 0;       // files in all sets
  std::size_t compressed = 0;  // of these, compressed in this run (or that would be); the others are linked
  std::size_t removed = 0;     // outputs that left the release in an earlier run
  std::int64_t release = 0;    // the release's number, for a signed one its time
  std::vector<std::string> written;      // tree paths written, in order
  std::vector<std::string> removals;     // tree paths removed
  std::vector<std::string> retirements;  // tree paths that left the release, removed next time
  std::vector<std::string> warnings;     // "path: reason" for state entries ignored, files left alone, the clock
};

// Throws PublishRefused, with every problem found, before touching the tree; throws
// std::runtime_error when the tree cannot be written or a source changed while it was read.
// A dry run only reports. With a key, the release's documents are signed as they are written.
PublishSummary publishTree(const PublishPlan& plan, const std::filesystem::path& tree, bool dryRun = false,
                           const formats::SecretKey* signingKey = nullptr);
