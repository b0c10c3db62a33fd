#include "platform/message_box.h"

#include <atomic>

#include "platform/message_box_fallback.h"

namespace platform {

namespace {
std::atomic<MessageBoxPresenter> installedPresenter{nullptr};
std::atomic<QuestionPresenter> installedQuestion{nullptr};
}  // namespace

void setMessageBoxPresenter(MessageBoxPresenter presenter) { installedPresenter = presenter; }

void setQuestionPresenter(QuestionPresenter presenter) { installedQuestion = presenter; }

void showMessageBox(const std::string& caption, const std::string& text, MessageBoxIcon icon) {
  MessageBoxPresenter presenter = installedPresenter;
  if (presenter != nullptr && !messageBoxForcedToStandardError() && presenter(caption, text, icon)) return;
  writeMessageBoxToStandardError(caption, text);
}

bool askYesNo(const std::string& caption, const std::string& text) {
  QuestionPresenter presenter = installedQuestion;
  if (presenter != nullptr && !messageBoxForcedToStandardError())
    if (const std::optional<bool> answer = presenter(caption, text)) return *answer;
  writeMessageBoxToStandardError(caption, text);
  return true;
}

}  // namespace platform
