// The main window and the widget-disable pair headless: frames of a Nuklear context read back from its command
// list, the window's update server scripted at its fixed address, serving a tree that quarnmp-publish made.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <functional>
#include <thread>
#include <sys/resource.h>
#include <unistd.h>

#include "app/gui_session.h"
#include "game/game_state.h"
#include "game/install_layout.h"
#include "game/launch.h"
#include "game/profiles.h"
#include "game/settings.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_folder.h"
#include "ui/draw_frame.h"
#include "ui/interface_state.h"
#include "ui/multiline_tooltip.h"
#include "ui/questions.h"
#include "ui/texts.h"
#include "ui/widget_disable.h"
#include "update/tasks.h"

using namespace std::chrono_literals;
using namespace testing_support;
using testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

struct Drawn {
  std::string text;  // empty for a filled rectangle
  int x, y, width, height;
  nk_color colour;
};

class HeadlessNuklear : public ::testing::Test {
 protected:
  HeadlessNuklear() {
    nk_font_atlas_end(&atlas, nk_handle_id(0), nullptr);
    nk_init_default(&ctx, &font.font->handle);
  }
  ~HeadlessNuklear() override {
    nk_free(&ctx);
    nk_font_atlas_clear(&atlas);
  }

  void frame(bool down = false) {
    nk_input_begin(&ctx);
    nk_input_motion(&ctx, mouseX, mouseY);
    nk_input_button(&ctx, NK_BUTTON_LEFT, mouseX, mouseY, down);
    nk_input_end(&ctx);
    build();
    texts.clear();
    fills.clear();
    const nk_command* c;
    nk_foreach(c, &ctx) {
      if (auto t = reinterpret_cast<const nk_command_text*>(c); c->type == NK_COMMAND_TEXT)
        texts.push_back({std::string(t->string, t->length), t->x, t->y, t->w, t->h, t->foreground});
      if (auto r = reinterpret_cast<const nk_command_rect_filled*>(c); c->type == NK_COMMAND_RECT_FILLED)
        fills.push_back({"", r->x, r->y, r->w, r->h, r->color});
      if (c->type == NK_COMMAND_IMAGE) imageAlpha = reinterpret_cast<const nk_command_image*>(c)->col.a;
    }
    nk_clear(&ctx);
  }
  Drawn find(const std::string& text, int nth = 0) {
    for (const Drawn& t : texts)
      if (t.text == text && nth-- == 0) return t;
    ADD_FAILURE() << "no text \"" << text << "\"";
    return {};
  }
  bool shows(const std::string& text) { return std::ranges::count(texts, text, &Drawn::text) > 0; }
  void hover(const std::string& text, int nth = 0) {
    const Drawn t = find(text, nth);
    std::tie(mouseX, mouseY) = std::pair(t.x + 3, t.y + 3);
    frame();
  }
  void click(const std::string& text, int nth = 0) {
    hover(text, nth);
    frame(true);
    frame();
  }

  std::function<void()> build;
  nk_font_atlas atlas{};
  BakedFont font = bakeDefaultFont(atlas);
  nk_context ctx{};
  int mouseX = 600, mouseY = 350, imageAlpha = -1;
  std::vector<Drawn> texts, fills;
};

