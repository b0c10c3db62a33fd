#pragma once
// The digest of the current updater program, as the server publishes it.
#include <optional>
#include <string>

#include "update/release_verification.h"

// One request for baseUrl + "QuarnMpUpdater/": a 200 answer's body as it came, nothing
// for any failure (no digest, no verdict). Under a key, a digest without a valid signature
// for "QuarnMpUpdater/index.html" is no digest either.
std::optional<std::string> fetchUpdaterHash(const std::string& baseUrl, const std::optional<PublicKey>& key = std::nullopt);
