#pragma once
// The release a tree serves now, read before a new one takes its place. It is data that anyone
// with access to the tree may have changed: its catalogue only says where outputs that may be
// reused lie (each is checked against its source before it is), and its release time counts
// only under a signature by the key that signs the new release.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "formats/catalogue.h"
#include "formats/release_key.h"

struct LiveRelease {
  std::vector<formats::CatalogueEntry> catalogue;   // empty when there is none or it cannot be read
  std::optional<std::int64_t> signedTime;  // its release time, when its signature holds under the key
};

// Without a key no signature is read. With one, a catalogue without a valid signature by it
// (an unsigned tree, a key that was replaced, a damaged file) adds a warning: the new release
// then takes its time from the clock alone.
LiveRelease readLiveRelease(const std::filesystem::path& tree, const formats::SecretKey* key,
                            std::vector<std::string>& warnings);

// The time to sign a new release with: the clock, but always later than the release the tree
// serves, which clients that installed it would otherwise refuse. A clock more than a minute
// behind that release adds a warning.
std::int64_t nextReleaseTime(std::int64_t clock, const LiveRelease& live, std::vector<std::string>& warnings);

// "2026-12-07 19:54:16 UTC"
std::string utcText(std::int64_t time);
