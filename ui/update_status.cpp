#include "ui/update_status.h"

#include "ui/texts.h"
#include "update/tasks.h"

namespace {

TextId errorText(UpdateError error) {
  switch (error) {
    case UpdateError::FetchFailed: return TextId::errFetch;
    case UpdateError::DiffFailed: return TextId::errDiff;
    case UpdateError::UpdateFailed: return TextId::errUpdate;
    default: return TextId::errGeneral;
  }
}

}  // namespace

UpdateStatus updateStatus() {
  const UpdaterState& state = updaterState();
  if (state.errorCode != UpdateError::None) return {uiText(errorText(state.errorCode)), state.taskFailureText};
  if (isTaskRunning() || state.diffProgress < 1.0) return {};
  return {uiText(differingPaths().empty() ? TextId::msgFilesCurrent : TextId::msgFilesDiffer), {}};
}
