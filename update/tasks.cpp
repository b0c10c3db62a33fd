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
#include "update/server_choice.h"
#include "formats/release_timestamp.h"
#include "platform/folders.h"
#include "update/self_update.h"
#include "update/updater_hash.h"

namespace update {

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
    case UpdatePhase::SelfUpdate: return UpdateError::SelfUpdateFailed;
  }
  return UpdateError::GeneralFailure;
}

// A build with a key accepts no release older than the last one it accepted; one whose key
// cannot be used, or whose record cannot be read, throws and so accepts nothing.
std::optional<ReleaseCheck> releaseCheck() { return releaseCheckFor(builtInKey(), installationRoot); }

TaskResult fetchTask(const ServerList& servers, bool recordRelease) {
  const std::optional<ReleaseCheck> release = releaseCheck();
  TaskResult result;
  result.fetched = fetchCatalogue(servers, [](double progress) { state().fetchProgress = progress; }, release);
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

// The cache only saves work: one that cannot be written fails nothing, but is listed with the
// files and the system's reason, since every file will be hashed again next time.
void saveCache(TaskResult& result, const FileMetaCache& cache) {
  if (const platform::FileResult saved = writeFileMetaCache(installationRoot, cache); !saved)
    result.fileFailures.push_back({fileMetaCacheName, "not saved: " + *saved.failure});
}

TaskResult diffTask(const FileList& selected) {
  FileMetaCache cache = readFileMetaCache(installationRoot);
  TaskResult result;
  result.differingFiles = diffFiles(selected, installationRoot, cache, [](double progress) { state().diffProgress = progress; });
  saveCache(result, cache);
  return result;
}

// The Update button: install, then compare again. The installation is three quarters of
// the progress, the comparison the last quarter. Files that could not be installed make it
// fail, after the others were installed and everything was compared. Another updater at
// work on the installation makes it fail before anything is touched.
TaskResult update_diff(const ServerList& servers, const FileList& differing, const FileList& selected,
                       unsigned jobs) {
  UpdaterState& updater = state();  // its progress values only
  TaskResult result;
  const InstallationLock lock(installationRoot);
  if (!lock.held()) {
    result.failure = Failure{lock.refusal()};
    return result;
  }
  removeLeftoversOfCurrentFiles(selected, differing, installationRoot);
  FileMetaCache cache = readFileMetaCache(installationRoot);
  const std::vector<FileRecord> files = differing.records();
  TransferOptions transfers;
  transfers.jobs = jobs;
  updater.updateBytes = 0;
  transfers.received = &updater.updateBytes;
  result.fileFailures = updateFiles(files, servers, installationRoot, cache, [&](double progress) {
    updater.updateProgress = progress;
    updater.updateDiffProgress = progress * 0.75;
  }, transfers);
  if (!result.fileFailures.empty())
    result.failure = Failure{std::to_string(result.fileFailures.size()) + " of " + std::to_string(files.size()) +
                             " files could not be installed"};
  updater.updateDiffProgress = 0.75 + updater.diffProgress * 0.25;
  result.differingFiles = diffFiles(selected, installationRoot, cache, [&](double progress) {
    updater.diffProgress = progress;
    updater.updateDiffProgress = 0.75 + progress * 0.25;
  });
  saveCache(result, cache);
  updater.updateDiffProgress = 1;
  return result;
}

// The running program's file: replaced by the published one, or found already replaced (by
// quarnmp-cli); either way it is to be started in this program's place.
TaskResult selfUpdateTask(const ServerList& servers, const std::string& program) {
  TaskResult result;
  const InstallationLock lock(installationRoot);
  if (!lock.held()) {
    result.failure = Failure{lock.refusal()};
    return result;
  }
  const SelfUpdateOutcome outcome = selfUpdateProgram(builtInKey(), servers, installationRoot, program, false,
                                                      [](double progress) { state().selfUpdateProgress = progress; });
  if (outcome.state == SelfUpdateState::Failed) result.failure = Failure{outcome.reason};
  result.programReplaced = !result.failure;
  return result;
}

// On the polling thread: the task's result becomes the state the window reads.
bool applyResult(TaskResult result) {
  UpdaterState& updater = state();
  if (result.fetched) {
    updater.catalogue = std::move(result.fetched->catalogue);
    updater.catalogueFiles = std::move(result.fetched->catalogueFiles);
    updater.releaseTimestamp = result.fetched->releaseTimestamp;
    updater.catalogueServer = std::move(result.fetched->server);
  }
  if (result.differingFiles) publishDifferingFiles(std::move(*result.differingFiles));
  updater.fileFailures = std::move(result.fileFailures);
  if (result.programReplaced) updater.replacedProgram = updater.selfUpdateTarget;
  if (result.failure) updater.failureReason = std::move(result.failure->reason);
  return !result.failure;
}

}  // namespace

