// Installing the embedded loader into game folders, with the program's own message boxes
// written to standard error (QUARNMP_MESSAGEBOX=stderr).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "game/install_layout.h"
#include "tests/support/temp_folder.h"
#include "update/loader_library.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

const std::string loaderMark = "<loader>";  // stands for the embedded loader's bytes in the table

std::string embeddedLoader() {
  auto bytes = loadEmbeddedLoaderLibrary();
  return std::string(bytes.begin(), bytes.end());
}

std::string expand(const std::string& content) { return content == loaderMark ? embeddedLoader() : content; }

// A write that fails whoever runs the test (root ignores folder permissions): no file may
// grow to the loader's size (the captured message still fits).
class FileSizeLimit {
 public:
  FileSizeLimit() {
    getrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = saved;
    tiny.rlim_cur = embeddedLoader().size() / 2;
    setrlimit(RLIMIT_FSIZE, &tiny);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_DFL);
  }

 private:
  rlimit saved{};
};

struct InstallCase {
  const char* name;
  std::optional<std::string> video, original;        // before; nullopt: no such file
  bool writeFails;
  bool result;
  std::string message;                               // standard error of the call
  std::optional<std::string> videoAfter, originalAfter;
};

const InstallCase installCases[] = {
    {"fresh", "GAME", std::nullopt, false, true, "", loaderMark, "GAME"},
    {"older loader", "OLD LOADER", "GAME", false, true, "", loaderMark, "GAME"},
    {"loader gone missing", std::nullopt, "GAME", false, true, "", loaderMark, "GAME"},
    {"loader without original", loaderMark, std::nullopt, false, false,
     "Error: The game's original video library binkw32_orig.dll is missing. "
     "Restore the game's own binkw32.dll, then install the hook again.\n",
     loaderMark, std::nullopt},
    {"nothing to move", std::nullopt, std::nullopt, false, false, "Error: Failed to rename file!\n",
     std::nullopt, std::nullopt},
    {"write fails after the move", "GAME", std::nullopt, true, false, "Error: Failed to write file!\n", "GAME",
     std::nullopt},
    {"write fails over an older loader", "OLD LOADER", "GAME", true, false, "Error: Failed to write file!\n",
     "OLD LOADER", "GAME"},
};

std::optional<std::string> contentOf(const fs::path& path) {
  if (!fs::exists(path)) return std::nullopt;
  return readFile(path);
}

class InstallationFolder : public ::testing::Test {
 protected:
  void enter(TestLayout layout) {
    makeInstallation(temp.path(), layout);
    installLayout = layout == TestLayout::Tovan ? InstallLayout::TovanEdition : InstallLayout::RuskEdition;
    bin = temp.path() / (layout == TestLayout::Tovan ? "Data/base/bin" : "base/bin");
    fs::current_path(temp.path());
  }
  void TearDown() override { fs::current_path(previous); }

  fs::path previous = fs::current_path();
  TempFolder temp;
  fs::path bin;
};

TEST(EmbeddedLoader, IsTheBuiltLibrary) {
  EXPECT_EQ(embeddedLoader(), readFile(QUARNMP_LOADER_DLL));
  EXPECT_EQ(embeddedLoader().substr(0, 2), "MZ");
}

TEST_F(InstallationFolder, InstallCases) {
  enter(TestLayout::Rusk);
  for (const InstallCase& c : installCases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(bin);
    fs::create_directories(bin);
    if (c.video) writeFile(bin / "binkw32.dll", expand(*c.video));
    if (c.original) writeFile(bin / "binkw32_orig.dll", expand(*c.original));
    loaderCheckPending = false;

    ::testing::internal::CaptureStderr();
    bool result;
    {
      std::optional<FileSizeLimit> limit;
      if (c.writeFails) limit.emplace();
      result = installLoaderLibrary();
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.message);
    EXPECT_EQ(result, c.result);
    EXPECT_TRUE(loaderCheckPending);
    EXPECT_EQ(contentOf(bin / "binkw32.dll"), c.videoAfter ? std::optional(expand(*c.videoAfter)) : std::nullopt);
    EXPECT_EQ(contentOf(bin / "binkw32_orig.dll"), c.originalAfter);
    size_t files = (c.videoAfter ? 1 : 0) + (c.originalAfter ? 1 : 0);
    EXPECT_EQ(static_cast<size_t>(std::distance(fs::directory_iterator(bin), fs::directory_iterator())), files);

    refreshLoaderCheck();
    EXPECT_EQ(loaderInstalled(), c.result) << "the button after the press";
  }
}

TEST_F(InstallationFolder, TovanLayoutAndWhatNeverMatches) {
  enter(TestLayout::Tovan);
  writeFile(bin / "binkw32.dll", "GAME");
  EXPECT_FALSE(installedLoaderMatches());
  ASSERT_TRUE(installLoaderLibrary());
  EXPECT_TRUE(installedLoaderMatches());
  EXPECT_EQ(readFile(bin / "binkw32_orig.dll"), "GAME");

  for (const std::string& content : {std::string(), embeddedLoader() + "x", embeddedLoader().substr(1)}) {
    writeFile(bin / "binkw32.dll", content);
    EXPECT_FALSE(installedLoaderMatches()) << content.size() << " bytes";
  }
  fs::remove(bin / "binkw32.dll");
  fs::create_directory(bin / "binkw32.dll");  // a folder of that name exists, but matches nothing
  EXPECT_TRUE(videoLibraryExists());
  EXPECT_FALSE(installedLoaderMatches());
}

}  // namespace
