// The program as a user meets it: started in a folder under a private X server, its windows
// found by title, looked at through screenshots, driven with xdotool.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <future>
#include <thread>

#include "app/image_texture.h"
#include "platform/resources.h"
#include "tests/support/nginx_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"
#include "tests/support/x11_window.h"
#include "formats/file_digest.h"

using formats::md5OfFile;

namespace {

using namespace std::chrono_literals;
using namespace testing_support;
namespace fs = std::filesystem;

// The window's size, and whether the samples below the controls (from y = 200) show one of the
// embedded pictures stretched over it, as the cross-fade goes.
std::string sizeAndPicture(const Screenshot& shot) {
  const std::string size = std::to_string(shot.width) + "x" + std::to_string(shot.height);
  for (const char* name : {"NA3E_RSC", "SE2E_RSC"}) {
    static std::map<std::string, DecodedImage> decoded;  // once: screenshots are checked every 50 ms
    DecodedImage& picture = decoded[name];
    if (picture.pixels.empty()) decodeImage(platform::loadRcdataResource(name), picture);
    int matching = 0, samples = 0;
    for (int y = 200; y < shot.height - 3; y += 7)
      for (int x = 3; x < shot.width - 3; x += 7, ++samples) {
        const size_t px = (x + 0.5) * picture.width / shot.width, py = (y + 0.5) * picture.height / shot.height;
        const unsigned char* expected = &picture.pixels[(py * picture.width + px) * 4];
        const auto [r, g, b] = shot.at(x, y);
        matching += std::max({std::abs(r - expected[0]), std::abs(g - expected[1]), std::abs(b - expected[2])}) <= 20;
      }
    if (samples > 0 && matching > 0.9 * samples) return size + " picture";
  }
  return size + " no picture";
}

// Polls the condition (a minute at most); the action runs before each second of looking, for
// clicks that a still running task may ignore.
bool eventually(const std::function<bool()>& condition, const std::function<void()>& action = [] {}) {
  for (const auto end = std::chrono::steady_clock::now() + 60s; std::chrono::steady_clock::now() < end;) {
    action();
    for (int look = 0; look < 20; ++look, std::this_thread::sleep_for(50ms))
      if (condition()) return true;
  }
  return condition();
}

// The program (or a command running it) in the folder with QUARNMP_MESSAGEBOX set so (only "stderr" means something);
// waits for it to end.
std::future<ProgramResult> start(const XvfbServer& server, const fs::path& folder, const std::string& messageBox = "",
                                 const std::vector<std::string>& command = {QUARNMP_UPDATER_EXE}) {
  auto environment = server.environment();
  environment["QUARNMP_MESSAGEBOX"] = messageBox;
  const ProgramOptions options{folder.string(), environment, 120s};
  return std::async(std::launch::async, [options, command] {
    return runProgram(command[0], {command.begin() + 1, command.end()}, options);
  });
}

// Screenshots of the window until one's description reads as expected (a minute at most); the
// last one is saved ("wine_" before the names of the Windows build's) and returned.
Screenshot expectToSee(XvfbServer& server, unsigned long window, const std::string& name,
                       const std::function<std::string(const Screenshot&)>& describe, const std::string& expected) {
  Screenshot shot;
  eventually([&] { return describe(shot = server.capture(window).value_or(Screenshot{})) == expected; });
  saveScreenshot(shot, (windowsPrograms ? "wine_" : "") + name);
  EXPECT_EQ(describe(shot), expected) << name;
  return shot;
}

TEST(ProgramWindow, WrongDirectoryBoxClosesOrGoesToStandardError) {
  XvfbServer server;
  ASSERT_TRUE(server.running());
  // The box for a folder without the game: its lines of text right of the icon and above the
  // button, closed by OK or Enter; when asked, written to standard error despite the display.
  // Wine draws the system's own box, dark text on grey: that one is only kept as a screenshot.
  const auto lines = [](const Screenshot& s) {
    return std::to_string(windowsPrograms ? (s.width > 0 ? 4 : 0) : brightBands(s, 56, s.width - 10, s.height - 50));
  };
  for (const std::string way : {"ok", "enter", "stderr"}) {
    SCOPED_TRACE(way);
    TempFolder emptyFolder;
    auto program = start(server, emptyFolder.path(), way);
    if (way != "stderr") {
      const unsigned long window = server.waitForWindow(std::regex("Wrong directory!"), 60s);
      ASSERT_NE(window, 0u);
      const Screenshot shot = expectToSee(server, window, "wrong_directory_" + way, lines, "4");
      const std::string id = std::to_string(window);
      // Press and release together, as a touchpad tap does. A key goes to whichever window has the focus
      // when the server takes it, which may not have settled yet: press again until the box has gone.
      if (way == "ok")
        server.xdotool({"mousemove", "--window", id, std::to_string(shot.width / 2), std::to_string(shot.height - 28),
                        "mousedown", "1", "mouseup", "1"});
      for (int tries = 0; way == "enter" && tries < 18 && program.wait_for(0s) != std::future_status::ready; ++tries) {
        server.xdotool({"windowfocus", "--sync", id});
        server.xdotool({"key", "Return"});
        program.wait_for(5s);
      }
    }
    ASSERT_EQ(program.wait_for(90s), std::future_status::ready);
    const ProgramResult result = program.get();
    const bool told = result.err.find("Wrong directory!: This executable has to be placed") != std::string::npos;
    EXPECT_EQ(std::pair(result.exitCode, told), std::pair(0, way == "stderr")) << result.err;
  }
}

// A new player's first run: nginx serves a published mod at the window's fixed address, and the
// player clicks at the layout's positions.
TEST(ProgramWindow, FirstRunInstallsAndStartsTheGame) {
  XvfbServer server;
  ASSERT_TRUE(server.running());
  TempFolder work;
  const std::string files[] = {"version.txt", "maps/Ridge Map.txt", "bin/quarnmp.dat"};
  for (const std::string& file : files) writeFile(work / "mod" / file, "content of " + file);
  writeFile(work / "plan.json", std::string(R"({"updater": ")") + QUARNMP_UPDATER_EXE + R"(", "sets": [
    {"name": "QuarnMP", "sourcepath": "files/quarnmp", "destinationpath": "QuarnServer", "url": "lists/quarnmp",
     "default": true, "folder": "mod"}]})");
  ASSERT_EQ(runProgram(QUARNMP_PUBLISH_EXE, {(work / "plan.json").string(), (work / "tree").string()}).exitCode, 0);
  NginxServer nginx(work / "tree", "", 45004);
  const fs::path installation = work / "installation";
  makeInstallation(installation, TestLayout::Rusk);
  // The stand-in game writes its command line, its arguments joined with spaces.
#ifdef QUARNMP_GAME_STANDIN
  fs::copy_file(QUARNMP_GAME_STANDIN, installation / "base/bin/Ostmarka.exe");
#else
  writeFile(installation / "base/bin/Ostmarka.exe", "#!/bin/sh\nprintf %s \"$*\" > args.txt\n");
  fs::permissions(installation / "base/bin/Ostmarka.exe", fs::perms::owner_all);
#endif
  writeFile(installation / "base/qar/lngdecfg0.qar", "");

