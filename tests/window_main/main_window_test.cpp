// The main window as a player meets it, without a display: each frame's input goes to Nuklear,
// drawFrame builds the frame, and the test reads the texts and rectangles back from the command
// list. The update server is a scripted one at the window's fixed address, serving a tree that
// quarnmp-publish made.
#include <gtest/gtest.h>

#include <condition_variable>
#include <thread>

#include "app/gui_session.h"
#include "game/game_state.h"
#include "game/install_layout.h"
#include "game/languages.h"
#include "game/launch.h"
#include "game/profiles.h"
#include "game/settings.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_folder.h"
#include "ui/draw_frame.h"
#include "ui/interface_state.h"
#include "ui/multiline_tooltip.h"
#include "ui/texts.h"
#include "update/tasks.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

struct Text {
  std::string text;
  struct nk_rect rect;
  nk_color colour;
};

// What the server does beyond serving the tree: answers by target, and a closed gate holds
// every request until it opens.
struct ServerScript {
  std::mutex mutex;
  std::map<std::string, std::string> bodies;  // by target; a missing one is served from the tree
  bool gateOpen = true;
  fs::path tree;
};
ServerScript script;

void serveTree(ScriptedConnection& connection) {
  const std::string request = connection.readRequest();
  const std::string target = request.substr(4, request.find(' ', 4) - 4);
  for (;;) {
    std::lock_guard lock(script.mutex);
    if (script.gateOpen) break;
    connection.pause(std::chrono::milliseconds(5));
  }
  std::lock_guard lock(script.mutex);
  auto found = script.bodies.find(target);
  std::string body = found != script.bodies.end() ? found->second : readFile(script.tree / target.substr(1));
  if (target == "/QuarnMpUpdater/" && found == script.bodies.end()) body = readFile(script.tree / "QuarnMpUpdater/index.html");
  connection.send(body == "<missing>" ? "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"
                                      : "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                            "\r\n\r\n" + body);
}

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    writeFile(work / "mod/a.txt", "alpha");
    writeFile(work / "mod/maps/b.txt", "bravo");
    writeFile(work / "updater", "not this program");
    writeFile(work / "plan.json", R"({"updater": "updater", "sets": [{"name": "Main", "sourcepath": "files/main",
      "destinationpath": "QuarnServer", "url": "lists/main", "default": true, "folder": "mod"}]})");
    ASSERT_EQ(runProgram(QUARNMP_PUBLISH_EXE, {(work / "plan.json").string(), (work / "tree").string()}).exitCode, 0);
    script.tree = work / "tree";
    server = std::make_unique<ScriptedServer>(serveTree, 45004);
  }
  static void TearDownTestSuite() { server.reset(); }

  void SetUp() override {
    makeInstallation(root.path(), TestLayout::Rusk);
    fs::current_path(root.path());
    ::setenv("HOME", (root / "home").c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    resetGameState();
    resetInterfaceState();
    resetUpdaterState();
    installLayout = InstallLayout::RuskEdition;
    loadSettings();
    nk_font_atlas_end(&atlas, nk_handle_id(0), nullptr);
    nk_init_default(&ctx, &font.font->handle);
    frame();
  }
  void TearDown() override {
    {
      std::lock_guard lock(script.mutex);
      script.gateOpen = true;
      script.bodies.clear();
    }
    resetUpdaterState();
    nk_free(&ctx);
    nk_font_atlas_clear(&atlas);
    fs::current_path(previous);
  }

  // One frame with the mouse at (x, y); keeps its texts, filled rectangles and image colours.
  void frame(bool down = false) {
    nk_input_begin(&ctx);
    nk_input_motion(&ctx, mouseX, mouseY);
    nk_input_button(&ctx, NK_BUTTON_LEFT, mouseX, mouseY, down);
    nk_input_end(&ctx);
    drawFrame(AppMedia{}, &ctx, 640, 360);
    texts.clear();
    fills.clear();
    images.clear();
    const nk_command* command;
    nk_foreach(command, &ctx) {
      if (command->type == NK_COMMAND_TEXT) {
        auto t = reinterpret_cast<const nk_command_text*>(command);
        texts.push_back({std::string(t->string, static_cast<size_t>(t->length)), nk_rect(t->x, t->y, t->w, t->h),
                         t->foreground});
      } else if (command->type == NK_COMMAND_RECT_FILLED) {
        auto r = reinterpret_cast<const nk_command_rect_filled*>(command);
        fills.push_back(nk_rect(r->x, r->y, r->w, r->h));
      } else if (command->type == NK_COMMAND_IMAGE) {
        images.push_back(reinterpret_cast<const nk_command_image*>(command)->col);
      }
    }
    nk_clear(&ctx);
  }

  // The nth text of the frame that reads exactly so; fails the test when there is none.
  Text find(const std::string& text, int nth = 0) {
    for (const Text& t : texts) {
      if (t.text == text && nth-- == 0) return t;
    }
    ADD_FAILURE() << "no text \"" << text << "\"";
    return {};
  }
  bool shows(const std::string& text) {
    return std::any_of(texts.begin(), texts.end(), [&](const Text& t) { return t.text == text; });
  }
  void hover(const std::string& text, int nth = 0) {
    const Text t = find(text, nth);
    mouseX = static_cast<int>(t.rect.x + t.rect.w / 2);
    mouseY = static_cast<int>(t.rect.y + t.rect.h / 2);
    frame();
  }
  // Over the text, press, release.
  void click(const std::string& text, int nth = 0) {
    hover(text, nth);
    frame(true);
    frame();
  }
  // Frames until the condition holds (a minute at most, for a loaded machine).
  template <typename Condition>
  void framesUntil(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!condition() && std::chrono::steady_clock::now() < deadline) {
      frame();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(condition());
  }
  void runTask(const std::string& button) {
    click(button);
    framesUntil([] { return !isTaskRunning(); });
    frame();  // the frame that collected the result still had the progress row
  }
  static void setGate(bool open) {
    std::lock_guard lock(script.mutex);
    script.gateOpen = open;
  }
  static void setBody(const std::string& target, const std::string& body) {
    std::lock_guard lock(script.mutex);
    script.bodies[target] = body;
  }

  static inline TempFolder work;
  static inline std::unique_ptr<ScriptedServer> server;
  TempFolder root;
  fs::path previous = fs::current_path();
  nk_font_atlas atlas{};
  BakedFont font = bakeDefaultFont(atlas);
  nk_context ctx{};
  int mouseX = 600, mouseY = 350;
  std::vector<Text> texts;
  std::vector<struct nk_rect> fills;
  std::vector<nk_color> images;
};

