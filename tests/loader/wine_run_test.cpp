// The loader library in a 32-bit process under Wine, in game folders of each layout: its tables
// as the system's loader maps them, the line it prints, the CMain.dll it loads, and calls that
// reach the stand-in game library's function of the same ordinal.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <tuple>

#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

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

ProgramResult runWine(const std::string& program, const std::vector<std::string>& arguments, const fs::path& folder) {
  return runProgram(program, arguments,
                    {.workingDirectory = folder.string(),
                     .environment = {{"WINEPREFIX", winePrefix.string()}, {"WINEARCH", "win32"}, {"WINEDEBUG", "-all"},
                                     {"WINEDLLOVERRIDES", "mscoree,mshtml="}, {"DISPLAY", std::nullopt}},
                     .timeout = std::chrono::seconds(120)});
}

std::string windowsPath(const fs::path& path) {
  return std::regex_replace("Z:" + path.string(), std::regex("/"), "\\");
}

// One prefix for every run, made on first use; its wineserver is stopped at the end.
TEST(UnderWine, TablesLineCMainAndCallsInEachLayout) {
  if (!fs::exists(winePrefix / "system.reg")) runWine("/usr/bin/wineboot", {"--init"}, QUARNMP_BUILD_DIR);
  std::string tables = "exports: 66\r\n", name;
  std::istringstream names(gameExports);
  for (int ordinal = 1; names >> name; ++ordinal)  // each reaches its own ordinal
    tables += std::to_string(ordinal) + " " + name + " " + std::to_string(ordinal) + "\r\n";
  const std::string imports = "imports: KERNEL32.dll binkw32_orig.dll";
  tables += imports + "\r\n";

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
    auto run = runWine("/usr/bin/wine", {"Ostmarka.exe"}, bin);
    // The linker orders the imports by the libraries' paths, which depend on the build folder.
    const auto linked = run.out.find("imports: binkw32_orig.dll KERNEL32.dll");
    if (linked != std::string::npos) run.out.replace(linked, imports.size(), imports);
    EXPECT_EQ(run.out + "exit " + std::to_string(run.exitCode),
              "Loading CMain from Path: '" + windowsPath(bin.parent_path()) + printedTail +
                  "\\bin\\CMain.dll'\r\n" + tables + "CMain: " + windowsPath(root / cmain) +
                  "\\bin\\CMain.dll\r\n66000 21005\r\nexit 0")
        << run.err;
  }
  runWine("/usr/bin/wineserver", {"-k"}, QUARNMP_BUILD_DIR);
}

}  // namespace
