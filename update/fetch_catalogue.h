#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/catalogue.h"
#include "update/failure.h"
#include "update/release_verification.h"
#include "update/worker_results.h"

namespace update {

struct FetchedCatalogue {
  std::vector<formats::CatalogueEntry> catalogue;
  std::vector<formats::FileList> catalogueFiles;  // one list per entry
  std::optional<Failure> failure;               // nothing when everything arrived
  std::int64_t releaseTimestamp = 0;                    // of the signed catalogue accepted; 0 without a key
};

// Downloads the catalogue ("json") and each set's file list from baseUrl, a list named by
// several sets once, all of them within one DocumentBudget. On a failure (a download, a
// malformed document, a set's folder outside the installation, the connection) the sets
// completed so far stay and failure says what went wrong. Under a release check,
// each document must pass its signature before it is read (see release_verification.h), the
// catalogue must be no older than the release accepted before and each list no older than
// the catalogue.
FetchedCatalogue fetchCatalogue(const std::string& baseUrl, const ProgressSink& progress,
                                const std::optional<formats::ReleaseCheck>& release = std::nullopt);

}  // namespace update
