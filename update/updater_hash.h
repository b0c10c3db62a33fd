#pragma once
// The digest of the current updater program, as the server publishes it.
#include <optional>
#include <string>

#include "update/download.h"
#include "update/release_verification.h"
#include "update/server_address.h"

namespace update {

// One request for <base> + "QuarnMpUpdater/" at the first of the servers that answers
// (askInTurn): a 200 answer's body as it came, or the failure that left none (then no verdict
// is made). Under a release check the digest must also be signed for
// "QuarnMpUpdater/index.html" in a release no older than the one accepted, so an old digest
// cannot hide that the updater is outdated. Never throws.
Result<std::string> fetchUpdaterHash(const ServerList& servers,
                                             const std::optional<formats::ReleaseCheck>& release = std::nullopt);

}  // namespace update