  auto program = start(server, installation);
  const unsigned long window = server.waitForWindow(
      std::regex("QuarnMpUpdater - Version [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-5][0-9]"), 60s);
  ASSERT_NE(window, 0u) << "no window titled \"QuarnMpUpdater - Version <build date> <build time>\"";
  const auto click = [&, id = std::to_string(window)](int x, int y) {  // at a control's centre, in the window
    server.xdotool({"mousemove", "--window", id, std::to_string(x), std::to_string(y), "click", "1"});
  };
  // Clicks count from the first frame on: wait for the picture.
  expectToSee(server, window, "story_start", sizeAndPicture, "640x360 picture");

  click(80, 98);  // Fetch
  // Diff is greyed until the catalogue is there; the comparison writes the digest cache.
  const auto cache = [&] { return readFile(installation / "updater_filemeta.json"); };
  EXPECT_TRUE(eventually([&] { return cache() != "<missing>"; }, [&] { click(224, 98); })) << "no comparison ran";
  const auto installed = [&](const std::string& file) {
    return readFile(installation / "QuarnServer" / file) == "content of " + file &&
           cache().find(md5OfFile((work / "mod" / file).string())) != std::string::npos;
  };
  EXPECT_TRUE(eventually([&] { return std::ranges::all_of(files, installed); }, [&] { click(369, 98); }))
      << "not every file installed with its digest in the cache: " << cache();

  click(224, 118);  // Multiplayer: main game
  EXPECT_TRUE(eventually([&] { return readFile(installation / "args.txt") == "-language:de -multiplayer"; }))
      << readFile(installation / "args.txt");
  server.xdotool({"windowsize", std::to_string(window), "800", "500"});
  expectToSee(server, window, "story_resized", sizeAndPicture, "800x500 picture");

  server.requestClose(window);
  ASSERT_EQ(program.wait_for(120s), std::future_status::ready);
  EXPECT_EQ(program.get().exitCode, 0);
}

