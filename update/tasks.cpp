#include "update/tasks.h"

#include <chrono>
#include <exception>
#include <future>
#include <utility>

#include "update/diff_files.h"
#include "update/fetch_catalogue.h"
#include "update/install_files.h"
#include "update/updater_hash.h"

namespace {

constexpr std::chrono::milliseconds nestedPollSlice{5};

// The state lives on after main returns; a task still running then is waited for here,
// as the futures of std::async would do.
struct WaitForTaskAtExit {
  ~WaitForTaskAtExit() {
    std::future<bool>& task = updaterState().taskFuture;
    if (task.valid()) task.wait();
  }
};

void clearError() {
  UpdaterState& state = updaterState();
  state.errorCode = UpdateError::None;
  state.taskFailureText.clear();
}

void startTask(UpdatePhase phase, bool (*worker)()) {
  static WaitForTaskAtExit waitForTaskAtExit;
  UpdaterState& state = updaterState();
  state.phase = phase;
  state.taskFuture = std::async(std::launch::async, worker);
}

UpdateError errorOfPhase(UpdatePhase phase) {
  switch (phase) {
    case UpdatePhase::Fetch: return UpdateError::FetchFailed;
    case UpdatePhase::Diff: return UpdateError::DiffFailed;
    case UpdatePhase::Update:
    case UpdatePhase::UpdateDiff: return UpdateError::UpdateFailed;
  }
  return UpdateError::GeneralFailure;
}

// Runs the worker as a nested task and reports its progress, scaled, until it finishes.
template <typename Progress>
bool runNested(bool (*worker)(), Progress reportProgress) {
  std::future<bool> nested = std::async(std::launch::async, worker);
  while (nested.wait_for(nestedPollSlice) != std::future_status::ready) reportProgress();
  return nested.get();
}

}  // namespace

void startFetch() {
  clearError();
  startUpdaterHashCheck();
  startTask(UpdatePhase::Fetch, fetchCatalogue);
}

void startCatalogueFetch() {
  clearError();
  startTask(UpdatePhase::Fetch, fetchCatalogue);
}

void startDiff() {
  clearError();
  UpdaterState& state = updaterState();
  if (state.catalogue.empty()) return;
  state.selectedFiles = state.catalogueFiles.front();
  startTask(UpdatePhase::Diff, diffFiles);
}

void startUpdateDiff() {
  clearError();
  startTask(UpdatePhase::UpdateDiff, update_diff);
}

bool update_diff() {
  UpdaterState& state = updaterState();
  const bool installed = runNested(updateFiles, [&] { state.updateDiffProgress = state.updateProgress * 0.75; });
  if (!installed) {
    state.updateDiffProgress = 0;
    return false;
  }
  {
    std::lock_guard lock(state.differingFilesMutex);
    state.differingFiles.clear();
  }
  const bool compared = runNested(diffFiles, [&] { state.updateDiffProgress = 0.75 + state.diffProgress * 0.25; });
  state.updateDiffProgress = compared ? 1 : 0;
  return compared;
}

bool isTaskRunning() { return updaterState().taskFuture.valid(); }

bool pollTask() {
  UpdaterState& state = updaterState();
  if (!state.taskFuture.valid()) return false;
  if (state.taskFuture.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) return false;
  bool succeeded = false;
  try {
    succeeded = state.taskFuture.get();
  } catch (const std::exception& failure) {
    state.taskFailureText = failure.what();
  } catch (...) {
    state.taskFailureText = "unknown failure";
  }
  if (!succeeded) state.errorCode = errorOfPhase(state.phase);
  return true;
}

double currentProgress() {
  const UpdaterState& state = updaterState();
  switch (state.phase) {
    case UpdatePhase::Fetch: return state.fetchProgress;
    case UpdatePhase::Diff: return state.diffProgress;
    case UpdatePhase::Update: return state.updateProgress;
    default: return state.updateDiffProgress;
  }
}

bool hasCatalogue() { return !updaterState().catalogue.empty(); }

bool hasDifferences() {
  UpdaterState& state = updaterState();
  std::lock_guard lock(state.differingFilesMutex);
  return !state.differingFiles.empty();
}

std::vector<std::string> differingPaths() {
  UpdaterState& state = updaterState();
  std::lock_guard lock(state.differingFilesMutex);
  std::vector<std::string> paths;
  paths.reserve(state.differingFiles.size());
  for (const FileRecord& record : state.differingFiles) paths.push_back(record.localPath);
  return paths;
}

bool takeUpdaterHashFetched() {
  UpdaterState& state = updaterState();
  std::lock_guard lock(state.updaterHashMutex);
  return std::exchange(state.updaterHashFetched, false);
}

std::string updaterHash() {
  UpdaterState& state = updaterState();
  std::lock_guard lock(state.updaterHashMutex);
  return state.updaterHashText;
}
