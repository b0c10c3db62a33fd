#include "update/loader_library.h"

#include <algorithm>

#include "game/install_layout.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/resources.h"

bool loaderCheckPending = true;
bool loaderMatches = false;

namespace {

constexpr int loaderLibraryResourceId = 102;

void showError(const std::string& text) {
  platform::showMessageBox("Error", text, platform::MessageBoxIcon::None);
}

}  // namespace

std::string videoLibraryPath() { return gameProgramFolder(installLayout) + "/binkw32.dll"; }

std::string originalVideoLibraryPath() { return gameProgramFolder(installLayout) + "/binkw32_orig.dll"; }

std::vector<unsigned char> loadEmbeddedLoaderLibrary() {
  return platform::loadRcdataResource(loaderLibraryResourceId);
}

bool videoLibraryExists() { return platform::pathExists(videoLibraryPath()); }

bool originalVideoLibraryExists() { return platform::pathExists(originalVideoLibraryPath()); }

bool installedLoaderMatches() {
  const auto installed = platform::readWholeFile(videoLibraryPath());
  const auto embedded = loadEmbeddedLoaderLibrary();
  return installed && !installed->empty() &&
         std::equal(installed->begin(), installed->end(), embedded.begin(), embedded.end(),
                    [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; });
}

bool installLoaderLibrary() {
  loaderCheckPending = true;
  const auto loader = loadEmbeddedLoaderLibrary();
  // Writing nothing would leave the game without a video library.
  if (loader.empty()) {
    showError("Failed to write file!");
    return false;
  }
  bool movedOriginal = false;
  if (!originalVideoLibraryExists()) {
    // binkw32.dll being the loader itself means the game's own library is gone; keeping the
    // loader as binkw32_orig.dll would make it forward to itself and hang the game.
    if (installedLoaderMatches()) {
      showError("The game's original video library binkw32_orig.dll is missing. "
                "Restore the game's own binkw32.dll, then install the hook again.");
      return false;
    }
    if (!platform::moveFileReplacing(videoLibraryPath(), originalVideoLibraryPath())) {
      showError("Failed to rename file!");
      return false;
    }
    movedOriginal = true;
  }
  // Through a temporary file, so a failed write never leaves a cut-off library.
  const std::string_view bytes(reinterpret_cast<const char*>(loader.data()), loader.size());
  if (!platform::writeFileAtomically(videoLibraryPath(), bytes)) {
    // The game must not be left without binkw32.dll: give it its own library back.
    if (movedOriginal) platform::moveFileReplacing(originalVideoLibraryPath(), videoLibraryPath());
    showError("Failed to write file!");
    return false;
  }
  return true;
}

void refreshLoaderCheck() {
  if (!loaderCheckPending) return;
  loaderMatches = installedLoaderMatches();
  loaderCheckPending = false;
}

bool loaderInstalled() { return videoLibraryExists() && originalVideoLibraryExists() && loaderMatches; }