TEST_F(MainWindowTest, LanguageAndCheckboxesAreSavedAtOnceAndTheFourthRescansTheProfiles) {
  EXPECT_TRUE(shows("Edition: RE") && shows("Abrufen") && shows("Konsole oeffnen") && shows("(default)"));
  click("German");
  click("English");
  EXPECT_TRUE(shows("Fetch") && shows("show console") && shows("Main Game") && shows("Velmarch"));
  EXPECT_NE(readFile(settingsFileName).find("\"language\":\"en\""), std::string::npos);
  click("English");
  click("French");
  EXPECT_TRUE(shows("Fetch")) << "every language but German shows English";
  EXPECT_NE(readFile(settingsFileName).find("\"language\":\"fr\""), std::string::npos);

  writeFile(root / "QuarnServer/__QuarnData/Profiles/Local One.ini", "");
  const std::pair<const char*, const char*> boxes[] = {{"use luadebugger", "\"luadebugger\":true"},
                                                       {"show console", "\"console\":true"},
                                                       {"clip cursor", "\"clip_cursor\":true"},
                                                       {"don't use documents folder", "\"use_local_profile\":true"}};
  for (const auto& [label, stored] : boxes) {
    SCOPED_TRACE(label);
    EXPECT_EQ(readFile(settingsFileName).find(stored), std::string::npos);
    click(label);
    EXPECT_NE(readFile(settingsFileName).find(stored), std::string::npos) << readFile(settingsFileName);
  }
  frame();
  click("(default)");
  click("Local One");
  EXPECT_EQ(profileList.selectedProfileIndex, 1);
  click("don't use documents folder");
  frame();
  EXPECT_EQ(profileList.selectedProfileIndex, 0) << "the other folder's search resets the choice";
  EXPECT_FALSE(shows("Local One"));
  EXPECT_TRUE(shows("(default)"));
}

