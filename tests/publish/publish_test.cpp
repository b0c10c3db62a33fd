// quarnmp-publish as a careless mod team meets it, with nginx serving and quarnmp-cli as the player.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>

#include "platform/files.h"
#include "tests/support/nginx_fixture.h"
#include "tests/support/run_program.h"

using namespace testing_support;
namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

static void writeRelease(const TempFolder& work, const Files& files, const std::string& moreSets = "") {
  writeFile(work / "plan.json", R"({"level": 9, "sets": [{"name": "Main", "sourcepath": "files/main",
    "destinationpath": "QuarnServer", "url": "lists/main", "folder": "mod/main"})" + moreSets + "]}");
  for (const auto& [key, content] : files) writeFile(work / "mod/main" / key, content);
}

static ProgramResult publish(const TempFolder& work, std::vector<std::string> arguments = {},
                             const std::function<bool()>& killWhen = nullptr) {
  arguments.insert(arguments.end(), {(work / "plan.json").string(), (work / "tree").string()});
  return runProgram(QUARNMP_PUBLISH_EXE, arguments, {}, killWhen);
}

const std::vector<std::string> sign{"--sign", TEST_KEY_DIR "/test.key"};

// A player with a signed build updating the installation (made anew unless `fresh` is false): "ok", or what it
// printed.
static std::string play(const NginxServer& nginx, const fs::path& installation, bool fresh = true) {
  if (fresh) fs::remove_all(installation);
  fs::create_directories(installation);
  const auto result = runProgram(QUARNMP_CLI_SIGNED_EXE, {"update", "--server", nginx.url("/")},
                                 {.workingDirectory = installation.string()});
  return result.exitCode == 0 ? "ok" : result.err + result.out;
}

// The newest release folder in a set's sourcepath (release numbers grow).
static std::string newest(const fs::path& folder) {
  std::string last;
  for (const auto& item : fs::directory_iterator(folder)) last = std::max(last, item.path().filename().string());
  return last;
}

// True while a file of more than 1 MiB is in the folder (being made there).
static bool bigFileIn(const fs::path& folder) {
  std::error_code error;
  for (fs::directory_iterator item(folder, error); !error && item != fs::directory_iterator(); item.increment(error))
    if (item->file_size(error) > (1u << 20) && !error) return true;
  return false;
}

static Files snapshot(const fs::path& root) {
  Files found;
  for (const auto& item : fs::recursive_directory_iterator(root))
    found[fs::relative(item.path(), root)] = item.is_symlink() ? "link" : item.is_regular_file() ? readFile(item) : "/";
  return found;
}

// Random bytes, or random letters a and b, which zlib's level 9 compresses well but slowly.
static std::string noise(std::size_t size, unsigned seed, bool letters = false) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(letters ? 'a' + random() % 2 : random());
  return bytes;
}