// A build with the mod team's key offers to replace itself: the outdated notice is a button, and after Yes the window
// puts the signed program in its own place and starts it there, with its arguments (the program: a stand-in that writes
// its version and command line into its working folder). A tampered program, a wrong digest and a program signed by
// another key are refused and the old one keeps running.
TEST(ProgramWindow, SignedWindowReplacesItselfOnlyWithTheSignedProgram) {
  XvfbServer server;
  ASSERT_TRUE(server.running());
  TempFolder work;
  const fs::path installation = work / "installation", tree = work / "tree";
  const std::string name = windowsPrograms ? "QuarnMpUpdater.exe" : "QuarnMpUpdater";
  makeInstallation(installation, TestLayout::Rusk);
  fs::copy_file(QUARNMP_SIGNED_UPDATER_EXE, installation / name);
  std::vector<std::string> command = {(installation / name).string(), "--first", "two words"};
#ifdef QUARNMP_UPDATER_STANDIN
  fs::copy_file(QUARNMP_UPDATER_STANDIN, work / name);
  command.insert(command.begin(), QUARNMP_WINE);
  const std::string arguments = R"( --first "two words")";  // its command line, after its own name
#else
  writeFile(work / name, "#!/bin/sh\nIFS='|'; printf '2.0.0 %s' \"$*\" > restarted.txt\n");
  const std::string arguments = " --first|two words";
#endif
  writeFile(work / "mod/a.txt", "a");
  writeFile(work / "plan.json", R"({"updater": ")" + name + R"(", "sets": [{"name": "M", "sourcepath": "files/m",
    "destinationpath": "QuarnServer", "url": "lists/m", "default": true, "folder": "mod"}]})");
  ASSERT_EQ(runProgram(QUARNMP_PUBLISH_EXE, {"--sign", QUARNMP_TEST_SECRET_KEY, (work / "plan.json").string(),
                                             tree.string()}).exitCode, 0);
  const std::string served = "QuarnMpUpdater/" + name, digest = "QuarnMpUpdater/index.html";
  const std::string oldDigest = md5OfFile((installation / name).string()), sig = readFile(tree / (digest + ".minisig"));
  const std::string stamp = sig.substr(sig.find("timestamp:"), sig.find("\tfile:") - sig.find("timestamp:"));
  std::map<fs::path, std::string> pristine;
  for (const std::string& file : {served, served + ".minisig", digest, digest + ".minisig"})
    pristine[tree / file] = readFile(tree / file);
  const auto sign = [&](const std::string& key, const std::string& file) {  // at the release's time
    ASSERT_EQ(runProgram(MINISIGN_EXE, {"-S", "-s", key, "-m", file, "-t", stamp + "\tfile:" + file},
                         {.workingDirectory = tree.string()}).exitCode, 0) << file;
  };
  const fs::path otherKey = work / "other.key";
  ASSERT_EQ(runProgram(MINISIGN_EXE, {"-G", "-W", "-p", (work / "other.pub").string(), "-s", otherKey.string()})
                .exitCode, 0);
  std::string tampered = pristine[tree / served];
  tampered[tampered.size() / 2] ^= 1;
  const std::pair<const char*, std::function<void()>> refusals[] = {
      {"tampered", [&] { writeFile(tree / served, tampered); }},
      {"wrong digest", [&] { writeFile(tree / digest, std::string(32, '0')); sign(QUARNMP_TEST_SECRET_KEY, digest); }},
      {"other key", [&] { sign(otherKey.string(), served); }}};
  NginxServer nginx(tree, "", 45004);

  auto program = start(server, installation, "", command);
  const unsigned long window = server.waitForWindow(std::regex("QuarnMpUpdater - Version .*"), 60s);
  ASSERT_NE(window, 0u);
  // The notice becomes a button once the digest has come, and is offered again once an update has ended.
  const std::regex question("QuarnMpUpdater");
  const auto asked = [&] {
    return eventually([&] { return server.waitForWindow(question, 1ms) != 0; }, [&] {
      server.xdotool({"mousemove", "--window", std::to_string(window), "270", "10", "click", "1"});
    });
  };
  // Enter answers Yes (the default button on Windows); a click first brings the box the keyboard.
  const auto answerYes = [&] {
    for (int tries = 0; tries < 18 && server.waitForWindow(question, 1ms) != 0; ++tries) {
      const std::string box = std::to_string(server.waitForWindow(question, 1ms));
      server.xdotool({"mousemove", "--window", box, "20", "10", "click", "1"});
      server.xdotool({"windowfocus", "--sync", box});
      server.xdotool({"key", "Return"});
      std::this_thread::sleep_for(1s);
    }
  };
  ASSERT_TRUE(asked()) << "no question box after a click on the outdated notice";
  const auto report = [&] { return readFile(installation / "restarted.txt"); };
  const auto restore = [&] { for (const auto& [file, bytes] : pristine) writeFile(file, bytes); };
  for (const auto& [row, tamper] : refusals) {
    tamper();
    answerYes();
    ASSERT_TRUE(asked()) << "the window did not offer the update again after the " << row << " round";
    EXPECT_EQ(md5OfFile((installation / name).string()) + report(), oldDigest + "<missing>") << row;
    restore();
  }
  answerYes();
  ASSERT_EQ(program.wait_for(90s), std::future_status::ready) << "the window did not give way to the new program";
  EXPECT_EQ(program.get().exitCode, 0);
  EXPECT_TRUE(eventually([&] { return report().starts_with("2.0.0 ") && report().ends_with(arguments); })) << report();
  // The old copy that a running Windows program leaves goes at the next start of a window program.
  EXPECT_EQ(fs::exists(installation / (name + ".old")), windowsPrograms) << "the old program was not renamed aside";
  fs::copy_file(QUARNMP_SIGNED_UPDATER_EXE, installation / name, fs::copy_options::overwrite_existing);
  auto again = start(server, installation, "", command);
  EXPECT_TRUE(eventually([&] { return !fs::exists(installation / (name + ".old")); }));
  server.requestClose(server.waitForWindow(std::regex("QuarnMpUpdater - Version .*"), 60s));
  EXPECT_EQ(again.get().exitCode, 0);
}

}  // namespace
