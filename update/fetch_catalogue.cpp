#include "update/fetch_catalogue.h"

#include <exception>
#include <map>
#include <memory>
#include <utility>

#include "formats/catalogue_json.h"
#include "update/download.h"
#include "update/server_choice.h"

namespace update {

using formats::CatalogueEntry;
using formats::ListedFiles;
using formats::ReleaseCheck;
using formats::catalogueFromText;
using formats::fileListOf;
using formats::listedFilesFromText;

namespace {

// Without a key every document passes as it is. With one, a document passes when it is
// signed for its path in a release no older than `notBefore`; its release time goes to `released`.
BodyGate signedRelease(const std::optional<ReleaseCheck>& release, const std::string& baseUrl, const std::string& path,
                       std::uint64_t notBefore, const char* olderReason, std::int64_t& released) {
  if (!release) return {};
  return [&release, &baseUrl, path, notBefore, olderReason, &released](const std::string& served) {
    const Result<std::int64_t> verified = verifyServedDocument(release->key, baseUrl, path, served);
    if (!verified.ok()) return std::optional(verified.failure());
    if (std::cmp_less(verified.value(), notBefore)) return std::optional(Failure{olderReason});
    released = verified.value();
    return std::optional<Failure>();
  };
}

// False when the server was unavailable for a document.
bool fetchInto(FetchedCatalogue& fetched, const std::string& baseUrl, const ProgressSink& progress,
               const std::optional<ReleaseCheck>& release) {
  const std::uint64_t accepted = release ? release->acceptedRelease : 0;
  const BodyGate catalogueGate =
      signedRelease(release, baseUrl, "json", accepted, "older release than the installed one", fetched.releaseTimestamp);
  DocumentBudget budget;
  Result<std::string> catalogueDocument = downloadText(baseUrl, "json", budget, catalogueGate);
  // A release published between reading the catalogue and its signature pairs the old one with the
  // new signature: read both once more. A document that is really not the one signed fails again.
  if (release && !catalogueDocument.ok() &&
      catalogueDocument.failure().reason.ends_with("(the document is not the one signed)"))
    catalogueDocument = downloadText(baseUrl, "json", budget, catalogueGate);
  if (!catalogueDocument.ok()) {
    fetched.failure = Failure{"json: " + catalogueDocument.failure().reason};
    return !isServerUnavailable(catalogueDocument.failure());
  }
  const std::vector<CatalogueEntry> entries = catalogueFromText(catalogueDocument.value());
  progress(0);
  // Sets that name the same list share it: it is fetched and kept once.
  std::map<std::string, std::shared_ptr<const ListedFiles>> listsByUrl;
  for (const CatalogueEntry& entry : entries) {
    std::shared_ptr<const ListedFiles>& listed = listsByUrl[entry.url];
    if (!listed) {
      // A list signed for an older release than the catalogue could name files long replaced.
      std::int64_t listRelease = 0;
      const BodyGate listGate = signedRelease(release, baseUrl, entry.url, fetched.releaseTimestamp,
                                              "older release than the catalogue", listRelease);
      const Result<std::string> list = downloadText(baseUrl, entry.url, budget, listGate);
      if (!list.ok()) {
        fetched.failure = Failure{entry.url + ": " + list.failure().reason};
        return !isServerUnavailable(list.failure());
      }
      listed = listedFilesFromText(list.value(), entry.url);
    }
    fetched.catalogueFiles.push_back(fileListOf(listed, entry));
    fetched.catalogue.push_back(entry);
    progress(static_cast<double>(fetched.catalogue.size()) / static_cast<double>(entries.size()));
  }
  return true;
}

}  // namespace

FetchedCatalogue fetchCatalogue(const ServerList& servers, const ProgressSink& progress,
                                const std::optional<ReleaseCheck>& release) {
  FetchedCatalogue fetched;
  try {
    // The lists come from the server that gave the catalogue: a mirror may still serve another release.
    askInTurn(servers, [&](const std::string& baseUrl) {
      fetched = FetchedCatalogue{};
      fetched.server = baseUrl;
      return fetchInto(fetched, baseUrl, progress, release);
    });
  } catch (const std::exception& failure) {
    fetched.failure = Failure{failure.what()};
  }
  return fetched;
}

}  // namespace update
