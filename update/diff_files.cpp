#include "update/diff_files.h"

#include "update/file_meta_cache.h"
#include "update/updater_state.h"

bool diffFiles() {
  UpdaterState& state = updaterState();
  FileMetaCache cache = readFileMetaCache("");
  {
    std::lock_guard lock(state.differingFilesMutex);
    state.differingFiles.clear();
  }
  const std::size_t count = state.selectedFiles.size();
  for (std::size_t i = 0; i < count; ++i) {
    const FileRecord& record = state.selectedFiles[i];
    if (trustedDigest(cache, record.localPath) != record.hash) {
      std::lock_guard lock(state.differingFilesMutex);
      state.differingFiles.push_back(record);
    }
    state.diffProgress = static_cast<double>(i + 1) / static_cast<double>(count);
  }
  writeFileMetaCache("", cache);
  return true;
}
