#include "ui/update_status.h"

#include "ui/texts.h"
#include "update/tasks.h"

namespace {

TextId errorText(update::UpdateError error) {
  switch (error) {
    case update::UpdateError::FetchFailed: return TextId::errFetch;
    case update::UpdateError::DiffFailed: return TextId::errDiff;
    case update::UpdateError::UpdateFailed: return TextId::errUpdate;
    case update::UpdateError::SelfUpdateFailed: return TextId::errSelfUpdate;
    default: return TextId::errGeneral;
  }
}

// The files the last installation could not replace, one line each with its reason.
std::string fileFailureLines(const update::UpdaterState& state) {
  std::string lines;
  for (const update::FileFailure& failure : state.fileFailures) {
    lines += (lines.empty() ? "" : "\r\n") + failure.localPath + ": " + failure.reason;
  }
  return lines;
}

}  // namespace

UpdateStatus updateStatus() {
  const update::UpdaterState& state = update::updaterState();
  if (state.errorCode != update::UpdateError::None) {
    // An installation that could not replace every file fails: the reason, then each file's.
    const std::string files = fileFailureLines(state);
    const std::string reason = files.empty() ? state.failureReason : state.failureReason + "\r\n" + files;
    return {uiText(errorText(state.errorCode)), reason};
  }
  if (update::isTaskRunning() && state.phase == update::UpdatePhase::SelfUpdate) {
    std::string line = uiText(TextId::msgSelfUpdating);
    line.append(" ").append(std::to_string(static_cast<int>(update::currentProgress() * 100))).append(" %");
    return {line, ""};
  }
  if (update::isTaskRunning() || state.diffProgress < 1.0) return {};
  const TextId verdict = update::differingPaths().empty() ? TextId::msgFilesCurrent : TextId::msgFilesDiffer;
  return {uiText(verdict), fileFailureLines(state)};
}
