#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/catalogue.h"
#include "update/failure.h"
#include "update/release_verification.h"
#include "update/server_address.h"
#include "update/worker_results.h"

namespace update {

struct FetchedCatalogue {
  std::vector<formats::CatalogueEntry> catalogue;
  std::vector<formats::FileList> catalogueFiles;  // one list per entry
  std::optional<Failure> failure;               // nothing when everything arrived
  std::int64_t releaseTimestamp = 0;                    // of the signed catalogue accepted; 0 without a key
  std::string server;                                   // the base address of the server that answered
};

// Downloads the catalogue ("json") and each set's file list from the first of the servers that
// answers, a list named by several sets once, all of them within one DocumentBudget. A server
// that cannot be reached, or answers a request with a 5xx status or not at all, leaves the
// fetch to the next one (askInTurn); any other answer stands. On a failure (a download, a
// malformed document, a set's folder outside the installation, the connection) the sets
// completed so far stay and failure says what went wrong. Under a release check,
// each document must pass its signature before it is read (see release_verification.h), the
// catalogue must be no older than the release accepted before and each list no older than
// the catalogue.
FetchedCatalogue fetchCatalogue(const ServerList& servers, const ProgressSink& progress,
                                const std::optional<formats::ReleaseCheck>& release = std::nullopt);

}  // namespace update
