#include "platform/message_box.h"

#include <atomic>

#include "platform/message_box_fallback.h"

namespace platform {

namespace {
std::atomic<MessageBoxPresenter> installedPresenter{nullptr};
}  // namespace

void setMessageBoxPresenter(MessageBoxPresenter presenter) { installedPresenter = presenter; }

void showMessageBox(const std::string& caption, const std::string& text, MessageBoxIcon icon) {
  MessageBoxPresenter presenter = installedPresenter;
  if (presenter != nullptr && !messageBoxForcedToStandardError() && presenter(caption, text, icon)) return;
  writeMessageBoxToStandardError(caption, text);
}

}  // namespace platform
