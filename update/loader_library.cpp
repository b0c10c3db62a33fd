#include "update/loader_library.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include "game/install_layout.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/resources.h"

namespace update {

bool loaderCheckPending = true;
bool loaderMatches = false;

namespace {

constexpr int loaderLibraryResourceId = 102;

// Every loader this program carried imports the game's library under this name; the game's
// own library never names it. So an older loader is told from a library a game patch put back.
constexpr std::string_view loaderImportName = "binkw32_orig.dll";

// Backups of earlier kept libraries: binkw32_orig.dll.bak1, .bak2, ...; none is ever replaced.
constexpr int maxBackups = 1000;

// The system's reason, where it gave one, on a line of its own below the text.
void showError(const std::string& text, const platform::FileResult& failed = {}) {
  platform::showMessageBox("Error", failed ? text : text + "\r\n" + *failed.failure, platform::MessageBoxIcon::None);
}

// A name that is free: nothing answers to it, and the system could tell.
bool nameIsFree(const std::string& path) {
  const platform::PathExistence existing = platform::pathExists(path);
  return !existing && !existing.failure;
}

bool sameBytes(const std::string& content, const std::vector<unsigned char>& bytes) {
  return std::equal(content.begin(), content.end(), bytes.begin(), bytes.end(),
                    [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; });
}

bool namesTheKeptLibrary(std::string content) {
  std::transform(content.begin(), content.end(), content.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return content.find(loaderImportName) != std::string::npos;
}

// What binkw32.dll holds: nothing usable (missing, empty, not a file), a loader, or a library of the game.
enum class VideoLibrary { Unusable, Loader, Genuine };

VideoLibrary presentVideoLibrary(const std::vector<unsigned char>& loader) {
  const auto content = platform::readWholeFile(videoLibraryPath());
  if (!content || content->empty()) return VideoLibrary::Unusable;
  if (sameBytes(*content, loader) || namesTheKeptLibrary(*content)) return VideoLibrary::Loader;
  return VideoLibrary::Genuine;
}

// Why binkw32.dll cannot be kept as the game's library: the system's reason it cannot be read,
// or that it is empty.
platform::FileResult unusableVideoLibrary() {
  const platform::FileContent content = platform::readWholeFile(videoLibraryPath());
  return {content ? "the file is empty" : content.failure};
}

// A library to forward to: a file with content (an empty file or a folder forwards nowhere).
bool originalVideoLibraryUsable() {
  const auto content = platform::readWholeFile(originalVideoLibraryPath());
  return content && !content->empty();
}

std::optional<std::string> freeBackupPath() {
  for (int number = 1; number <= maxBackups; ++number) {
    std::string path = originalVideoLibraryPath() + ".bak" + std::to_string(number);
    if (nameIsFree(path)) return path;
  }
  return std::nullopt;
}

// The renames one installation made (from, to), undone newest first when a later step fails.
using Renames = std::vector<std::pair<std::string, std::string>>;

platform::FileResult moveRecorded(Renames& renames, const std::string& from, const std::string& to) {
  platform::FileResult moved = platform::moveFileReplacing(from, to);
  if (moved) renames.emplace_back(from, to);
  return moved;
}

void undo(const Renames& renames) {
  for (auto step = renames.rbegin(); step != renames.rend(); ++step) {
    platform::moveFileReplacing(step->second, step->first);
  }
}

// binkw32.dll holds the game's newest library: it becomes binkw32_orig.dll, and whatever stood
// there steps aside to a free backup name first.
platform::FileResult keepGameLibrary(Renames& renames) {
  const std::string original = originalVideoLibraryPath();
  if (!nameIsFree(original)) {
    const auto backup = freeBackupPath();
    if (!backup) return {"no free backup name for " + original};
    if (platform::FileResult moved = moveRecorded(renames, original, *backup); !moved) return moved;
  }
  platform::FileResult moved = moveRecorded(renames, videoLibraryPath(), original);
  if (!moved) undo(renames);
  return moved;
}

}  // namespace

std::string videoLibraryPath() { return game::gameProgramFolder(game::installLayout) + "/binkw32.dll"; }

std::string originalVideoLibraryPath() { return game::gameProgramFolder(game::installLayout) + "/binkw32_orig.dll"; }

std::vector<unsigned char> loadEmbeddedLoaderLibrary() {
  return platform::loadRcdataResource(loaderLibraryResourceId);
}

bool videoLibraryExists() { return platform::pathExists(videoLibraryPath()).exists; }

bool originalVideoLibraryExists() { return platform::isRegularFile(originalVideoLibraryPath()); }

bool installedLoaderMatches() {
  const auto installed = platform::readWholeFile(videoLibraryPath());
  return installed && !installed->empty() && sameBytes(*installed, loadEmbeddedLoaderLibrary());
}

bool installLoaderLibrary() {
  loaderCheckPending = true;
  const auto loader = loadEmbeddedLoaderLibrary();
  // Writing nothing would leave the game without a video library.
  if (loader.empty()) {
    showError("Failed to write file!");
    return false;
  }
  Renames renames;
  const VideoLibrary present = presentVideoLibrary(loader);
  if (present == VideoLibrary::Genuine) {
    if (const platform::FileResult kept = keepGameLibrary(renames); !kept) {
      showError("Failed to rename file!", kept);
      return false;
    }
  } else if (!originalVideoLibraryUsable()) {
    // Keeping a loader as binkw32_orig.dll would make it forward to itself and hang the game.
    if (present == VideoLibrary::Loader)
      showError("The game's original video library binkw32_orig.dll is missing. "
                "Restore the game's own binkw32.dll, then install the hook again.");
    else
      showError("Failed to rename file!", unusableVideoLibrary());
    return false;
  }
  // Through a temporary file, so a failed write never leaves a cut-off library.
  const std::string_view bytes(reinterpret_cast<const char*>(loader.data()), loader.size());
  if (const platform::FileResult written = platform::writeFileAtomically(videoLibraryPath(), bytes); !written) {
    // The game must not be left without binkw32.dll: give it its own library back.
    undo(renames);
    showError("Failed to write file!", written);
    return false;
  }
  return true;
}

void refreshLoaderCheck() {
  if (!loaderCheckPending) return;
  loaderMatches = installedLoaderMatches() && originalVideoLibraryUsable();
  loaderCheckPending = false;
}

bool loaderInstalled() { return videoLibraryExists() && originalVideoLibraryExists() && loaderMatches; }

}  // namespace update
