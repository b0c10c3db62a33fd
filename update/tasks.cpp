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
using update::Failure;
using update::Result;

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
    std::future<TaskResult>& task = state().taskFuture;
    if (task.valid()) task.wait();
  }
};

void clearError() {
  state().errorCode = UpdateError::None;
  state().failureReason.clear();
  state().fileFailures.clear();
}

// A task starts only when none runs: replacing a running task's future would wait for it in
// the future's destructor and block the window.
bool startTask(UpdatePhase phase, std::function<TaskResult()> worker) {
  static WaitForTaskAtExit waitForTaskAtExit;
  if (isTaskRunning()) return false;
  clearError();
  state().phase = phase;
  state().taskFuture = std::async(std::launch::async, std::move(worker));
  return true;
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

TaskResult fetchTask(const std::string& baseUrl, bool recordRelease) {
  const std::optional<ReleaseCheck> release = releaseCheck();
  TaskResult result;
  result.fetched = fetchCatalogue(baseUrl, [](double progress) { state().fetchProgress = progress; }, release);
  result.failure = result.fetched->failure;
  const std::int64_t released = result.fetched->releaseTimestamp;
  if (!release || !recordRelease || !std::cmp_greater(released, release->acceptedRelease)) return result;
  const platform::FileResult recorded = writeAcceptedRelease(installationRoot, released);
  if (!recorded && !result.failure)
    result.failure = Failure{std::string("cannot write ") + releaseRecordName + ": " + *recorded.failure};
  return result;
}

void publishDifferingFiles(FileList files) {
  std::lock_guard lock(state().differingFilesMutex);
  state().differingFiles = std::move(files);
}

TaskResult diffTask(const FileList& selected) {
  FileMetaCache cache = readFileMetaCache(installationRoot);
  TaskResult result;
  result.differingFiles = diffFiles(selected, installationRoot, cache, [](double progress) { state().diffProgress = progress; });
  writeFileMetaCache(installationRoot, cache);
  return result;
}

// The Update button: install, then compare again. The installation is three quarters of
// the progress, the comparison the last quarter. Files that could not be installed make it
// fail, after the others were installed and everything was compared. Another updater at
// work on the installation makes it fail before anything is touched.
TaskResult update_diff(const std::string& baseUrl, const FileList& differing, const FileList& selected,
                       unsigned jobs) {
  UpdaterState& updater = state();  // its progress values only
  TaskResult result;
  const InstallationLock lock(installationRoot);
  if (!lock.held()) {
    result.failure = Failure{installationBusyReason};
    return result;
  }
  removeLeftoversOfCurrentFiles(selected, differing, installationRoot);
  FileMetaCache cache = readFileMetaCache(installationRoot);
  const std::vector<FileRecord> files = differing.records();
  TransferOptions transfers;
  transfers.jobs = jobs;
  updater.updateBytes = 0;
  transfers.received = &updater.updateBytes;
  result.fileFailures = updateFiles(files, baseUrl, installationRoot, cache, [&](double progress) {
    updater.updateProgress = progress;
    updater.updateDiffProgress = progress * 0.75;
  }, transfers);
  updater.updateDiffProgress = 0.75 + updater.diffProgress * 0.25;
  result.differingFiles = diffFiles(selected, installationRoot, cache, [&](double progress) {
    updater.diffProgress = progress;
    updater.updateDiffProgress = 0.75 + progress * 0.25;
  });
  writeFileMetaCache(installationRoot, cache);
  updater.updateDiffProgress = 1;
  if (!result.fileFailures.empty())
    result.failure = Failure{std::to_string(result.fileFailures.size()) + " of " + std::to_string(files.size()) +
                             " files could not be installed"};
  return result;
}

// On the polling thread: the task's result becomes the state the window reads.
bool applyResult(TaskResult result) {
  UpdaterState& updater = state();
  if (result.fetched) {
    updater.catalogue = std::move(result.fetched->catalogue);
    updater.catalogueFiles = std::move(result.fetched->catalogueFiles);
    updater.releaseTimestamp = result.fetched->releaseTimestamp;
  }
  if (result.differingFiles) publishDifferingFiles(std::move(*result.differingFiles));
  updater.fileFailures = std::move(result.fileFailures);
  if (result.failure) updater.failureReason = std::move(result.failure->reason);
  return !result.failure;
}

}  // namespace

const UpdaterState& updaterState() { return state(); }

bool startFetch(const std::string& baseUrl) {
  if (isTaskRunning()) return false;
  startUpdaterHashCheck(baseUrl);
  return startCatalogueFetch(baseUrl);
}

bool startCatalogueFetch(const std::string& baseUrl, bool recordRelease) {
  return startTask(UpdatePhase::Fetch, [baseUrl, recordRelease] { return fetchTask(baseUrl, recordRelease); });
}

bool startDiff() {
  if (isTaskRunning()) return false;
  clearError();
  UpdaterState& updater = state();
  if (updater.catalogue.empty()) return false;
  updater.selectedFiles = updater.catalogueFiles.front();
  publishDifferingFiles({});  // the last comparison's list is not shown as this one's
  return startTask(UpdatePhase::Diff, [selected = updater.selectedFiles] { return diffTask(selected); });
}

bool startUpdateDiff(const std::string& baseUrl, unsigned jobs) {
  if (isTaskRunning()) return false;
  const UpdaterState& updater = state();
  FileList differing;
  {
    std::lock_guard lock(state().differingFilesMutex);
    differing = updater.differingFiles;
  }
  return startTask(UpdatePhase::UpdateDiff, [baseUrl, differing, selected = updater.selectedFiles, jobs] {
    return update_diff(baseUrl, differing, selected, jobs);
  });
}

void startUpdaterHashCheck(const std::string& baseUrl) {
  state();  // created before the thread can need it
  // Touches nothing but its own copy of the URL and the never-destroyed state, so it may
  // outlive the window and the end of main.
  std::thread([baseUrl] {
    Result<std::string> digest = Failure{"not asked"};
    try {
      digest = fetchUpdaterHash(baseUrl, releaseCheck());
    } catch (const std::exception&) {
      return;  // no usable key or record: no digest, as for any failure
    }
    if (!digest.ok()) return;
    std::lock_guard lock(state().updaterHashMutex);
    state().updaterHashText = std::move(digest.value());
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
    succeeded = applyResult(updater.taskFuture.get());
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
  updater.updateBytes = 0;
  updater.updateDiffProgress = 0;
  updater.catalogue.clear();
  updater.catalogueFiles.clear();
  updater.selectedFiles = {};
  publishDifferingFiles({});
  std::lock_guard lock(updater.updaterHashMutex);
  updater.updaterHashText.clear();
  updater.updaterHashFetched = false;
}
