#include "update/updater_hash.h"

#include "update/download.h"

std::optional<std::string> fetchUpdaterHash(const std::string& baseUrl) {
  // A digest is 32 characters; anything much longer is not one.
  return fetchSmallBody(baseUrl + "QuarnMpUpdater/", 64 * 1024);
}
