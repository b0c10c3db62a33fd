#include "platform/message_box.h"

#include <windows.h>

#include "platform/message_box_fallback.h"

namespace platform {

void setMessageBoxPresenter(MessageBoxPresenter) {}

void setQuestionPresenter(QuestionPresenter) {}

void showMessageBox(const std::string& caption, const std::string& text, MessageBoxIcon icon) {
  const UINT style = MB_OK | (icon == MessageBoxIcon::Error ? MB_ICONERROR : 0);
  // MessageBoxA answers 0 when it cannot show the box (no desktop): the text is not lost.
  if (messageBoxForcedToStandardError() || MessageBoxA(nullptr, text.c_str(), caption.c_str(), style) == 0) {
    writeMessageBoxToStandardError(caption, text);
  }
}

bool askYesNo(const std::string& caption, const std::string& text) {
  const int answer = messageBoxForcedToStandardError()
                         ? 0
                         : MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION);
  if (answer != 0) return answer == IDYES;
  writeMessageBoxToStandardError(caption, text);
  return true;
}

}  // namespace platform
