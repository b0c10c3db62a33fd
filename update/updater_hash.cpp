#include "update/updater_hash.h"

#include <exception>

#include "update/download.h"

std::optional<std::string> fetchUpdaterHash(const std::string& baseUrl) {
  try {
    std::string failure;
    return fetchBody(baseUrl + "QuarnMpUpdater/", failure);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}
