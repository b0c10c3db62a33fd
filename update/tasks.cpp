#include "update/tasks.h"

#include <chrono>
#include <exception>
#include <functional>
#include <optional>
#include <thread>
#include <utility>

#include "update/diff_files.h"
#include "update/fetch_catalogue.h"
#include "update/install_files.h"
#include "update/installation_lock.h"
#include "formats/release_timestamp.h"
#include "update/updater_hash.h"

using formats::FileList;
using formats::FileRecord;
using formats::ReleaseCheck;
using formats::releaseCheckFor;
using formats::releaseRecordName;
using formats::writeAcceptedRelease;

namespace {

// The tasks work on the installation in the working directory.
const std::string installationRoot;

UpdaterState& state() {
  static auto* updater = new UpdaterState;
  return *updater;
}

// The state lives on after main returns; a task still running then is waited for here,
// as the futures of std::async would do.
struct WaitForTaskAtExit {
  ~WaitForTaskAtExit() {
    std::future<bool>& task = state().taskFuture;
    if (task.valid()) task.wait();
  }
};

void clearError() {
  state().errorCode = UpdateError::None;
  state().failureReason.clear();
  state().fileFailures.clear();
}

void startTask(UpdatePhase phase, std::function<bool()> worker) {
  static WaitForTaskAtExit waitForTaskAtExit;
  state().phase = phase;
  state().taskFuture = std::async(std::launch::async, std::move(worker));
}

UpdateError errorOfPhase(UpdatePhase phase) {
  switch (phase) {
    case UpdatePhase::Fetch: return UpdateError::FetchFailed;
    case UpdatePhase::Diff: return UpdateError::DiffFailed;
    case UpdatePhase::UpdateDiff: return UpdateError::UpdateFailed;
  }
  return UpdateError::GeneralFailure;
}

// A build with a key accepts no release older than the last one it accepted; one whose key
// cannot be used, or whose record cannot be read, throws and so accepts nothing.
std::optional<ReleaseCheck> releaseCheck() { return releaseCheckFor(builtInKey(), installationRoot); }

bool fetchTask(const std::string& baseUrl, bool recordRelease) {
  UpdaterState& updater = state();
  const std::optional<ReleaseCheck> release = releaseCheck();
  FetchedCatalogue fetched = fetchCatalogue(baseUrl, [&](double progress) { updater.fetchProgress = progress; }, release);
  updater.catalogue = std::move(fetched.catalogue);
  updater.catalogueFiles = std::move(fetched.catalogueFiles);
  updater.failureReason = std::move(fetched.failure);
  updater.releaseTimestamp = fetched.releaseTimestamp;
  if (release && recordRelease && std::cmp_greater(fetched.releaseTimestamp, release->acceptedRelease) &&
      !writeAcceptedRelease(installationRoot, fetched.releaseTimestamp) && updater.failureReason.empty())
    updater.failureReason = std::string("cannot write ") + releaseRecordName;
  return updater.failureReason.empty();
}

void publishDifferingFiles(FileList files) {
  std::lock_guard lock(state().differingFilesMutex);
  state().differingFiles = std::move(files);
}

FileList copyOfDifferingFiles() {
  std::lock_guard lock(state().differingFilesMutex);
  return state().differingFiles;
}

void compareSelectedFiles(FileMetaCache& cache, const ProgressSink& progress) {
  publishDifferingFiles(diffFiles(state().selectedFiles, installationRoot, cache, progress));
}

bool diffTask() {
  FileMetaCache cache = readFileMetaCache(installationRoot);
  compareSelectedFiles(cache, [](double progress) { state().diffProgress = progress; });
  writeFileMetaCache(installationRoot, cache);
  return true;
}

// The Update button: install, then compare again. The installation is three quarters of
// the progress, the comparison the last quarter. Files that could not be installed make it
// fail, after the others were installed and everything was compared. Another updater at
// work on the installation makes it fail before anything is touched.
bool update_diff(const std::string& baseUrl) {
  UpdaterState& updater = state();
  const InstallationLock lock(installationRoot);
  if (!lock.held()) {
    updater.failureReason = installationBusyReason;
    return false;
  }
  FileMetaCache cache = readFileMetaCache(installationRoot);
  const std::vector<FileRecord> files = copyOfDifferingFiles().records();
  updater.fileFailures = updateFiles(files, baseUrl, installationRoot, cache, [&](double progress) {
    updater.updateProgress = progress;
    updater.updateDiffProgress = progress * 0.75;
  });
  publishDifferingFiles({});
  updater.updateDiffProgress = 0.75 + updater.diffProgress * 0.25;
  compareSelectedFiles(cache, [&](double progress) {
    updater.diffProgress = progress;
    updater.updateDiffProgress = 0.75 + progress * 0.25;
  });
  writeFileMetaCache(installationRoot, cache);
  updater.updateDiffProgress = 1;
  if (updater.fileFailures.empty()) return true;
  updater.failureReason = std::to_string(updater.fileFailures.size()) + " of " + std::to_string(files.size()) +
                          " files could not be installed";
  return false;
}

}  // namespace

