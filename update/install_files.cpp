#include "update/install_files.h"

#include <optional>
#include <stdexcept>
#include <string_view>

#include "platform/digest.h"
#include "platform/files.h"
#include "update/download.h"
#include "formats/file_digest.h"
#include "update/installation_lock.h"

using formats::FileRecord;
using formats::hexDigest;
using formats::isDigestText;
using formats::sameDigest;
using update::Failure;

namespace {

constexpr std::string_view separators = "/\\";

std::string folderOf(const std::string& path) {
  const auto last = path.find_last_of(separators);
  return last == std::string::npos ? path : path.substr(0, last);
}

// Streams one file into its temporary sibling, hashing on the way, and moves it over the
// target only when the stream ended cleanly and the digest is the list's: the failure, if any
// (the old file then stays and the temporary file goes). The cache learns the digest
// of the bytes written, trusted only as far as the file's time can vouch for it.
std::optional<Failure> installFile(const FileRecord& record, const std::string& baseUrl, const std::string& root,
                                   FileMetaCache& cache) {
  if (!record.refusal.empty()) return Failure{record.refusal};
  if (!isDigestText(record.hash)) return Failure{"the list's digest is not 32 hexadecimal digits: " + record.hash};
  const std::string path = root + record.localPath;
  if (platform::isReadOnlyFile(path)) return Failure{"cannot write " + path + " (read-only)"};  // before the download
  const std::string temporary = temporaryInstallPath(path);
  createDirectories(folderOf(path));
  platform::removeFile(temporary);  // left by a run that was killed; this run holds the installation's lock
  platform::NewFile file(temporary);
  if (!file.isOpen()) return Failure{"cannot write " + temporary + ": " + *file.opened().failure};
  platform::Md5Stream md5;
  const std::optional<Failure> failure = downloadInflated(baseUrl, record.sourcePath, [&](std::string_view bytes) {
    md5.add(bytes);
    if (const platform::FileResult written = file.write(bytes); !written)
      throw std::runtime_error("cannot write " + temporary + ": " + *written.failure);
  });
  if (failure) return failure;
  const std::string digest = hexDigest(md5.finish());
  if (!sameDigest(digest, record.hash)) return Failure{"content does not match the list's digest (got " + digest + ")"};
  // Anyone writing the file after the rename changes its time to this second or a later one.
  const std::int64_t exposedSince = digestClock();
  if (const platform::FileResult replaced = file.replace(path); !replaced)
    return Failure{"cannot write " + path + ": " + *replaced.failure};
  recordDigest(cache, record.localPath, modtimeForCache(path), exposedSince, digest);
  return std::nullopt;
}

}  // namespace

std::string temporaryInstallPath(const std::string& path) { return path + ".quarnmp-download"; }

void createDirectories(const std::string& path) {
  for (auto separator = path.find_first_of(separators, 1); separator != std::string::npos;
       separator = path.find_first_of(separators, separator + 1)) {
    platform::createDirectory(path.substr(0, separator));
  }
  platform::createDirectory(path);
}

std::vector<FileFailure> updateFiles(const std::vector<FileRecord>& files, const std::string& baseUrl,
                                     const std::string& root, FileMetaCache& cache, const ProgressSink& progress) {
  const InstallationLock lock(root);
  if (!lock.held()) throw InstallationBusy();
  std::vector<FileFailure> failures;
  progress(0);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (auto failure = installFile(files[i], baseUrl, root, cache)) failures.push_back({files[i].localPath, failure->reason});
    progress(static_cast<double>(i + 1) / static_cast<double>(files.size()));
  }
  progress(1);
  // The cache written after this must not describe content still only in memory.
  if (!files.empty()) platform::flushWrittenFiles(root);
  return failures;
}