TEST_F(HeadlessNuklear, WidgetDisablePairsNest) {
  const nk_style before = ctx.style;
  const char* items[] = {"one", "two", "three"};
  std::string seen;
  bool comboInsidePair = false;
  nk_flags readOnlyAfterPair = 0;
  build = [&] {
    if (nk_begin(&ctx, "Panel", nk_rect(0, 0, 400, 300), NK_WINDOW_NO_SCROLLBAR)) {
      nk_layout_row_static(&ctx, 30, 100, 3);
      nk_widget_disable_begin(&ctx);
      nk_widget_disable_begin(&ctx);
      nk_widget_disable_end(&ctx);
      if (nk_button_label(&ctx, "One")) seen += "One";
      nk_widget_disable_begin(&ctx);
      nk_widget_disable_end(&ctx);
      if (nk_button_label(&ctx, "Two")) seen += "Two";
      nk_widget_disable_end(&ctx);
      if (nk_button_label(&ctx, "Three")) seen += "Three";
      if (comboInsidePair) nk_widget_disable_begin(&ctx);
      nk_combo(&ctx, items, 3, 0, 24, nk_vec2(150, 200));
      if (!comboInsidePair) nk_widget_disable_begin(&ctx);
      nk_button_label(&ctx, "Caption");
      nk_widget_disable_end(&ctx);
      readOnlyAfterPair = ctx.current->layout->flags & NK_WINDOW_ROM;
    }
    nk_end(&ctx);
  };
  frame();
  // The fills after the window's background (buttons, drop-down, caption): the first one's darker grey, or as before.
  const nk_color normal = before.button.normal.data.color;
  for (size_t i = 1; i < fills.size(); ++i) {
    const nk_color c = fills[i].colour;
    const bool grey = c.r == c.g && c.g == c.b && c.r < normal.r && c.a == normal.a && c.r == fills[1].colour.r;
    seen += grey ? "grey " : nk_color_u32(c) == nk_color_u32(normal) ? "normal " : "other ";
  }
  for (const char* button : {"One", "Two", "Three"}) click(button);
  // Plain colours, style items and nested styles alike: the style is back byte for byte.
  seen += std::memcmp(&ctx.style, &before, sizeof before) == 0 ? "|restored" : "|changed";
  EXPECT_EQ(seen, "grey grey normal other other grey Three|restored") << "only the button after the pairs takes clicks";
  click("one");
  EXPECT_NE(readOnlyAfterPair, 0u) << "a pair after the open drop-down lifted its read-only mode";
  comboInsidePair = true;
  frame();
  EXPECT_NE(readOnlyAfterPair, 0u) << "a pair around the open drop-down lifted its read-only mode";
  // Closed by a press outside it, the panel takes input again after the pair.
  comboInsidePair = false;
  click("Caption");
  EXPECT_EQ(readOnlyAfterPair, 0u);
}

class MainWindowTest : public HeadlessNuklear {
 protected:
  void SetUp() override {
    writeFile(root / "mod/a.txt", "alpha");
    writeFile(root / "mod/maps/b.txt", "bravo");
    writeFile(root / "updater", "not this program");
    writeFile(root / "plan.json", R"({"updater": "updater", "sets": [{"name": "Main", "sourcepath": "files/main",
      "destinationpath": "QuarnServer", "url": "lists/main", "default": true, "folder": "mod"}]})");
    ASSERT_EQ(runProgram(QUARNMP_PUBLISH_EXE, {(root / "plan.json").string(), siteTree.string()}).exitCode, 0);
    makeInstallation(root.path(), TestLayout::Rusk);
    // The Rusk Edition's stand-in game and Wine (first in PATH) record how they were called and whether they
    // inherited a descriptor of the window's; the Tovan Edition's game is a Windows program.
    for (const char* program : {"base/bin/Ostmarka.exe", "fakebin/wine"}) {
      writeFile(root / program, "#!/bin/sh\n{ printf %s \"${0##*/fakebin/}\"; for a; do printf '[%s]' \"$a\"; done;"
                                " [ -e /proc/$$/fd/" + std::to_string(windowDescriptor) + " ] && printf ' inherited';"
                                " echo; } >> launches.txt\n");
      fs::permissions(root / program, fs::perms::owner_all);
    }
    writeFile(root / "Data/base/bin/Ostmarka.exe", "MZ, a Windows program");
    ::setenv("PATH", ((root / "fakebin").string() + ":" + path).c_str(), 1);
    ::setenv("HOME", (root / "home").c_str(), 1);
    game::resetGameState();
    resetInterfaceState();
    game::installLayout = game::InstallLayout::RuskEdition;
    game::loadSettings();
    build = [this] { drawFrame(AppMedia{}, &ctx, 640, 360); };
    frame();
  }
  void TearDown() override {
    held = nullptr;
    update::resetUpdaterState();
    ::setenv("PATH", path.c_str(), 1);
    ::close(windowDescriptor);
  }

  nk_uint colour(const std::string& text) { return nk_color_u32(find(text).colour); }
  std::string missing(std::initializer_list<std::string> wanted) {
    std::string absent;
    for (const std::string& text : wanted) absent += shows(text) ? "" : text + "|";
    return absent;
  }
  void framesUntil(const std::function<bool()>& condition, const std::string& what = "the condition") {
    for (const auto end = std::chrono::steady_clock::now() + 1min; !condition(); std::this_thread::sleep_for(2ms)) {
      if (std::chrono::steady_clock::now() > end) FAIL() << what << ": not within a minute";
      frame();
    }
  }
  void runTask(const std::string& button) {
    click(button);
    framesUntil([] { return !update::isTaskRunning(); });
    frame();  // the frame that collected the result still had the progress row
  }
  // The line one start recorded, or else the one error it wrote to standard error.
  std::string launched(const std::function<void()>& start) {
    writeFile("launches.txt", "");
    testing::internal::CaptureStderr();
    start();
    std::string line = testing::internal::GetCapturedStderr();
    if (line.empty()) framesUntil([&] { return (line = readFile("launches.txt")).ends_with('\n'); }, "a start");
    return line.substr(0, line.find('\n'));
  }

  WorkingFolder root;
  // The tree the window's server serves (a file that is missing answers 404). A request whose text holds `held`
  // waits ("/" holds every one).
  fs::path siteTree = root / "tree";
  std::atomic<const char*> held = nullptr;
  ScriptedServer server{[this](ScriptedConnection& connection) {
                          const std::string request = connection.readRequest();
                          for (const char* h; (h = held) != nullptr && request.find(h) != std::string::npos;)
                            connection.pause(5ms);
                          connection.send(fileAnswer(siteTree, request));
                        },
                        ScriptedServer::AtOnce{}, 45004};  // a held request keeps no other waiting
  const std::string path = std::getenv("PATH");
  const int windowDescriptor = ::dup(1);
};

