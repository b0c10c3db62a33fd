#include "update/updater_hash.h"

#include <exception>
#include <utility>

#include "update/server_choice.h"

namespace update {

using formats::ReleaseCheck;

namespace {

Result<std::string> fetchFrom(const std::string& baseUrl, const std::optional<ReleaseCheck>& release) {
  // A digest is 32 characters; anything much longer is not one.
  Result<std::string> digest = downloadAsServed(baseUrl + "QuarnMpUpdater/", 64 * 1024);
  if (!digest.ok() || !release) return digest;
  // Served from the tree's QuarnMpUpdater/index.html, and signed under that path.
  const Result<std::int64_t> released =
      verifyServedDocument(release->key, baseUrl, "QuarnMpUpdater/index.html", digest.value());
  if (!released.ok()) return released.failure();
  if (std::cmp_less(released.value(), release->acceptedRelease)) return Failure{"older release than the installed one"};
  return digest;
}

}  // namespace

Result<std::string> fetchUpdaterHash(const ServerList& servers, const std::optional<ReleaseCheck>& release) {
  Result<std::string> digest = Failure{"no update server"};
  try {
    askInTurn(servers, [&](const std::string& baseUrl) {
      digest = fetchFrom(baseUrl, release);
      return digest.ok() || !isServerUnavailable(digest.failure());
    });
  } catch (const std::exception& failure) {
    return Failure{failure.what()};
  }
  return digest;
}

}  // namespace update
