#include "update/updater_hash.h"

#include <exception>
#include <utility>

using formats::ReleaseCheck;

Downloaded<std::string> fetchUpdaterHash(const std::string& baseUrl, const std::optional<ReleaseCheck>& release) {
  try {
    // A digest is 32 characters; anything much longer is not one.
    Downloaded<std::string> digest = downloadAsServed(baseUrl + "QuarnMpUpdater/", 64 * 1024);
    if (!digest.ok() || !release) return digest;
    // Served from the tree's QuarnMpUpdater/index.html, and signed under that path.
    const VerifiedDocument verified =
        verifyServedDocument(release->key, baseUrl, "QuarnMpUpdater/index.html", digest.content);
    if (!verified.failure.empty()) return {"", verified.failure};
    if (std::cmp_less(verified.timestamp, release->acceptedRelease))
      return {"", "older release than the installed one"};
    return digest;
  } catch (const std::exception& failure) {
    return {"", failure.what()};
  }
}