TEST_F(MainWindowTest, TooltipLinesStandBesideThePointer) {
  EXPECT_EQ(splitString("a\nb\r\r\nc\r\n", "\r\n"), (std::vector<std::string>{"a\nb\r", "c", ""}));
  hover("Konsole oeffnen");
  ASSERT_GE(texts.size(), 4u);
  std::string tooltip;
  for (auto t = texts.end() - 4; t != texts.end(); ++t) tooltip += t->text + "|";
  EXPECT_EQ(tooltip, "Wenn aktiv, wird beim|Spielstart eine Konsole|geoeffnet welche Debug- |"
                     "Informationen anzeigen kann.|");
  EXPECT_GE(texts.back().x, mouseX + 30) << "the tooltip covers the pointer";
}

TEST_F(MainWindowTest, BackgroundStartsOpaqueAndCrossFades) {
  EXPECT_EQ(imageAlpha, 255) << "background1 on the first frame";
  // 5 s opaque, 2 s fading out, 5 s out, fading in: the alpha at ms after the last change of phase.
  BackgroundFade fade;
  std::string alphas;
  for (int ms : {0, 4999, 5000, 1000, 1999, 2000, 4999, 5000, 500, 2000}) {
    advanceFade(fade, fade.startTime.value_or(std::chrono::steady_clock::now()) + std::chrono::milliseconds(ms));
    alphas += std::to_string(fade.alpha) + " ";
  }
  EXPECT_EQ(alphas, "255 255 255 128 1 0 0 0 63 255 ");
}

TEST_F(MainWindowTest, HookButtonFollowsTheLibraries) {
  writeFile(root / "base/bin/binkw32.dll", "the game's video library");
  click("Install Hook");
  EXPECT_EQ(colour("Hook installed!"), colour("Language:")) << "not greyed like a caption";
  fs::remove(root / "base/bin/binkw32_orig.dll");
  frame();
  EXPECT_TRUE(shows("Install Hook"));
}