TEST(Publisher, RefusesEveryBrokenReleaseBeforeWritingAndListsEachProblem) {
  TempFolder work;
  writeRelease(work, {{"a.txt", "alpha"}, {"sub/b.txt", "beta"}});
  ASSERT_EQ(publish(work).exitCode, 0);
  const Files before = snapshot(work / "tree");
  for (const char* name : {"c\x01.txt", ".git/config", "\xff.txt", "what?.txt", "A.TXT", "Grüße", "GRÜßE", "Āж", "āЖ",
                           "Σ.ÿ", "ς.Ÿ", "µａ", "ΜＡ", "Sub", "sub/nul.txt", "COM¹.log", "lpt0.dat", "sub./c", "z ",
                           "b\\s", "sub/index.html"})
    writeFile(work / "mod/main" / name, "");
  for (auto [link, target] : {std::pair{"file-link", "plan.json"}, {"folder-link", "mod"}, {"dangling", "nowhere"}})
    fs::create_symlink(work / target, work / "mod/main" / link);
  ::mkfifo((work / "mod/main/fifo").c_str(), 0600);
  writeFile(work / "plan.json", R"({"updater": "missing.exe", "sets": [
    {"name": "1", "sourcepath": "files/main", "destinationpath": "Q", "url": "lists/main", "folder": "mod/main"},
    {"name": "2", "sourcepath": "e", "destinationpath": "e", "url": "json", "folder": "mod/main/sub"},
    {"name": "3", "sourcepath": "e", "destinationpath": "e", "url": "lists/main", "folder": "mod/main/sub"},
    {"name": "4", "sourcepath": "e", "destinationpath": "e", "url": "e/b.txt/list", "folder": "mod/main/sub"},
    {"name": "5", "sourcepath": "QuarnMpUpdater", "destinationpath": "d", "url": "x", "folder": "mod/main/sub"},
    {"name": "6", "sourcepath": "s6", "destinationpath": "d", "url": ".lists/x", "folder": "."},
    {"name": "7", "sourcepath": "s7", "destinationpath": "d", "url": "l7", "folder": "tree/files"},
    {"name": "8", "sourcepath": "s%8", "destinationpath": "d", "url": "l8?v", "folder": "mod/none"}]})");
  const auto result = publish(work);
  EXPECT_EQ(result.exitCode, 2);
  for (const char* problem :
       {"c\\x01.txt: control character", ".git/config: a segment starting with \".\" is never served",
        "\xff.txt: not UTF-8", "what?.txt: Windows cannot store", "a.txt: one file on Windows with A.TXT",
        "Grüße: one file on Windows with GRÜßE", "āЖ: one file on Windows with Āж", "ς.Ÿ: one file on Windows with Σ.ÿ",
        "ΜＡ: one file on Windows with µａ", "Sub: one name on Windows with the folder sub",
        "nul.txt: a device name on Windows", "COM¹.log: a device", "lpt0.dat: a device", "b\\s: a backslash",
        "sub./c: Windows drops a trailing dot or space", "z : Windows drops a trailing dot",
        "file-link: symbolic link", "folder-link: symbolic link", "dangling: symbolic link", "fifo: not a regular file",
        "json: written as the catalogue and as the list of set 2",
        "lists/main: written as the list of set 1 and as the list of set 3",
        "e/b.txt/list: the list of set 4 lies below a file of set 2",
        "QuarnMpUpdater/index.html: written as the updater digest and as a file of set 5",
        "tree: the tree lies inside the folder of set 6", "tree/files: the folder of set 7 lies inside the tree",
        "mod/none: no such folder", "set 6 url .lists/x: a segment", "set 8 sourcepath s%8: % ? and #",
        "set 8 url l8?v: % ? and #", "missing.exe: no such file"})
    EXPECT_NE(result.err.find(problem), std::string::npos) << problem << "\n" << result.err;
  EXPECT_EQ(snapshot(work / "tree"), before);
}