const UpdaterState& updaterState() { return state(); }

bool startFetch(const ServerList& servers) {
  if (isTaskRunning()) return false;
  startUpdaterHashCheck(servers);
  return startCatalogueFetch(servers);
}

bool startCatalogueFetch(const ServerList& servers, bool recordRelease) {
  return startTask(UpdatePhase::Fetch, [servers, recordRelease] { return fetchTask(servers, recordRelease); });
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

bool startUpdateDiff(const ServerList& servers, unsigned jobs) {
  if (isTaskRunning()) return false;
  const UpdaterState& updater = state();
  FileList differing;
  {
    std::lock_guard lock(state().differingFilesMutex);
    differing = updater.differingFiles;
  }
  return startTask(UpdatePhase::UpdateDiff, [servers = withFirst(servers, updater.catalogueServer), differing,
                                             selected = updater.selectedFiles, jobs] {
    return update_diff(servers, differing, selected, jobs);
  });
}

bool startSelfUpdate(const ServerList& servers) {
  if (isTaskRunning()) return false;
  // Asked now: once replaced, the running program's path may name the program no more.
  UpdaterState& updater = state();
  updater.selfUpdateTarget = platform::executablePath();
  updater.selfUpdateProgress = 0;
  return startTask(UpdatePhase::SelfUpdate,
                   [servers, program = updater.selfUpdateTarget] { return selfUpdateTask(servers, program); });
}

std::optional<std::string> replacedProgram() { return state().replacedProgram; }

void startUpdaterHashCheck(const ServerList& servers) {
  std::promise<Result<std::string>> answer;
  state().updaterHashAnswer = answer.get_future();  // an earlier request's answer is no longer wanted
  std::optional<ReleaseCheck> release;
  try {
    release = releaseCheck();
  } catch (const std::exception& unusable) {
    answer.set_value(Failure{unusable.what()});  // no usable key or record: no digest, as for any failure
    return;
  }
  // Touches nothing but its own copies and the answer's shared state, so it may outlive the
  // window and the end of main. Detached: an answer that never comes must not hold up the end.
  std::thread([servers, release, answer = std::move(answer)]() mutable {
    answer.set_value(fetchUpdaterHash(servers, release));
  }).detach();
}

bool isTaskRunning() { return state().taskFuture.valid(); }

namespace {

// The digest request's answer, applied on the polling thread once it has come.
void collectUpdaterHash() {
  UpdaterState& updater = state();
  std::future<Result<std::string>>& answer = updater.updaterHashAnswer;
  if (!answer.valid() || answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) return;
  Result<std::string> digest = answer.get();
  if (!digest.ok()) return;  // no verdict, as for any failure
  updater.updaterHashText = std::move(digest.value());
  updater.updaterHashFetched = true;
}

}  // namespace

bool pollTask() {
  collectUpdaterHash();
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
    case UpdatePhase::SelfUpdate: return updater.selfUpdateProgress;
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
  collectUpdaterHash();
  return std::exchange(state().updaterHashFetched, false);
}

std::string updaterHash() { return state().updaterHashText; }

void resetUpdaterState() {
  UpdaterState& updater = state();
  if (updater.taskFuture.valid()) updater.taskFuture.wait();
  updater.taskFuture = {};
  updater.phase = UpdatePhase::Fetch;
  clearError();
  updater.fetchProgress = 0;
  updater.releaseTimestamp = 0;
  updater.catalogueServer.clear();
  updater.diffProgress = 0;
  updater.updateProgress = 0;
  updater.updateBytes = 0;
  updater.updateDiffProgress = 0;
  updater.selfUpdateProgress = 0;
  updater.selfUpdateTarget.clear();
  updater.replacedProgram.reset();
  updater.catalogue.clear();
  updater.catalogueFiles.clear();
  updater.selectedFiles = {};
  publishDifferingFiles({});
  updater.updaterHashAnswer = {};
  updater.updaterHashText.clear();
  updater.updaterHashFetched = false;
}

}  // namespace update