TEST_F(MainWindowTest, ChoicesAreSavedAtOnceAndReachTheLaunch) {
  EXPECT_EQ(missing({"Edition: RE", "Abrufen", "(default)"}), "");
  for (const auto& [from, to, code] : {std::tuple{"German", "English", "en"}, {"English", "French", "fr"}}) {
    click(from);
    click(to);
    EXPECT_EQ(missing({"Fetch", "show console", "Main Game"}), "") << to;
    EXPECT_THAT(readFile(game::settingsFileName), HasSubstr("\"language\":\"" + std::string(code) + "\""));
  }
  writeFile(root / "QuarnServer/__QuarnData/Profiles/Local One.ini", "");
  for (const auto& [label, member] : {std::pair{"use luadebugger", "luadebugger"}, {"show console", "console"},
                                      {"clip cursor", "clip_cursor"},
                                      {"don't use documents folder", "use_local_profile"}}) {
    click(label);
    EXPECT_THAT(readFile(game::settingsFileName), HasSubstr("\"" + std::string(member) + "\":true"));
  }
  click("(default)");
  click("Local One");
  EXPECT_EQ(launched([&] { click("Main Game"); }),
            "Error!: The selected language is not available in your game installation.");
  writeFile(root / "base/qar/lngfrcfg0.qar", "");
  EXPECT_EQ(launched([&] { click("Main Game"); }), "./base/bin/Ostmarka.exe[-language:fr][-profile:Local One]"
                                                   "[-luadebugger][-console][-clipcursor][-uselocalsettingsfolder]"
                                                   "[-multiplayer]");
  click("don't use documents folder");
  EXPECT_EQ(game::profileList.selectedProfileIndex, 0) << "the other folder's search resets the choice";
  EXPECT_FALSE(shows("Local One"));
}

TEST_F(MainWindowTest, LaunchesPassTheSwitchesInOrder) {
  const struct {
    game::InstallLayout layout;
    game::LaunchKind kind;
    bool multiplayer, options;  // options: all four checkboxes on
    const char* language;
    std::string profile, expected;  // expected: what the start recorded, or the error on standard error
  } cases[] = {
      {game::InstallLayout::RuskEdition, game::LaunchKind::MainGame, true, false, "en", "", "Error!: no archive"},
      {game::InstallLayout::RuskEdition, game::LaunchKind::Expansion, true, true, "de", "My " + std::string(400, 'p'),
       "./base/bin/Ostmarka.exe[-language:de][-profile:My " + std::string(400, 'p') +
           "][-luadebugger][-console][-clipcursor][-uselocalsettingsfolder][-multiplayer][-extra1]"},
      {game::InstallLayout::TovanEdition, game::LaunchKind::MainGame, false, false, "en", "",
       "wine[./Data/base/bin/Ostmarka.exe][-language:en]"},
      // A language outside the table means the default; quotes and backslashes stay inside the profile's argument.
      {game::InstallLayout::TovanEdition, game::LaunchKind::MainGame, false, false, "en -console", R"(quote" -console "x)",
       R"(wine[./Data/base/bin/Ostmarka.exe][-language:de][-profile:quote" -console "x])"},
      {game::InstallLayout::RuskEdition, game::LaunchKind::MainGame, false, true, "../../../de", R"(a"b\ ends in \)",
       R"(./base/bin/Ostmarka.exe[-language:de][-profile:a"b\ ends in \][-luadebugger][-console][-clipcursor])"
       "[-uselocalsettingsfolder]"},
  };
  writeFile(root / "base/qar/lngdecfg0.qar", "");
  for (const auto& c : cases) {
    const game::Settings chosen{c.language, c.options, c.options, c.options, c.options};
    const game::ProfileList profiles{{"(default)", c.profile}, {}, 2, c.profile.empty() ? 0 : 1};
    EXPECT_EQ(launched([&] { game::launchGame(c.layout, chosen, profiles, {c.kind, "", ""}, c.multiplayer, "no archive"); }),
              c.expected);
  }
}