// nginx serves every name percent-encoded and hides the publisher's own. Players who update while a release is
// published, or after a run was killed at a random point or met a source that changed while it was read, install
// exactly one release; two more runs clear what the killed ones left.
TEST(Publisher, ServesEveryNameAndOnlyWholeReleasesWhilePublishingAndAfterKillsAndEdits) {
  TempFolder work;
  const Files encoded{{"100%.txt", "100%25.txt"}, {"#1.txt", "%231.txt"}, {"Grüße.txt", "Gr%C3%BC%C3%9Fe.txt"},
                      {"semi;colon,+=&$!'()[]~@.txt", "semi%3Bcolon%2C%2B%3D%26%24%21%27%28%29%5B%5D~%40.txt"}};
  for (const auto& [name, url] : encoded) writeRelease(work, {{name, "content of " + name}});
  writeRelease(work, {{"a.txt", "alpha"}, {"big.bin", noise(4 << 20, 1)}, {"gone.txt", "old"}, {"keep.txt", "same"}});
  ASSERT_EQ(publish(work, sign).exitCode, 0);
  NginxServer nginx(work / "tree");
  const auto fetched = [&](const std::string& path) {  // "<body>|<status>"
    return runProgram("/usr/bin/curl", {"-s", "-w", "|%{http_code}", nginx.url("/" + path)}).out;
  };
  const std::string release = "files/main/" + newest(work / "tree/files/main") + "/";
  for (const auto& [name, url] : encoded)
    EXPECT_EQ(fetched(release + url), readFile(work / "tree" / release / name) + "|200") << name;
  EXPECT_TRUE(fetched(".publish-state.json").ends_with("|403"));

  Files served = snapshot(work / "mod/main");
  fs::remove(work / "mod/main/gone.txt");
  const unsigned seed = std::random_device()();
  std::mt19937 random(seed);
  std::chrono::steady_clock::duration runTime{};
  for (int round = 1; round <= 8; ++round) {
    SCOPED_TRACE("round " + std::to_string(round) + " of seed " + std::to_string(seed));
    writeRelease(work, {{"a.txt", "round " + std::to_string(round)}, {"big.bin", noise(4 << 20, round + 1)},
                        {"new/n.txt", "new"}});
    if (round == 1) writeFile(work / "mod/main/slow.txt", noise(512 << 10, 0, true));
    const Files next = snapshot(work / "mod/main");
    const auto start = std::chrono::steady_clock::now();
    if (round == 1) {  // players update while it runs, long enough for several
      ServerProcess publisher(QUARNMP_PUBLISH_EXE, {sign[0], sign[1], (work / "plan.json").string(),
                              (work / "tree").string()}, work / "publish.log");
      for (bool last = false; !last;) {
        last = !publisher.running();
        ASSERT_EQ(play(nginx, work / "player"), "ok");
        const Files installed = snapshot(work / "player/QuarnServer");
        ASSERT_TRUE(installed == served || installed == next) << "a mix of two releases";
      }
      const std::string log = readFile(work / "publish.log");
      EXPECT_TRUE(log.starts_with("published 9 files (4 compressed, 0 removed, 10 retired)")) << log;
      const Files beforeDryRun = snapshot(work / "tree");
      const std::string dryRun = publish(work, {sign[0], sign[1], "--dry-run"}).out;
      EXPECT_NE(dryRun.find("\nwould publish 9 files (0 compressed, 10 removed, 11 retired) in 1 sets, signed as"),
                std::string::npos) << dryRun;
      EXPECT_TRUE(snapshot(work / "tree") == beforeDryRun) << "the dry run changed the tree";
    } else if (round == 2) {  // big.bin changes while the run reads it
      bool edited = false;
      const auto result = publish(work, sign, [&] {
        if (!edited && bigFileIn(work / "tree/.publishing")) {
          edited = static_cast<bool>(std::ofstream(work / "mod/main/big.bin", std::ios::app) << "!");
        }
        return false;
      });
      EXPECT_NE(result.err.find("big.bin: changed while this run read it"), std::string::npos) << result.err;
      EXPECT_EQ(result.exitCode, 2);
      runTime = std::chrono::steady_clock::now() - start;
    } else {
      const auto killAfter = std::uniform_int_distribution<std::chrono::steady_clock::rep>(0, runTime.count())(random);
      publish(work, sign, [&] { return (std::chrono::steady_clock::now() - start).count() > killAfter; });
    }
    ASSERT_EQ(play(nginx, work / "player"), "ok");
    const Files installed = snapshot(work / "player/QuarnServer");
    ASSERT_TRUE(installed == served || (installed == next && round != 2)) << "not the last whole release";
    served = installed;
  }

  // State entries for paths outside the tree or for what is no regular file there remove nothing.
  writeFile(work / "victim/important.txt", "keep");
  fs::create_symlink(work / "victim", work / "tree/files/escape");
  std::string state = readFile(work / "tree/.publish-state.json");
  for (const std::string& key : std::vector<std::string>{"../victim/important.txt", (work / "victim/important.txt"),
                                                         "files/escape/important.txt", "files/escape", "files"})
    state.insert(1, "\"" + key + R"(": "retired",)");
  writeFile(work / "tree/.publish-state.json", state);
  const auto result = publish(work, sign);
  for (auto warning : {"../victim/important.txt: not a relative path inside the tree", "files/escape: not removed"})
    EXPECT_NE(result.err.find(warning), std::string::npos) << result.err;
  ASSERT_EQ(publish(work, sign).exitCode, 0);
  EXPECT_EQ(readFile(work / "victim/important.txt"), "keep");
  const auto count = [&](const char* folder) {
    return std::to_string(std::distance(fs::directory_iterator(work / "tree" / folder), {}));
  };
  EXPECT_EQ(count("files/main") + " releases, " + count("lists") + " lists and signatures",
            "2 releases, 4 lists and signatures") << "what the killed runs left stays";
  EXPECT_EQ(play(nginx, work / "player"), "ok");
  EXPECT_TRUE(snapshot(work / "player/QuarnServer") == snapshot(work / "mod/main")) << "not the last release";
}

