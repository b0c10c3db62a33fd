// Installing the embedded loader into game folders, with the program's own message boxes
// written to standard error (QUARNMP_MESSAGEBOX=stderr).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <optional>

#include "game/install_layout.h"
#include "tests/support/temp_folder.h"
#include "update/loader_library.h"

namespace fs = std::filesystem;
using namespace testing_support;
using File = std::optional<std::string>;  // nullopt: no such file

namespace {

const std::string loaderMark = "<loader>";  // stands for the embedded loader's bytes

std::string embeddedLoader() {
  auto bytes = loadEmbeddedLoaderLibrary();
  return std::string(bytes.begin(), bytes.end());
}

File expand(const File& content) { return content == loaderMark ? embeddedLoader() : content; }

File contentOf(const fs::path& path) { return fs::exists(path) ? File(readFile(path)) : std::nullopt; }

const struct {
  const char* name;
  File video, original;  // before
  bool writeFails, result;
  std::string message;
  File videoAfter, originalAfter;
} installCases[] = {
    {"fresh", "GAME", {}, false, true, "", loaderMark, "GAME"},
    {"older loader", "OLD", "GAME", false, true, "", loaderMark, "GAME"},
    {"loader gone", {}, "GAME", false, true, "", loaderMark, "GAME"},
    {"loader without original", loaderMark, {}, false, false,
     "Error: The game's original video library binkw32_orig.dll is missing. "
     "Restore the game's own binkw32.dll, then install the hook again.\n", loaderMark, {}},
    {"nothing to move", {}, {}, false, false, "Error: Failed to rename file!\n", {}, {}},
    {"write fails after the move", "GAME", {}, true, false, "Error: Failed to write file!\n", "GAME", {}},
    {"write fails over an older loader", "OLD", "GAME", true, false, "Error: Failed to write file!\n", "OLD", "GAME"},
};

TEST(LoaderLibrary, EmbeddedIsTheBuiltLibrary) { EXPECT_EQ(embeddedLoader(), readFile(QUARNMP_LOADER_DLL)); }

TEST(LoaderLibrary, InstallCasesInBothLayouts) {
  const fs::path previous = fs::current_path();
  signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};  // a write that fails even for root: no file may grow to the loader's size
  getrlimit(RLIMIT_FSIZE, &saved);
  for (auto [layout, folder] : {std::pair{InstallLayout::RuskEdition, "base/bin"},
                                std::pair{InstallLayout::TovanEdition, "Data/base/bin"}}) {
    TempFolder root;
    fs::current_path(root.path());
    installLayout = layout;
    const fs::path bin = root / folder;
    for (const auto& c : installCases) {
      SCOPED_TRACE(std::string(folder) + ": " + c.name);
      fs::remove_all(bin);
      fs::create_directories(bin);
      if (c.video) writeFile(bin / "binkw32.dll", *expand(c.video));
      if (c.original) writeFile(bin / "binkw32_orig.dll", *expand(c.original));
      loaderCheckPending = false;
      const rlimit limited{c.writeFails ? embeddedLoader().size() / 2 : saved.rlim_cur, saved.rlim_max};
      ::testing::internal::CaptureStderr();
      setrlimit(RLIMIT_FSIZE, &limited);
      const bool result = installLoaderLibrary();
      setrlimit(RLIMIT_FSIZE, &saved);
      EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.message);

      EXPECT_EQ(result, c.result);
      EXPECT_EQ(contentOf(bin / "binkw32.dll"), expand(c.videoAfter));
      EXPECT_EQ(contentOf(bin / "binkw32_orig.dll"), c.originalAfter);
      EXPECT_EQ(std::distance(fs::directory_iterator(bin), fs::directory_iterator()),
                !!c.videoAfter + !!c.originalAfter) << "no temporary file remains";
      EXPECT_TRUE(loaderCheckPending);
      refreshLoaderCheck();
      EXPECT_EQ(loaderInstalled(), c.result) << "the button after the press";
    }
    for (const std::string& content : {std::string(), embeddedLoader() + "x", embeddedLoader().substr(1)}) {
      writeFile(bin / "binkw32.dll", content);
      EXPECT_FALSE(installedLoaderMatches()) << content.size() << " bytes never match";
    }
    fs::current_path(previous);
  }
}

}  // namespace
