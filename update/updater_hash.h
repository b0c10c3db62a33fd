#pragma once
// The digest of the current updater program, as the server publishes it.
#include <optional>
#include <string>

// One request for baseUrl + "QuarnMpUpdater/": a 200 answer's body as it came, nothing
// for any failure (no digest, no verdict).
std::optional<std::string> fetchUpdaterHash(const std::string& baseUrl);