const UpdaterState& updaterState() { return state(); }

void startFetch(const std::string& baseUrl) {
  startUpdaterHashCheck(baseUrl);
  startCatalogueFetch(baseUrl);
}

void startCatalogueFetch(const std::string& baseUrl, bool recordRelease) {
  clearError();
  startTask(UpdatePhase::Fetch, [baseUrl, recordRelease] { return fetchTask(baseUrl, recordRelease); });
}

void startDiff() {
  clearError();
  UpdaterState& updater = state();
  if (updater.catalogue.empty()) return;
  updater.selectedFiles = updater.catalogueFiles.front();
  publishDifferingFiles({});  // the last comparison's list is not shown as this one's
  startTask(UpdatePhase::Diff, diffTask);
}

void startUpdateDiff(const std::string& baseUrl) {
  clearError();
  startTask(UpdatePhase::UpdateDiff, [baseUrl] { return update_diff(baseUrl); });
}

void startUpdaterHashCheck(const std::string& baseUrl) {
  state();  // created before the thread can need it
  // Touches nothing but its own copy of the URL and the never-destroyed state, so it may
  // outlive the window and the end of main.
  std::thread([baseUrl] {
    Downloaded<std::string> digest;
    try {
      digest = fetchUpdaterHash(baseUrl, releaseCheck());
    } catch (const std::exception&) {
      return;  // no usable key or record: no digest, as for any failure
    }
    if (!digest.ok()) return;
    std::lock_guard lock(state().updaterHashMutex);
    state().updaterHashText = std::move(digest.content);
    state().updaterHashFetched = true;
  }).detach();
}

bool isTaskRunning() { return state().taskFuture.valid(); }

bool pollTask() {
  UpdaterState& updater = state();
  if (!updater.taskFuture.valid()) return false;
  if (updater.taskFuture.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) return false;
  bool succeeded = false;
  try {
    succeeded = updater.taskFuture.get();
  } catch (const std::exception& failure) {
    updater.failureReason = failure.what();
  } catch (...) {
    updater.failureReason = "unknown failure";
  }
  if (!succeeded) updater.errorCode = errorOfPhase(updater.phase);
  return true;
}

double currentProgress() {
  const UpdaterState& updater = state();
  switch (updater.phase) {
    case UpdatePhase::Fetch: return updater.fetchProgress;
    case UpdatePhase::Diff: return updater.diffProgress;
    case UpdatePhase::UpdateDiff: break;
  }
  return updater.updateDiffProgress;
}

bool hasCatalogue() { return !state().catalogue.empty(); }

bool hasDifferences() {
  std::lock_guard lock(state().differingFilesMutex);
  return !state().differingFiles.empty();
}

std::vector<std::string> differingPaths() {
  std::lock_guard lock(state().differingFilesMutex);
  std::vector<std::string> paths;
  const FileList& differing = state().differingFiles;
  paths.reserve(differing.size());
  for (std::size_t i = 0; i < differing.size(); ++i) paths.push_back(differing.localPath(i));
  return paths;
}

bool takeUpdaterHashFetched() {
  std::lock_guard lock(state().updaterHashMutex);
  return std::exchange(state().updaterHashFetched, false);
}

std::string updaterHash() {
  std::lock_guard lock(state().updaterHashMutex);
  return state().updaterHashText;
}

void resetUpdaterState() {
  UpdaterState& updater = state();
  if (updater.taskFuture.valid()) updater.taskFuture.wait();
  updater.taskFuture = {};
  updater.phase = UpdatePhase::Fetch;
  clearError();
  updater.fetchProgress = 0;
  updater.releaseTimestamp = 0;
  updater.diffProgress = 0;
  updater.updateProgress = 0;
  updater.updateDiffProgress = 0;
  updater.catalogue.clear();
  updater.catalogueFiles.clear();
  updater.selectedFiles = {};
  publishDifferingFiles({});
  std::lock_guard lock(updater.updaterHashMutex);
  updater.updaterHashText.clear();
  updater.updaterHashFetched = false;
}