TEST_F(MainWindowTest, FetchDiffUpdateEnableInTurnShowProgressStatusAndDifferingPaths) {
  // Nothing to compare or install yet: Diff and Update are greyed and start nothing.
  const auto colour = [&](const char* text) {
    const nk_color c = find(text).colour;
    return std::vector<int>{c.r, c.g, c.b, c.a};
  };
  const auto enabled = colour("Abrufen"), greyed = colour("Zeige Aenderungen");
  EXPECT_NE(enabled, greyed);
  EXPECT_EQ(colour("Aktualisieren"), greyed);
  for (const char* disabled : {"Zeige Aenderungen", "Aktualisieren"}) {
    click(disabled);
    EXPECT_FALSE(isTaskRunning()) << disabled;
  }
  const float launchRowY = find("Multiplayer:").rect.y;
  const size_t requests = server->receivedRequests().size();
  setGate(false);
  click("Abrufen");
  ASSERT_TRUE(isTaskRunning());
  EXPECT_FLOAT_EQ(find("Multiplayer:").rect.y, launchRowY + 20) << "no progress row";
  EXPECT_EQ(colour("Abrufen"), greyed);
  for (const char* busy : {"Abrufen", "Zeige Aenderungen", "Aktualisieren"}) click(busy);
  setGate(true);
  framesUntil([] { return !isTaskRunning(); });
  // The digest, the catalogue, the file list; the warning comes with the digest.
  framesUntil([&] { return shows("Updater veraltet. Bitte Updater manuell updaten."); });
  EXPECT_EQ(server->receivedRequests().size(), requests + 3) << "a disabled button started a task";

  runTask("Zeige Aenderungen");
  EXPECT_TRUE(shows("Dateien unterschiedlich! Bitte updaten."));
  EXPECT_TRUE(shows("QuarnServer/a.txt") && shows("QuarnServer/maps/b.txt"));
  const Text status = find("Dateien unterschiedlich! Bitte updaten.");
  EXPECT_TRUE(std::any_of(fills.begin(), fills.end(), [&](const struct nk_rect& r) {
    return r.x == 0 && r.y == 168 && r.w == 450 && r.h == 20;
  })) << "no strip under the status line at " << status.rect.y;

  runTask("Aktualisieren");
  EXPECT_EQ(readFile(root / "QuarnServer/maps/b.txt"), "bravo");
  EXPECT_TRUE(shows("Dateien sind up to date. Kein Update notwendig."));
  EXPECT_FALSE(shows("QuarnServer/a.txt"));

  // An empty digest makes no verdict: the warning goes.
  setBody("/QuarnMpUpdater/", "");
  runTask("Abrufen");
  framesUntil([&] { return !shows("Updater veraltet. Bitte Updater manuell updaten."); });
}

TEST_F(MainWindowTest, AFailedFetchShowsItsErrorWithTheReasonAsTooltipUntilTheNextStart) {
  setBody("/json", "not compressed");
  runTask("Abrufen");
  hover("Es ist ein Fehler beim Abrufen aufgetreten!");
  frame();
  const Text reason = texts.back();
  EXPECT_GT(reason.rect.y, static_cast<float>(mouseY)) << "no reason shown: " << reason.text;
  EXPECT_NE(reason.text, "Es ist ein Fehler beim Abrufen aufgetreten!");
  setGate(false);
  click("Abrufen");
  EXPECT_FALSE(shows("Es ist ein Fehler beim Abrufen aufgetreten!"));
}

TEST_F(MainWindowTest, TooltipsSplitAtCrLfAndTheBackgroundFadesOnSchedule) {
  hover("Konsole oeffnen");
  const std::vector<std::string> lines = {"Wenn aktiv, wird beim", "Spielstart eine Konsole",
                                          "geoeffnet welche Debug- ", "Informationen anzeigen kann."};
  ASSERT_GE(texts.size(), lines.size());
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(texts[texts.size() - lines.size() + i].text, lines[i]);
  EXPECT_GE(texts.back().rect.x, static_cast<float>(mouseX + 30)) << "the tooltip covers the pointer";

  const std::pair<const char*, std::vector<std::string>> splits[] = {
      {"one", {"one"}}, {"a\r\nb\r\n", {"a", "b", ""}}, {"\r\n\r\n", {"", "", ""}}, {"a\nb\r", {"a\nb\r"}}};
  for (const auto& [text, parts] : splits) EXPECT_EQ(splitString(text, "\r\n"), parts) << text;

  ASSERT_FALSE(images.empty());
  EXPECT_EQ(images.front().a, 255) << "background1 starts opaque";
  using std::chrono::milliseconds;
  BackgroundFade fade;
  const auto start = std::chrono::steady_clock::now();
  // (ms since the last step, alpha after it): 5 s opaque, 2 s fading out, 5 s out, fading in.
  const std::pair<int, int> steps[] = {{0, 255},  {4999, 255}, {5000, 255}, {1000, 128}, {1999, 1},
                                       {2000, 0}, {4999, 0},   {5000, 0},   {500, 63},   {2000, 255}};
  auto now = start;
  for (const auto& [after, alpha] : steps) {
    now = (after == 0 ? start : fade.startTime.value_or(start)) + milliseconds(after);
    advanceFade(fade, now);
    EXPECT_EQ(fade.alpha, alpha) << after;
  }
}

