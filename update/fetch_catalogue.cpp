#include "update/fetch_catalogue.h"

#include <exception>

#include "update/catalogue_json.h"
#include "update/download.h"

namespace {

void fetchInto(FetchedCatalogue& fetched, const std::string& baseUrl, const ProgressSink& progress) {
  const Downloaded<std::string> catalogueDocument = downloadText(baseUrl, "json");
  if (!catalogueDocument.ok()) {
    fetched.failure = "json: " + catalogueDocument.failure;
    return;
  }
  const std::vector<CatalogueEntry> entries = catalogueFromText(catalogueDocument.content);
  progress(0);
  for (const CatalogueEntry& entry : entries) {
    const Downloaded<std::string> list = downloadText(baseUrl, entry.url);
    if (!list.ok()) {
      fetched.failure = entry.url + ": " + list.failure;
      return;
    }
    fetched.catalogueFiles.push_back(fileListFromText(list.content, entry));
    fetched.catalogue.push_back(entry);
    progress(static_cast<double>(fetched.catalogue.size()) / static_cast<double>(entries.size()));
  }
}

}  // namespace

FetchedCatalogue fetchCatalogue(const std::string& baseUrl, const ProgressSink& progress) {
  FetchedCatalogue fetched;
  try {
    fetchInto(fetched, baseUrl, progress);
  } catch (const std::exception& failure) {
    fetched.failure = failure.what();
  }
  return fetched;
}
