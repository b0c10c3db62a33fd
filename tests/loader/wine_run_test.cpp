// The loader library inside a 32-bit process under Wine, in game folders of each layout: the
// line it prints, the CMain.dll it loads, and that each call reaches the game's own library's
// function of the same ordinal (the stand-in answers ordinal * 1000 + its first argument).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

const fs::path winePrefix = fs::path(QUARNMP_BUILD_DIR) / "wine-prefix";

ProgramOptions wineOptions(const fs::path& folder) {
  ProgramOptions options;
  options.workingDirectory = folder.string();
  options.environment = {{"WINEPREFIX", winePrefix.string()}, {"WINEARCH", "win32"}, {"WINEDEBUG", "-all"},
                         {"WINEDLLOVERRIDES", "mscoree,mshtml="}, {"DISPLAY", std::nullopt}};
  options.timeout = std::chrono::seconds(120);
  return options;
}

// One prefix for all runs, made on first use (which takes a while); its wineserver is
// stopped when the test ends.
class WinePrefix : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!fs::exists(winePrefix / "system.reg")) {
      auto boot = runProgram("/usr/bin/wineboot", {"--init"}, wineOptions(QUARNMP_BUILD_DIR));
      ASSERT_EQ(boot.exitCode, 0) << boot.err;
    }
  }
  static void TearDownTestSuite() { runProgram("/usr/bin/wineserver", {"-k"}, wineOptions(QUARNMP_BUILD_DIR)); }
};

std::string windowsPath(const fs::path& path) {
  std::string text = "Z:" + path.string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

struct GameFolder {
  const char* name;
  std::vector<std::string> folders;  // made below the root
  std::string bin;                   // the game's program folder
  std::string printedTail;           // after the "base" folder in the printed path
  std::string cmain;                 // where the stand-in CMain.dll is expected to come from
};

const GameFolder gameFolders[] = {
    {"Rusk", {"base/bin", "extra1"}, "base/bin", "\\..\\QuarnServer\\bin\\CMain.dll", "QuarnServer/bin"},
    {"Tovan", {"Data/base/bin", "DataOP"}, "Data/base/bin", "\\..\\..\\QuarnServer\\bin\\CMain.dll",
     "QuarnServer/bin"},
    {"Data without DataOP", {"Data/base/bin"}, "Data/base/bin", "\\..\\QuarnServer\\bin\\CMain.dll",
     "Data/QuarnServer/bin"},
};

TEST_F(WinePrefix, ExportsReachTheGamesLibraryAndCMainComesFromTheRoot) {
  for (const GameFolder& game : gameFolders) {
    SCOPED_TRACE(game.name);
    TempFolder root;
    for (const auto& folder : game.folders) fs::create_directories(root / folder);
    const fs::path bin = root / game.bin;
    fs::copy_file(QUARNMP_LOADER_PROBE, bin / "Ostmarka.exe");
    fs::copy_file(QUARNMP_LOADER_DLL, bin / "binkw32.dll");
    fs::copy_file(QUARNMP_LOADER_STANDIN, bin / "binkw32_orig.dll");
    // The right CMain.dll and the one the other layout would take.
    for (const char* folder : {"QuarnServer/bin", "Data/QuarnServer/bin"}) {
      fs::create_directories(root / folder);
      fs::copy_file(QUARNMP_LOADER_STANDIN, root / folder / "CMain.dll");
    }

    auto run = runProgram("/usr/bin/wine", {"Ostmarka.exe"}, wineOptions(bin));
    const std::string base = windowsPath(bin.parent_path());
    EXPECT_EQ(run.out, "Loading CMain from Path: '" + base + game.printedTail + "'\r\n" +
                           "CMain: " + windowsPath(root / game.cmain / "CMain.dll") + "\r\n"
                           "_BinkBufferBlit@12: 1007\r\n"
                           "_BinkCopyToBufferRect@44: 21005\r\n"
                           "_BinkGetError@0: 26000\r\n"
                           "_BinkOpen@8: 41003\r\n"
                           "_RADTimerRead@0: 66000\r\n");
    EXPECT_EQ(run.exitCode, 0) << run.err;
  }
}

}  // namespace
