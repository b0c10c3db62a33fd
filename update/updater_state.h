#pragma once
// The state shared by the update tasks and the window. Only update/tasks.cpp writes it.
#include <atomic>
#include <cstdint>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "formats/catalogue.h"
#include "update/worker_results.h"

// No task runs with a phase of its own for the installation: it is part of UpdateDiff.
enum class UpdatePhase { Fetch = 0, Diff = 1, UpdateDiff = 3 };

// GeneralFailure has its text in the window's table; no phase maps to it.
enum class UpdateError { FetchFailed = 0, DiffFailed = 1, UpdateFailed = 2, GeneralFailure = 3, None = 4 };

struct UpdaterState {
  std::future<bool> taskFuture;  // the last started task
  UpdatePhase phase = UpdatePhase::Fetch;
  UpdateError errorCode = UpdateError::None;
  // Why the last task failed (set with errorCode), and the files its installation could not
  // replace; written by the task before it ends, read after it was collected.
  std::string failureReason;
  std::vector<FileFailure> fileFailures;

  std::atomic<double> fetchProgress{0};
  std::atomic<double> diffProgress{0};  // 1 also means: a comparison has finished
  std::atomic<double> updateProgress{0};
  std::atomic<double> updateDiffProgress{0};

  // Written by the running task only, read by the window only while no task runs.
  std::vector<formats::CatalogueEntry> catalogue;
  std::vector<formats::FileList> catalogueFiles;
  std::int64_t releaseTimestamp = 0;  // of the signed catalogue fetched last; 0 without a key
  formats::FileList selectedFiles;

  std::mutex differingFilesMutex;
  formats::FileList differingFiles;

  std::mutex updaterHashMutex;
  std::string updaterHashText;
  bool updaterHashFetched = false;
};

// The one process-wide state, for reading. It is never destroyed, so detached request
// threads may still finish while the process ends.
const UpdaterState& updaterState();
