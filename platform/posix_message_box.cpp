#include "platform/message_box.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {
std::atomic<MessageBoxPresenter> installedPresenter{nullptr};

bool forcedToStandardError() {
  const char* mode = std::getenv("QUARNMP_MESSAGEBOX");
  return mode != nullptr && std::strcmp(mode, "stderr") == 0;
}
}  // namespace

void setMessageBoxPresenter(MessageBoxPresenter presenter) { installedPresenter = presenter; }

void showMessageBox(const std::string& caption, const std::string& text, MessageBoxIcon icon) {
  MessageBoxPresenter presenter = installedPresenter;
  if (presenter != nullptr && !forcedToStandardError() && presenter(caption, text, icon)) return;
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
}

}  // namespace platform