// Each release is made from the sources, whatever the tree and its state file say; what leaves the release goes one
// run later, a set's list and the folders left empty too; one run at a time; and a signed release is always newer
// than the one the tree serves, whatever this machine's clock says.
TEST(Publisher, MakesReleasesFromTheSourcesRetiresWhatLeftRunsAloneAndKeepsTheReleaseTimeGrowing) {
  TempFolder work;
  writeRelease(work, {{"deep/a.txt", "alpha"}}, R"(, {"name": "E", "sourcepath": "files/extra", "destinationpath": "E",
    "url": "lists/extra/e", "folder": "mod/extra"})");
  writeFile(work / "mod/extra/e.txt", "extra");
  fs::last_write_time(work / "mod/main/deep/a.txt", fs::file_time_type::clock::now() - std::chrono::hours(1));
  ASSERT_EQ(publish(work, sign).exitCode, 0);
  NginxServer nginx(work / "tree");
  const auto line = [&] {  // the summary, its date left out
    const std::string out = publish(work, sign).out;
    return out.substr(0, out.find(", signed as the release of 2"));
  };
  // Someone who can write the tree serves e.txt's bytes as a.txt, with their time, size and digest in the state.
  const auto served = [&](const std::string& name) {
    for (const auto& item : fs::recursive_directory_iterator(work / "tree/files"))
      if (item.path().filename() == name) return item.path();
    return fs::path();
  };
  fs::copy_file(served("e.txt"), served("a.txt"), fs::copy_options::overwrite_existing);
  nlohmann::json state = nlohmann::json::parse(readFile(work / "tree/.publish-state.json"));
  for (auto& [path, record] : state.items())
    if (path.ends_with("a.txt"))
      record = {{"modtime", *platform::modificationTime((work / "mod/main/deep/a.txt").string())}, {"size", 5},
                {"digest", "ea9f91b2cda019730f2891bd12a7a4d6"}};
  writeFile(work / "tree/.publish-state.json", state.dump());
  writeRelease(work, {});
  EXPECT_EQ(line(), "published 1 files (1 compressed, 0 removed, 6 retired) in 1 sets");
  const std::string update = play(nginx, work / "player");  // before the file is read
  EXPECT_EQ(update + readFile(work / "player/QuarnServer/deep/a.txt"), "okalpha");
  {
    const platform::FileLock otherRun((work / "tree/.publish-lock").string());
    const auto refused = publish(work, sign);
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("is being published by another run"), std::string::npos) << refused.err;
  }
  EXPECT_EQ(line(), "published 1 files (0 compressed, 6 removed, 3 retired) in 1 sets");
  std::string left;
  for (const auto& [path, content] : snapshot(work / "tree")) left += path + " ";
  EXPECT_EQ(left.find("extra"), std::string::npos) << left;

  // The tree's release lies a day ahead of this machine's clock (it is slow), then ten years (it was fast when that
  // release was made): players who installed it accept the next one, and the team learns of the clock.
  for (const std::int64_t ahead : {86400, 3652 * 86400}) {
    const std::int64_t future = std::time(nullptr) + ahead;
    for (const std::string& path : {std::string("json"), "lists/main." + newest(work / "tree/files/main")})
      ASSERT_EQ(runProgram(MINISIGN_EXE, {"-S", "-s", sign[1], "-m", path, "-t", "timestamp:" + std::to_string(future) +
                           "\tfile:" + path}, {.workingDirectory = (work / "tree").string()}).exitCode, 0);
    ASSERT_EQ(play(nginx, work / "player", false), "ok");
    const auto result = publish(work, sign);
    EXPECT_NE(result.err.find("is behind the release the tree serves"), std::string::npos) << result.err;
    EXPECT_NE(readFile(work / "tree/json.minisig").find("timestamp:" + std::to_string(future + 1) + "\t"),
              std::string::npos) << "not signed as the second after the tree's release";
    EXPECT_EQ(play(nginx, work / "player", false), "ok") << ahead;
  }
  // A time whose signature does not hold under the key (here: forged to lie centuries ahead) counts for nothing.
  std::string forged = readFile(work / "tree/json.minisig");
  writeFile(work / "tree/json.minisig", forged.replace(forged.find("timestamp:") + 10, 1, "9"));
  const auto result = publish(work, sign);
  EXPECT_NE(result.err.find("json: the release the tree serves has no valid signature by this key (signature invalid"),
            std::string::npos) << result.err;
  const std::string signature = readFile(work / "tree/json.minisig");
  EXPECT_LE(std::stoll(signature.substr(signature.find("timestamp:") + 10)), std::time(nullptr));
}
