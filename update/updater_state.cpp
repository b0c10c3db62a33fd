#include "update/updater_state.h"

UpdaterState& updaterState() {
  static auto* state = new UpdaterState;
  return *state;
}

void resetUpdaterState() {
  UpdaterState& state = updaterState();
  if (state.taskFuture.valid()) state.taskFuture.wait();
  state.taskFuture = {};
  state.phase = UpdatePhase::Fetch;
  state.errorCode = UpdateError::None;
  state.taskFailureText.clear();
  state.fetchProgress = 0;
  state.diffProgress = 0;
  state.updateProgress = 0;
  state.updateDiffProgress = 0;
  state.catalogue.clear();
  state.catalogueFiles.clear();
  state.selectedFiles.clear();
  {
    std::lock_guard lock(state.differingFilesMutex);
    state.differingFiles.clear();
  }
  std::lock_guard lock(state.updaterHashMutex);
  state.updaterHashText.clear();
  state.updaterHashFetched = false;
}
