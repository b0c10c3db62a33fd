#include "update/updater_hash.h"

#include <exception>

#include "update/download.h"

std::optional<std::string> fetchUpdaterHash(const std::string& baseUrl, const std::optional<PublicKey>& key) {
  try {
    std::string failure;
    auto digest = fetchBody(baseUrl + "QuarnMpUpdater/", failure);
    // Served from the tree's QuarnMpUpdater/index.html, and signed under that path.
    if (digest && key && !verifyServedDocument(*key, baseUrl, "QuarnMpUpdater/index.html", *digest).failure.empty())
      return std::nullopt;
    return digest;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}
