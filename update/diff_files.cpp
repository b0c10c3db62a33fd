#include "update/diff_files.h"

#include "update/file_digest.h"

std::vector<FileRecord> diffFiles(const std::vector<FileRecord>& records, const std::string& root,
                                  FileMetaCache& cache, const ProgressSink& progress) {
  std::vector<FileRecord> differing;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (!sameDigest(trustedDigest(cache, root, records[i].localPath), records[i].hash)) differing.push_back(records[i]);
    progress(static_cast<double>(i + 1) / static_cast<double>(records.size()));
  }
  return differing;
}
