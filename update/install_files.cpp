#include "update/install_files.h"

#include <optional>
#include <string_view>

#include "platform/digest.h"
#include "platform/files.h"
#include "update/download.h"
#include "update/file_digest.h"

namespace {

constexpr std::string_view separators = "/\\";

std::string folderOf(const std::string& path) {
  const auto last = path.find_last_of(separators);
  return last == std::string::npos ? path : path.substr(0, last);
}

// Downloads and writes one file: the reason when it failed. On success the cache learns its
// digest, replacing an earlier entry: a file rewritten within the second of its cached time
// keeps that time, and the next comparison would trust the old digest.
std::optional<std::string> installFile(const FileRecord& record, const std::string& baseUrl,
                                       const std::string& root, FileMetaCache& cache) {
  const std::string path = root + record.localPath;
  createDirectories(folderOf(path));
  const Downloaded<ByteSequence> download = downloadBytes(baseUrl, record.sourcePath);
  if (!download.ok()) return download.failure;
  const std::string_view content(download.content.data(), download.content.size());
  if (!platform::writeFileAtomically(path, content)) return "cannot write " + path;
  // The file now holds exactly these bytes, so their digest is the file's.
  cache[record.localPath] = FileMeta{record.localPath, modtimeForCache(path), hexDigest(platform::md5Of(content))};
  return std::nullopt;
}

}  // namespace

void createDirectories(const std::string& path) {
  for (auto separator = path.find_first_of(separators, 1); separator != std::string::npos;
       separator = path.find_first_of(separators, separator + 1)) {
    platform::createDirectory(path.substr(0, separator));
  }
  platform::createDirectory(path);
}

std::vector<FileFailure> updateFiles(const std::vector<FileRecord>& files, const std::string& baseUrl,
                                     const std::string& root, FileMetaCache& cache, const ProgressSink& progress) {
  std::vector<FileFailure> failures;
  progress(0);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (auto reason = installFile(files[i], baseUrl, root, cache)) failures.push_back({files[i].localPath, *reason});
    progress(static_cast<double>(i + 1) / static_cast<double>(files.size()));
  }
  progress(1);
  return failures;
}
