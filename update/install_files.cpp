#include "update/install_files.h"

#include <exception>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "platform/digest.h"
#include "platform/files.h"
#include "update/download.h"
#include "formats/file_digest.h"
#include "update/transfer_pool.h"
#include "update/installation_lock.h"
#include "update/kept_download.h"

namespace update {

using formats::FileRecord;
using formats::hexDigest;
using formats::isDigestText;
using formats::sameDigest;

namespace {

constexpr std::string_view separators = "/\\";

std::string folderOf(const std::string& path) {
  const auto last = path.find_last_of(separators);
  return last == std::string::npos ? path : path.substr(0, last);
}

// A file's outcome: the reason it failed, or what the cache is to learn of it.
struct Installed {
  std::optional<std::string> failure;
  std::string digest;
  std::int64_t modtime = 0;
  std::int64_t exposedSince = 0;
};

Installed failed(std::string reason) {
  Installed installed;
  installed.failure = std::move(reason);
  return installed;
}

// Streams one file into its temporary sibling, hashing on the way, and moves it over the
// target only when the stream ended cleanly and the digest is the list's: the failure, if any
// (the old file then stays and the temporary file goes).
Installed installFile(const FileRecord& record, ServerChoice& servers, const std::string& root,
                      ServerConnections& connections, const TransferOptions& options) {
  if (!record.refusal.empty()) return failed(record.refusal);
  if (!isDigestText(record.hash)) return failed("the list's digest is not 32 hexadecimal digits: " + record.hash);
  const std::string path = root + record.localPath;
  if (platform::isReadOnlyFile(path)) return failed("cannot write " + path + " (read-only)");  // before the download
  const std::string temporary = temporaryInstallPath(path);
  createDirectories(folderOf(path));
  std::optional<platform::NewFile> file;
  std::optional<platform::Md5Stream> md5;
  const auto restart = [&] {
    file.reset();
    platform::removeFile(temporary);  // left by a run that was killed; this run holds the installation's lock
    file.emplace(temporary);
    if (!file->isOpen()) throw std::runtime_error("cannot write " + temporary + ": " + *file->opened().failure);
    md5.emplace();
  };
  std::string digest;
  const auto verify = [&](const std::string&) -> std::optional<Failure> {
    digest = hexDigest(md5->finish());
    if (sameDigest(digest, record.hash)) return std::nullopt;
    return Failure{"content does not match the list's digest (got " + digest + ")"};
  };
  const auto consume = [&](std::string_view bytes) {
    md5->add(bytes);
    if (const platform::FileResult written = file->write(bytes); !written)
      throw std::runtime_error("cannot write " + temporary + ": " + *written.failure);
  };
  if (const auto failure = fetchFile(connections, servers, {record.sourcePath, path}, options, restart, consume, verify))
    return failed(failure->reason);
  // Anyone writing the file after the rename changes its time to this second or a later one.
  const std::int64_t exposedSince = digestClock();
  if (const platform::FileResult replaced = file->replace(path); !replaced)
    return failed("cannot write " + path + ": " + *replaced.failure);
  return {std::nullopt, digest, modtimeForCache(path), exposedSince};
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

void removeDownloadLeftovers(const std::string& path) {
  const std::string kept = keptDownloadPath(path);
  for (const std::string& leftover : {temporaryInstallPath(path), kept, kept + ".new"}) platform::removeFile(leftover);
}

void removeLeftoversOfCurrentFiles(const formats::FileList& selected, const formats::FileList& differing,
                                   const std::string& root) {
  std::size_t next = 0;  // both lists are in the order of `selected`
  for (const FileRecord& record : selected) {
    if (next < differing.size() && differing.localPath(next) == record.localPath) {
      ++next;
      continue;
    }
    if (!record.refusal.empty()) continue;  // names a place outside the installation
    removeDownloadLeftovers(root + record.localPath);
  }
}

std::vector<FileFailure> updateFiles(const std::vector<FileRecord>& files, const ServerList& servers,
                                     const std::string& root, FileMetaCache& cache, const ProgressSink& progress,
                                     const TransferOptions& options) {
  const InstallationLock lock(root);
  if (!lock.held()) throw InstallationBusy(lock.refusal());
  std::vector<Installed> installed(files.size());
  ServerChoice choice(servers);
  progress(0);
  const std::exception_ptr ended = runTransferJobs(
      files.size(), options.jobs,
      [&](std::size_t i, ServerConnections& connections) {
        installed[i] = installFile(files[i], choice, root, connections, options);
      },
      [&](std::size_t finished) { progress(static_cast<double>(finished) / static_cast<double>(files.size())); });
  // The cache learns the digest of the bytes written, trusted only as far as the file's time can vouch for it.
  std::vector<FileFailure> failures;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const Installed& file = installed[i];
    const std::string& path = files[i].localPath;
    if (file.failure) failures.push_back({path, *file.failure});
    else if (!file.digest.empty()) recordDigest(cache, path, file.modtime, file.exposedSince, file.digest);
  }
  if (ended) std::rethrow_exception(ended);
  progress(1);
  // The cache written after this must not describe content still only in memory.
  if (!files.empty()) platform::flushWrittenFiles(root);
  return failures;
}

}  // namespace update
