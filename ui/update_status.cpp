#include "ui/update_status.h"

#include "ui/texts.h"
#include "update/tasks.h"

namespace {

TextId errorText(UpdateError error) {
  switch (error) {
    case UpdateError::FetchFailed: return TextId::errFetch;
    case UpdateError::DiffFailed: return TextId::errDiff;
    case UpdateError::UpdateFailed: return TextId::errUpdate;
    case UpdateError::SelfUpdateFailed: return TextId::errSelfUpdate;
    default: return TextId::errGeneral;
  }
}

// The files the last installation could not replace, one line each with its reason.
std::string fileFailureLines(const UpdaterState& state) {
  std::string lines;
  for (const FileFailure& failure : state.fileFailures) {
    lines += (lines.empty() ? "" : "\r\n") + failure.localPath + ": " + failure.reason;
  }
  return lines;
}

}  // namespace

UpdateStatus updateStatus() {
  const UpdaterState& state = updaterState();
  if (state.errorCode != UpdateError::None) {
    // An installation that could not replace every file fails: the reason, then each file's.
    const std::string files = fileFailureLines(state);
    const std::string reason = files.empty() ? state.failureReason : state.failureReason + "\r\n" + files;
    return {uiText(errorText(state.errorCode)), reason};
  }
  if (isTaskRunning() && state.phase == UpdatePhase::SelfUpdate) {
    std::string line = uiText(TextId::msgSelfUpdating);
    line.append(" ").append(std::to_string(static_cast<int>(currentProgress() * 100))).append(" %");
    return {line, ""};
  }
  if (isTaskRunning() || state.diffProgress < 1.0) return {};
  return {uiText(differingPaths().empty() ? TextId::msgFilesCurrent : TextId::msgFilesDiffer), fileFailureLines(state)};
}
