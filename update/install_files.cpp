#include "update/install_files.h"

#include <string_view>

#include "platform/digest.h"
#include "platform/files.h"
#include "update/download.h"
#include "update/file_digest.h"
#include "update/file_meta_cache.h"
#include "update/updater_state.h"

namespace {

constexpr std::string_view separators = "/\\";

std::string folderOf(const std::string& path) {
  const auto last = path.find_last_of(separators);
  return last == std::string::npos ? path : path.substr(0, last);
}

std::vector<FileRecord> copyOfDifferingFiles(UpdaterState& state) {
  std::lock_guard lock(state.differingFilesMutex);
  return state.differingFiles;
}

// Downloads and writes one file; on success the cache learns its digest. An earlier entry is
// replaced too: a file rewritten within the second of its cached time keeps that time, and
// the next comparison would trust the old digest and report the new file as differing.
void installFile(const FileRecord& record, FileMetaCache& cache) {
  const std::string& path = record.localPath;
  createDirectories(folderOf(path));
  ByteSequence bytes;
  if (!downloadBytes(record.sourcePath, bytes)) return;
  const std::string_view content(bytes.data(), bytes.size());
  if (!platform::writeFileAtomically(path, content)) return;
  // The file now holds exactly these bytes, so their digest is the file's.
  cache[path] = FileMeta{path, cachedTimeOf(path), hexDigest(platform::md5Of(content))};
}

}  // namespace

void createDirectories(const std::string& path) {
  for (auto separator = path.find_first_of(separators, 1); separator != std::string::npos;
       separator = path.find_first_of(separators, separator + 1)) {
    platform::createDirectory(path.substr(0, separator));
  }
  platform::createDirectory(path);
}

bool updateFiles() {
  UpdaterState& state = updaterState();
  FileMetaCache cache = readFileMetaCache("");
  state.updateProgress = 0;
  const std::vector<FileRecord> files = copyOfDifferingFiles(state);
  for (std::size_t i = 0; i < files.size(); ++i) {
    installFile(files[i], cache);
    state.updateProgress = static_cast<double>(i + 1) / static_cast<double>(files.size());
  }
  state.updateProgress = 1;
  writeFileMetaCache("", cache);
  return true;
}
