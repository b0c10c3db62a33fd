// Installing the embedded loader into game folders, with the program's own message boxes
// written to standard error (QUARNMP_MESSAGEBOX=stderr).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <set>

#include "game/install_layout.h"
#include "tests/support/temp_folder.h"
#include "update/loader_library.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

const std::string loaderMark = "<loader>";  // stands for the embedded loader's bytes

std::string embeddedLoader() {
  auto bytes = loadEmbeddedLoaderLibrary();
  return std::string(bytes.begin(), bytes.end());
}

std::string swapMark(const std::string& content) {
  return content == loaderMark ? embeddedLoader() : content == embeddedLoader() ? loaderMark : content;
}

const std::string installed = "installed|binkw32.dll=<loader>|binkw32_orig.dll=GAME|";
const struct {
  const char *name, *video, *original;  // before; nullptr: no such file
  bool writeFails;
  std::string after;
} installCases[] = {
    {"fresh", "GAME", nullptr, false, installed},
    {"older loader", "OLD", "GAME", false, installed},
    {"loader gone", nullptr, "GAME", false, installed},
    {"loader without original", "<loader>", nullptr, false,
     "refused|binkw32.dll=<loader>|Error: The game's original video library binkw32_orig.dll is missing. "
     "Restore the game's own binkw32.dll, then install the hook again.\n"},
    {"nothing to move", nullptr, nullptr, false, "refused|Error: Failed to rename file!\n"},
    {"write fails after the move", "GAME", nullptr, true, "refused|binkw32.dll=GAME|Error: Failed to write file!\n"},
    {"write fails over an older loader", "OLD", "GAME", true,
     "refused|binkw32.dll=OLD|binkw32_orig.dll=GAME|Error: Failed to write file!\n"},
};

TEST(LoaderLibrary, EmbeddedIsTheBuiltLibrary) { EXPECT_EQ(embeddedLoader(), readFile(QUARNMP_LOADER_DLL)); }

// Each case's outcome: "installed|" or "refused|", "<file>=<content>|" for the folder's files in
// name order, a mark when the button after the press disagrees, and the message.
TEST(LoaderLibrary, InstallCasesInBothLayouts) {
  signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};  // a write that fails even for root: no file may grow to the loader's size
  getrlimit(RLIMIT_FSIZE, &saved);
  for (auto [layout, folder] : {std::pair{InstallLayout::RuskEdition, "base/bin"},
                                std::pair{InstallLayout::TovanEdition, "Data/base/bin"}}) {
    WorkingFolder root;
    installLayout = layout;
    const fs::path bin = root / folder;
    for (const auto& c : installCases) {
      fs::remove_all(bin);
      fs::create_directories(bin);
      for (auto [name, content] : {std::pair{"binkw32.dll", c.video}, std::pair{"binkw32_orig.dll", c.original}})
        if (content) writeFile(bin / name, swapMark(content));
      loaderCheckPending = loaderMatches = false;
      const rlimit limited{c.writeFails ? embeddedLoader().size() / 2 : saved.rlim_cur, saved.rlim_max};
      ::testing::internal::CaptureStderr();
      setrlimit(RLIMIT_FSIZE, &limited);
      const bool installed = installLoaderLibrary();
      setrlimit(RLIMIT_FSIZE, &saved);
      std::string after = installed ? "installed|" : "refused|";
      for (const fs::path& file : std::set<fs::path>(fs::directory_iterator(bin), {}))
        after += file.filename().string() + "=" + swapMark(readFile(file)) + "|";
      refreshLoaderCheck();
      if (loaderInstalled() != installed) after += "the button disagrees|";
      EXPECT_EQ(after + ::testing::internal::GetCapturedStderr(), c.after) << folder << ": " << c.name;
    }
    for (const std::string& content : {std::string(), embeddedLoader() + "x", embeddedLoader().substr(1)}) {
      writeFile(bin / "binkw32.dll", content);
      EXPECT_FALSE(installedLoaderMatches()) << content.size() << " bytes never match";
    }
  }
}

}  // namespace