// The stand-in game (and Wine) write their name and arguments, one launch a line.
const char* const recorder = "#!/bin/sh\n{ basename \"$0\" | tr -d '\\n'; for a in \"$@\"; do printf '[%s]' \"$a\"; done; echo; }"
                             " >> launches.txt\n";

void writeProgram(const fs::path& path, const std::string& content) {
  writeFile(path, content);
  fs::permissions(path, fs::perms::owner_all);
}

TEST_F(MainWindowTest, LaunchButtonsStartTheGameWithTheSwitchesInOrderOrShowTheMissingLanguage) {
  const std::string longName(400, 'p');
  const struct {
    const char* name;
    InstallLayout layout;
    const char* language;
    bool options;          // all four checkboxes on
    std::string profile;   // chosen profile, "" for "(default)"
    LaunchKind kind;
    int row;               // 0 "Multiplayer:", 1 "Singleplayer:"
    std::string expected;  // the recorded line; "" for no start
  } cases[] = {
      {"multiplayer main game", InstallLayout::RuskEdition, "de", false, "", LaunchKind::MainGame, 0,
       "Ostmarka.exe[-language:de][-multiplayer]"},
      {"singleplayer expansion", InstallLayout::RuskEdition, "de", false, "", LaunchKind::Expansion, 1,
       "Ostmarka.exe[-language:de][-extra1]"},
      {"everything", InstallLayout::RuskEdition, "de", true, "My Profile", LaunchKind::Expansion, 0,
       "Ostmarka.exe[-language:de][-profile:My Profile][-luadebugger][-console][-clipcursor]"
       "[-uselocalsettingsfolder][-multiplayer][-extra1]"},
      {"long profile name", InstallLayout::RuskEdition, "de", false, longName, LaunchKind::MainGame, 1,
       "Ostmarka.exe[-language:de][-profile:" + longName + "]"},
      {"missing language", InstallLayout::RuskEdition, "en", false, "", LaunchKind::MainGame, 0, ""},
      {"tovan checks no archive", InstallLayout::TovanEdition, "en", false, "", LaunchKind::MainGame, 0,
       "Ostmarka.exe[-language:en][-multiplayer]"},
      {"windows program", InstallLayout::RuskEdition, "de", false, "", LaunchKind::MainGame, 0,
       "wine[./base/bin/Ostmarka.exe][-language:de][-multiplayer]"},
  };
  writeProgram(root / "base/bin/Ostmarka.exe", recorder);
  writeProgram(root / "Data/base/bin/Ostmarka.exe", recorder);
  writeProgram(root / "fakebin/wine", recorder);
  writeFile(root / "base/qar/lngdecfg0.qar", "");
  const std::string path = std::getenv("PATH");
  size_t started = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    installLayout = c.layout;
    settings.language = c.language;
    UiLanguageIndex = languageIndexOf(c.language).value();
    settings.luadebugger = settings.console = settings.clip_cursor = settings.use_local_profile = c.options;
    profileList.profileNames = {"(default)", c.profile};
    profileList.profileNameViews = {profileList.profileNames[0].c_str(), profileList.profileNames[1].c_str()};
    profileList.profileCount = 2;
    profileList.selectedProfileIndex = c.profile.empty() ? 0 : 1;
    const bool windows = c.expected.starts_with("wine");
    if (windows) {
      writeFile(root / "base/bin/Ostmarka.exe", "MZ a Windows program");
      ::setenv("PATH", ((root / "fakebin").string() + ":" + path).c_str(), 1);
    }
    frame();
    testing::internal::CaptureStderr();
    click(uiText(c.kind == LaunchKind::MainGame ? TextId::labelMainGame : TextId::labelExpansion), c.row);
    const std::string box = testing::internal::GetCapturedStderr();
    ::setenv("PATH", path.c_str(), 1);
    if (c.expected.empty()) {
      EXPECT_EQ(box, "Error!: The selected language is not available in your game installation.\n");
      continue;
    }
    EXPECT_EQ(box, "");
    ++started;
    std::vector<std::string> lines;
    for (auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
         lines.size() < started && std::chrono::steady_clock::now() < deadline;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      lines = splitString(readFile("launches.txt"), "\n");
      lines.pop_back();
    }
    ASSERT_EQ(lines.size(), started);
    EXPECT_EQ(lines.back(), c.expected);
  }
}

TEST_F(MainWindowTest, TheLoaderButtonOffersTheInstallation) {
  EXPECT_TRUE(shows("Install Hook"));
  EXPECT_FALSE(shows("Hook installed!"));
}

}  // namespace
