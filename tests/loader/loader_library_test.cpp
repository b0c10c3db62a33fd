// The loader library installed into game folders (message boxes on standard error: QUARNMP_MESSAGEBOX=stderr)
// and in a 32-bit game under Wine, in each layout: its tables as the system's loader maps them, the line it
// prints, the CMain.dll it loads, and calls that reach the stand-in game library's function of the same ordinal.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "game/install_layout.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"
#include "update/loader_library.h"

namespace fs = std::filesystem;
using namespace testing_support;

static std::string embeddedLoader() {
  auto bytes = update::loadEmbeddedLoaderLibrary();
  return std::string(bytes.begin(), bytes.end());
}

// Marks standing in for contents: the embedded loader, and an older one (which imports from the kept library).
static std::string swapMark(const std::string& content) {
  const std::pair<std::string, std::string> marks[] = {{"<loader>", embeddedLoader()},
                                                       {"<old loader>", "MZ, imports from BINKW32_ORIG.DLL"}};
  for (const auto& [mark, bytes] : marks)
    if (content == mark || content == bytes) return content == mark ? bytes : mark;  // both ways
  return content;
}

const std::string installed = "installed|binkw32.dll=<loader>|binkw32_orig.dll=GAME|";
const std::string noOriginal = "Error: The game's original video library binkw32_orig.dll is missing. "
                               "Restore the game's own binkw32.dll, then install the hook again.\n";
// Name, the folder before ("<file>=<content>|" each, <folder> a folder), whether writing fails, outcome (a failure
// with the system's reason below the message).
const std::tuple<const char*, std::string, bool, std::string> installCases[] = {
    {"fresh", "binkw32.dll=GAME|", false, installed},
    {"older loader", "binkw32.dll=<old loader>|binkw32_orig.dll=GAME|", false, installed},
    {"loader gone", "binkw32_orig.dll=GAME|", false, installed},
    {"loader without original", "binkw32.dll=<loader>|", false, "refused|binkw32.dll=<loader>|" + noOriginal},
    {"loader with an empty original", "binkw32.dll=<loader>|binkw32_orig.dll=|", false,
     "refused|binkw32.dll=<loader>|binkw32_orig.dll=|" + noOriginal},
    {"a game patch restored its library", "binkw32.dll=NEW|binkw32_orig.dll=GAME|binkw32_orig.dll.bak1=OLDER|", false,
     "installed|binkw32.dll=<loader>|binkw32_orig.dll=NEW|binkw32_orig.dll.bak1=OLDER|binkw32_orig.dll.bak2=GAME|"},
    {"a folder as the original", "binkw32.dll=GAME|binkw32_orig.dll=<folder>|", false,
     installed + "binkw32_orig.dll.bak1=<folder>|"},
    {"nothing to move", "", false, "refused|Error: Failed to rename file!\r\nNo such file or directory\n"},
    {"write fails after the moves", "binkw32.dll=GAME|binkw32_orig.dll=<folder>|", true,
     "refused|binkw32.dll=GAME|binkw32_orig.dll=<folder>|Error: Failed to write file!\r\nFile too large\n"},
    {"write fails over an older loader", "binkw32.dll=<old loader>|binkw32_orig.dll=GAME|", true,
     "refused|binkw32.dll=<old loader>|binkw32_orig.dll=GAME|Error: Failed to write file!\r\nFile too large\n"},
};

