#pragma once
#include <string>
#include <vector>

#include "update/catalogue.h"
#include "update/worker_results.h"

struct FetchedCatalogue {
  std::vector<CatalogueEntry> catalogue;
  std::vector<std::vector<FileRecord>> catalogueFiles;  // one list per entry
  std::string failure;                                  // empty when everything arrived
};

// Downloads the catalogue ("json") and each set's file list from baseUrl. On a failure
// (a download, a malformed document, a path outside the installation, the connection)
// the sets completed so far stay and failure says what went wrong.
FetchedCatalogue fetchCatalogue(const std::string& baseUrl, const ProgressSink& progress);
