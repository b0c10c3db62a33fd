#include "update/diff_files.h"

#include "formats/file_digest.h"

namespace update {

using formats::FileList;
using formats::FileRecord;
using formats::digestFailure;
using formats::sameDigest;

namespace {

// An entry of time 0 (a missing file) is dropped when the cache is read again: keeping it
// would only cost memory, a few hundred bytes for each file of a list not yet installed.
void forgetMissingFile(FileMetaCache& cache, const std::string& localPath) {
  const auto found = cache.find(localPath);
  if (found != cache.end() && found->second.modtime == 0) cache.erase(found);
}

bool differs(const FileRecord& record, const std::string& root, FileMetaCache& cache) {
  if (!record.refusal.empty()) return true;
  const std::string& digest = trustedDigest(cache, root, record.localPath);
  if (sameDigest(digest, record.hash)) return false;
  if (digest == digestFailure) forgetMissingFile(cache, record.localPath);
  return true;
}

}  // namespace

FileList diffFiles(const FileList& records, const std::string& root, FileMetaCache& cache,
                   const ProgressSink& progress) {
  std::vector<std::uint32_t> differing;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (differs(records[i], root, cache)) differing.push_back(static_cast<std::uint32_t>(i));
    progress(static_cast<double>(i + 1) / static_cast<double>(records.size()));
  }
  return records.pick(differing);
}

}  // namespace update