// Each case's outcome: "installed|" or "refused|", "<file>=<content>|" for the folder's files in
// name order, a mark when the button after the press disagrees, and the message.
TEST(LoaderLibrary, InstallCasesInBothLayouts) {
  EXPECT_EQ(embeddedLoader(), readFile(QUARNMP_LOADER_DLL)) << "the embedded loader is not the built library";
  signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};  // a write that fails even for root: no file may grow to the loader's size
  getrlimit(RLIMIT_FSIZE, &saved);
  for (auto [layout, folder] : {std::pair{game::InstallLayout::RuskEdition, "base/bin"},
                                std::pair{game::InstallLayout::TovanEdition, "Data/base/bin"}}) {
    WorkingFolder root;
    game::installLayout = layout;
    const fs::path bin = root / folder;
    for (const auto& [name, before, writeFails, expected] : installCases) {
      fs::remove_all(bin);
      fs::create_directories(bin);
      for (std::size_t at = 0, end; (end = before.find('|', at)) != std::string::npos; at = end + 1) {
        const std::size_t equals = before.find('=', at);
        const std::string file = before.substr(at, equals - at), content = before.substr(equals + 1, end - equals - 1);
        content == "<folder>" ? (void)fs::create_directory(bin / file) : writeFile(bin / file, swapMark(content));
      }
      update::loaderCheckPending = update::loaderMatches = false;
      const rlimit limited{writeFails ? embeddedLoader().size() / 2 : saved.rlim_cur, saved.rlim_max};
      ::testing::internal::CaptureStderr();
      setrlimit(RLIMIT_FSIZE, &limited);
      const bool installed = update::installLoaderLibrary();
      setrlimit(RLIMIT_FSIZE, &saved);
      std::string after = installed ? "installed|" : "refused|";
      for (const fs::path& file : std::set<fs::path>(fs::directory_iterator(bin), {})) {
        const std::string content = fs::is_directory(file) ? "<folder>" : swapMark(readFile(file));
        after += file.filename().string() + "=" + content + "|";
      }
      update::refreshLoaderCheck();
      if (update::loaderInstalled() != installed) after += "the button disagrees|";
      EXPECT_EQ(after + ::testing::internal::GetCapturedStderr(), expected) << folder << ": " << name;
    }
    for (const std::string& content : {std::string(), embeddedLoader() + "x", embeddedLoader().substr(1)}) {
      writeFile(bin / "binkw32.dll", content);
      EXPECT_FALSE(update::installedLoaderMatches()) << content.size() << " bytes never match";
    }
  }
}

// The game's video library's exports, in ordinal order from 1.
const char* const gameExports =
    "_BinkBufferBlit@12 _BinkBufferCheckWinPos@12 _BinkBufferClear@8 _BinkBufferClose@4 _BinkBufferGetDescription@4 "
    "_BinkBufferGetError@0 _BinkBufferLock@4 _BinkBufferOpen@16 _BinkBufferSetDirectDraw@8 _BinkBufferSetHWND@8 "
    "_BinkBufferSetOffset@12 _BinkBufferSetResolution@12 _BinkBufferSetScale@12 _BinkBufferUnlock@4 "
    "_BinkCheckCursor@20 _BinkClose@4 _BinkCloseTrack@4 _BinkControlBackgroundIO@8 _BinkControlPlatformFeatures@8 "
    "_BinkCopyToBuffer@28 _BinkCopyToBufferRect@44 _BinkDDSurfaceType@4 _BinkDX8SurfaceType@4 _BinkDX9SurfaceType@4 "
    "_BinkDoFrame@4 _BinkGetError@0 _BinkGetFrameBuffersInfo@8 _BinkGetKeyFrame@12 _BinkGetPalette@4 "
    "_BinkGetRealtime@12 _BinkGetRects@8 _BinkGetSummary@8 _BinkGetTrackData@8 _BinkGetTrackID@8 "
    "_BinkGetTrackMaxSize@8 _BinkGetTrackType@8 _BinkGoto@12 _BinkIsSoftwareCursor@8 _BinkLogoAddress@0 "
    "_BinkNextFrame@4 _BinkOpen@8 _BinkOpenDirectSound@4 _BinkOpenMiles@4 _BinkOpenTrack@8 _BinkOpenWaveOut@4 "
    "_BinkPause@8 _BinkRegisterFrameBuffers@8 _BinkRestoreCursor@4 _BinkService@4 _BinkSetError@4 _BinkSetFrameRate@8 "
    "_BinkSetIO@4 _BinkSetIOSize@4 _BinkSetMemory@8 _BinkSetMixBinVolumes@20 _BinkSetMixBins@16 _BinkSetPan@12 "
    "_BinkSetSimulate@4 _BinkSetSoundOnOff@8 _BinkSetSoundSystem@8 _BinkSetSoundTrack@8 _BinkSetVideoOnOff@8 "
    "_BinkSetVolume@12 _BinkShouldSkip@4 _BinkWait@4 _RADTimerRead@0";