TEST_F(MainWindowTest, FetchDiffAndUpdateInTurn) {
  // Nothing to compare or install yet: Diff and Update are greyed and start nothing.
  const auto enabled = colour("Abrufen"), greyed = colour("Zeige Aenderungen");
  EXPECT_NE(enabled, greyed);
  EXPECT_EQ(colour("Aktualisieren"), greyed);
  click("Aktualisieren");
  EXPECT_FALSE(update::isTaskRunning());
  const int launchRowY = find("Multiplayer:").y;
  hover("Abrufen");
  const Drawn tip = texts.back();
  held = "/";
  click("Abrufen");
  EXPECT_EQ(find("Multiplayer:").y, launchRowY + 20) << "no progress row";
  EXPECT_EQ(nk_color_u32(texts.back().colour), nk_color_u32(tip.colour)) << "greyed while busy: " << tip.text;
  for (const char* busy : {"Abrufen", "Zeige Aenderungen", "Aktualisieren"}) EXPECT_EQ(colour(busy), greyed) << busy;
  held = nullptr;
  // The fetch and the digest request end each on their own thread: wait for both.
  framesUntil([&] { return !update::isTaskRunning() && shows("Updater veraltet. Bitte Updater manuell updaten."); },
              "the fetch's end and the outdated notice");
  EXPECT_THAT(server.receivedRequests(), testing::SizeIs(3)) << "digest, catalogue, file list, and no more";
  // A build without a key offers no update of itself: the notice is no button.
  setYesNoQuestion([](const std::string& caption, const std::string&) { return ADD_FAILURE() << caption, false; });
  click("Updater veraltet. Bitte Updater manuell updaten.");
  setYesNoQuestion(nullptr);

  runTask("Zeige Aenderungen");
  EXPECT_EQ(missing({"Dateien unterschiedlich! Bitte updaten.", "QuarnServer/a.txt", "QuarnServer/maps/b.txt"}), "");
  EXPECT_TRUE(std::ranges::any_of(
      fills, [](const Drawn& f) { return std::tie(f.x, f.y, f.width, f.height) == std::tuple(0, 168, 450, 20); }));
  // The next comparison starts from an empty list; a large (sparse) file keeps it running meanwhile.
  writeFile("QuarnServer/a.txt", "");
  fs::resize_file("QuarnServer/a.txt", 1 << 28);
  click("Zeige Aenderungen");
  EXPECT_TRUE(update::isTaskRunning()) << "the comparison of 256 MiB ended within two frames";
  EXPECT_FALSE(shows("QuarnServer/maps/b.txt")) << "the last comparison's list while the next one runs";
  framesUntil([] { return !update::isTaskRunning(); });

  // The installation is three quarters of the bar: one file of two is 37 %. The other fails, and the tooltip of
  // the error line names it with its reason.
  held = "b.txt";
  click("Aktualisieren");
  framesUntil([] { return update::currentProgress() > 0; }, "a's installation while b is held");  // files go in parallel
  EXPECT_EQ(static_cast<int>(update::currentProgress() * 100), 37) << "the bar after one file of two";
  const fs::path served = fs::directory_iterator(siteTree / "files/main")->path() / "maps/b.txt";  // the one release
  fs::rename(served, root / "b.txt");
  held = nullptr;
  framesUntil([] { return !update::isTaskRunning(); });
  frame();
  hover("Beim aktualisieren ist ein Fehler aufgetreten!");
  EXPECT_THAT(texts.back().text, HasSubstr("QuarnServer/maps/b.txt: "));
  fs::rename(root / "b.txt", served);
  {  // A full disk (here a file size limit): the system's reason in the same tooltip.
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit kept = limit;
    limit.rlim_cur = 4;
    std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    runTask("Aktualisieren");
    ::setrlimit(RLIMIT_FSIZE, &kept);
    hover("Beim aktualisieren ist ein Fehler aufgetreten!");
    std::string tip;
    for (const Drawn& text : texts) tip += text.text + " ";
    EXPECT_THAT(tip, HasSubstr("b.txt.quarnmp-download: File too large"));
  }
  runTask("Aktualisieren");
  EXPECT_EQ(missing({"Dateien sind up to date. Kein Update notwendig."}), "");
  EXPECT_FALSE(shows("QuarnServer/maps/b.txt"));

  // An empty digest makes no verdict; a catalogue that is none fails the fetch, the reason below the pointer.
  writeFile(siteTree / "QuarnMpUpdater/index.html", "");
  writeFile(siteTree / "json", "not compressed");
  runTask("Abrufen");
  framesUntil([&] { return !shows("Updater veraltet. Bitte Updater manuell updaten."); },
              "an empty digest taking the outdated notice away");
  hover("Es ist ein Fehler beim Abrufen aufgetreten!");
  EXPECT_GT(texts.back().y, mouseY) << "no reason below the pointer: " << texts.back().text;
  held = "/";
  click("Abrufen");
  EXPECT_FALSE(shows("Es ist ein Fehler beim Abrufen aufgetreten!")) << "the error outlived the next start";
  EXPECT_FALSE(shows("Dateien sind up to date. Kein Update notwendig.")) << "the last verdict while a task runs";
}

}  // namespace
