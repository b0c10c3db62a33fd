#include "update/updater_verdict.h"

#include "platform/folders.h"
#include "formats/file_digest.h"
#include "update/tasks.h"

namespace update {

using formats::md5OfFile;

bool updaterIsCurrent(const std::string& publishedDigest) {
  if (publishedDigest.empty()) return true;
  // The program does not change while it runs.
  static const std::string ownDigest = md5OfFile(platform::executablePath());
  return ownDigest == publishedDigest;
}

std::optional<bool> takeUpdaterVerdict() {
  if (!takeUpdaterHashFetched()) return std::nullopt;
  return updaterIsCurrent(updaterHash());
}

}  // namespace update
