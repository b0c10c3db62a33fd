#include "platform/message_box.h"

#include <windows.h>

#include "platform/message_box_fallback.h"

namespace platform {

void setMessageBoxPresenter(MessageBoxPresenter) {}

void showMessageBox(const std::string& caption, const std::string& text, MessageBoxIcon icon) {
  const UINT style = MB_OK | (icon == MessageBoxIcon::Error ? MB_ICONERROR : 0);
  // MessageBoxA answers 0 when it cannot show the box (no desktop): the text is not lost.
  if (messageBoxForcedToStandardError() || MessageBoxA(nullptr, text.c_str(), caption.c_str(), style) == 0) {
    writeMessageBoxToStandardError(caption, text);
  }
}

}  // namespace platform
