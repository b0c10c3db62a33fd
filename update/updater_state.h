#pragma once
// The state shared by the update tasks and the window.
#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "update/catalogue.h"

enum class UpdatePhase { Fetch = 0, Diff = 1, Update = 2, UpdateDiff = 3 };

enum class UpdateError { FetchFailed = 0, DiffFailed = 1, UpdateFailed = 2, GeneralFailure = 3, None = 4 };

struct UpdaterState {
  std::future<bool> taskFuture;  // the last started task
  UpdatePhase phase = UpdatePhase::Fetch;
  UpdateError errorCode = UpdateError::None;
  std::string taskFailureText;  // what the last failed task threw, for headless callers

  std::atomic<double> fetchProgress{0};
  std::atomic<double> diffProgress{0};  // 1 also means: a comparison has finished
  std::atomic<double> updateProgress{0};
  std::atomic<double> updateDiffProgress{0};

  // Written by the running task only, read by the window only while no task runs.
  std::vector<CatalogueEntry> catalogue;
  std::vector<std::vector<FileRecord>> catalogueFiles;
  std::vector<FileRecord> selectedFiles;

  std::mutex differingFilesMutex;
  std::vector<FileRecord> differingFiles;

  std::mutex updaterHashMutex;
  std::string updaterHashText;
  bool updaterHashFetched = false;
};

// The one process-wide state. It is never destroyed, so detached request threads may
// still finish while the process ends.
UpdaterState& updaterState();

// Back to the initial values, waiting for a running task first (for tests and tools).
void resetUpdaterState();