const fs::path winePrefix = fs::path(QUARNMP_BUILD_DIR) / "wine-prefix";

static ProgramResult runWine(const std::string& program, const std::vector<std::string>& args, const fs::path& folder) {
  return runProgram(program, args,
                    {.workingDirectory = folder.string(),
                     .environment = {{"WINEPREFIX", winePrefix.string()}, {"WINEARCH", "win32"}, {"WINEDEBUG", "-all"},
                                     {"WINEDLLOVERRIDES", "mscoree,mshtml="}, {"DISPLAY", std::nullopt}},
                     .timeout = std::chrono::seconds(120)});
}

static std::string windowsPath(const fs::path& path) {
  return std::regex_replace("Z:" + path.string(), std::regex("/"), "\\");
}

TEST(UnderWine, TablesLineCMainAndCallsInEachLayout) {
  if (!fs::exists(winePrefix / "system.reg")) runWine("/usr/bin/wineboot", {"--init"}, QUARNMP_BUILD_DIR);
  std::string tables = "exports: 66\r\n", name;
  std::istringstream names(gameExports);
  for (int ordinal = 1; names >> name; ++ordinal)  // each reaches its own ordinal
    tables += std::to_string(ordinal) + " " + name + " " + std::to_string(ordinal) + "\r\n";
  tables += "imports: KERNEL32.dll binkw32_orig.dll\r\n";

  // The game's folders below the root (the program's first), the printed path after "base" and
  // the folder the loaded CMain.dll comes from.
  const std::tuple<std::vector<std::string>, std::string, std::string> games[] = {
      {{"base/bin", "extra1"}, "\\..\\QuarnServer", "QuarnServer"},
      {{"Data/base/bin", "DataOP"}, "\\..\\..\\QuarnServer", "QuarnServer"},
      {{"Data/base/bin"}, "\\..\\QuarnServer", "Data/QuarnServer"}};
  for (const auto& [folders, printedTail, cmain] : games) {
    TempFolder root;
    const fs::path bin = root / folders[0];
    for (const auto& folder : folders) fs::create_directories(root / folder);
    fs::copy_file(QUARNMP_LOADER_PROBE, bin / "Ostmarka.exe");
    fs::copy_file(QUARNMP_LOADER_DLL, bin / "binkw32.dll");
    fs::copy_file(QUARNMP_LOADER_STANDIN, bin / "binkw32_orig.dll");
    for (const char* folder : {"QuarnServer/bin", "Data/QuarnServer/bin"})  // the right one and the other layout's
      writeFile(root / folder / "CMain.dll", readFile(QUARNMP_LOADER_STANDIN));
    const auto run = runWine("/usr/bin/wine", {"Ostmarka.exe"}, bin);
    // The linker orders the imports by the libraries' paths, which depend on the build folder.
    const auto out = std::regex_replace(run.out, std::regex("(binkw32_orig.dll) (KERNEL32.dll)"), "$2 $1");
    EXPECT_EQ(out + "exit " + std::to_string(run.exitCode),
              "Loading CMain from Path: '" + windowsPath(bin.parent_path()) + printedTail + "\\bin\\CMain.dll'\r\n" +
                  tables + "CMain: " + windowsPath(root / cmain) + "\\bin\\CMain.dll\r\n66000 21005\r\nexit 0")
        << run.err;
  }
  runWine("/usr/bin/wineserver", {"-k"}, QUARNMP_BUILD_DIR);
}
