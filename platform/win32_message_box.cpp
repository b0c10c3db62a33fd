#include "platform/message_box.h"

#include <windows.h>

namespace platform {

void setMessageBoxPresenter(MessageBoxPresenter) {}

void showMessageBox(const std::string& caption, const std::string& text, MessageBoxIcon icon) {
  UINT style = MB_OK | (icon == MessageBoxIcon::Error ? MB_ICONERROR : 0);
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}

}  // namespace platform
