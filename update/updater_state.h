#pragma once
// The state shared by the update tasks and the window. Only update/tasks.cpp writes it, on
// the thread that starts and polls the tasks; a task hands back a TaskResult instead.
#include <atomic>
#include <cstdint>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "formats/catalogue.h"
#include "update/failure.h"
#include "update/fetch_catalogue.h"
#include "update/worker_results.h"

namespace update {

// No task runs with a phase of its own for the installation: it is part of UpdateDiff.
// SelfUpdate replaces the running updater's own program.
enum class UpdatePhase { Fetch = 0, Diff = 1, UpdateDiff = 3, SelfUpdate = 4 };

// GeneralFailure has its text in the window's table; no phase maps to it.
enum class UpdateError { FetchFailed = 0, DiffFailed = 1, UpdateFailed = 2, GeneralFailure = 3, None = 4,
                         SelfUpdateFailed = 5 };

// What a task hands back through its future, applied to UpdaterState by pollTask.
struct TaskResult {
  std::optional<Failure> failure;
  std::vector<FileFailure> fileFailures;
  std::optional<FetchedCatalogue> fetched;            // a fetch's catalogue, also one cut short
  std::optional<formats::FileList> differingFiles;  // a comparison's verdict
  bool programReplaced = false;                      // a self-update's program is in place
};

struct UpdaterState {
  std::future<TaskResult> taskFuture;  // the last started task
  UpdatePhase phase = UpdatePhase::Fetch;
  UpdateError errorCode = UpdateError::None;
  // Why the last task failed (set with errorCode), and the files it could not write (the
  // installation's, and a digest cache that could not be saved); set when the task is collected.
  std::string failureReason;
  std::vector<FileFailure> fileFailures;

  std::atomic<double> fetchProgress{0};
  std::atomic<double> diffProgress{0};  // 1 also means: a comparison has finished
  std::atomic<double> updateProgress{0};
  std::atomic<double> updateDiffProgress{0};
  std::atomic<double> selfUpdateProgress{0};
  std::atomic<std::uint64_t> updateBytes{0};  // received by the last installation

  // Set when a task is collected; a running task works on copies.
  std::vector<formats::CatalogueEntry> catalogue;
  std::vector<formats::FileList> catalogueFiles;
  std::int64_t releaseTimestamp = 0;  // of the signed catalogue fetched last; 0 without a key
  std::string catalogueServer;        // the base address that gave it
  formats::FileList selectedFiles;
  std::string selfUpdateTarget;  // the running program's file, as the last self-update found it
  // That file, once a self-update has put the published program there.
  std::optional<std::string> replacedProgram;

  std::mutex differingFilesMutex;  // written on the polling thread only, like everything here
  formats::FileList differingFiles;

  // The digest request's answer, collected by pollTask or takeUpdaterHashFetched.
  std::future<update::Result<std::string>> updaterHashAnswer;
  std::string updaterHashText;
  bool updaterHashFetched = false;
};

// The one process-wide state, for reading. It is never destroyed, so detached request
// threads may still finish while the process ends.
const UpdaterState& updaterState();

}  // namespace update
