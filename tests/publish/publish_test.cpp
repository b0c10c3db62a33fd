// quarnmp-publish as a careless mod team meets it, with nginx serving and quarnmp-cli as the player.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <map>
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

// The command of quarnmp-cli in the installation "mod": "ok", or what it printed.
static std::string cli(const NginxServer& nginx, const TempFolder& work, const std::string& command) {
  const auto result = runProgram(QUARNMP_CLI_EXE, {command, "--server", nginx.url("/")},
                                 {.workingDirectory = (work / "mod").string()});
  return result.exitCode == 0 ? "ok" : result.err + result.out;
}

static Files snapshot(const fs::path& root) {
  Files found;
  for (const auto& item : fs::recursive_directory_iterator(root))
    found[fs::relative(item.path(), root)] = item.is_symlink() ? "link" : item.is_regular_file() ? readFile(item) : "/";
  return found;
}

static std::string noise(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
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
    {"name": "8", "sourcepath": "s8", "destinationpath": "d", "url": "l8", "folder": "mod/none"}]})");
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
        "mod/none: no such folder", "set 6 url .lists/x: a segment", "missing.exe: no such file"})
    EXPECT_NE(result.err.find(problem), std::string::npos) << problem << "\n" << result.err;
  EXPECT_EQ(snapshot(work / "tree"), before);
}

// nginx serves every name percent-encoded and hides the publisher's own; players updating from
// scratch during a run end current, with the old list or the new; a killed run leaves it whole.
TEST(Publisher, ServesEveryNameAndNeverAHalfPublishedReleaseEvenAfterAKilledRun) {
  TempFolder work;
  const Files encoded{{"100%.txt", "100%25.txt"}, {"#1.txt", "%231.txt"}, {"Grüße.txt", "Gr%C3%BC%C3%9Fe.txt"},
                      {"semi;colon,+=&$!'()[]~@.txt", "semi%3Bcolon%2C%2B%3D%26%24%21%27%28%29%5B%5D~%40.txt"}};
  for (const auto& [name, url] : encoded) writeRelease(work, {{name, "content of " + name}});
  writeRelease(work, {{"a.txt", "alpha"}, {"big.bin", noise(8 << 20, 1)}, {"gone.txt", "old"}, {"keep.txt", "same"}});
  ASSERT_EQ(publish(work).exitCode, 0);
  NginxServer nginx(work / "tree");
  const auto fetched = [&](const std::string& path) {  // "<body>|<status>"
    return runProgram("/usr/bin/curl", {"-s", "-w", "|%{http_code}", nginx.url("/" + path)}).out;
  };
  for (const auto& [name, url] : encoded)
    EXPECT_EQ(fetched("files/main/" + url), readFile(work / "tree/files/main" / name) + "|200") << name;

  fs::remove(work / "mod/main/gone.txt");
  writeRelease(work, {{"new/big.bin", noise(8 << 20, 2)}, {"new/n.txt", "new"}, {"z.txt", "last"}});
  {
    ServerProcess publisher(QUARNMP_PUBLISH_EXE, {(work / "plan.json").string(), (work / "tree").string()},
                            work / "publish.log");
    for (bool last = false; !last;) {
      last = !publisher.running();
      fs::remove_all(work / "mod/QuarnServer");
      ASSERT_EQ(cli(nginx, work, "update"), "ok");
    }
  }
  EXPECT_EQ(readFile(work / "publish.log"), "published 10 files (3 compressed, 0 removed, 1 retired) in 1 sets\n");

  fs::remove(work / "mod/main/z.txt");
  writeRelease(work, {{"a.txt", "third"}, {"big.bin", noise(12 << 20, 3)}});
  const Files beforeDryRun = snapshot(work / "tree");
  EXPECT_EQ(publish(work, {"--dry-run"}).out,
            "write files/main/a.txt\nwrite files/main/big.bin\nwrite lists/main\nwrite json\n"
            "remove files/main/gone.txt\nretire files/main/z.txt\n"
            "would publish 9 files (2 compressed, 1 removed, 1 retired) in 1 sets\n");
  EXPECT_TRUE(snapshot(work / "tree") == beforeDryRun) << "the dry run changed the tree";
  std::error_code error;  // killed once a.txt (made as ".publishing/0") is in place and big.bin is being made
  const auto bigBinBeingMade = [&] { return fs::file_size(work / "tree/.publishing/1", error) > (1 << 20) && !error; };
  ASSERT_EQ(publish(work, {}, bigBinBeingMade).exitCode, 128 + SIGKILL) << "the run ended before it could be killed";
  for (const std::string hidden : {".publish-state.json", ".publishing/0"})
    EXPECT_TRUE(fetched(hidden).ends_with("|403")) << hidden;
  for (const auto& [path, content] : snapshot(work / "tree"))
    EXPECT_TRUE(path.front() == '.' || content == "/" || beforeDryRun.count(path)) << "left behind: " << path;
  EXPECT_EQ(cli(nginx, work, "check"), "ok") << "the catalogue and list of the second release stay in place";

  // The next run ends the killed one's work. State entries for paths outside the tree or for
  // what is no regular file there remove nothing.
  writeFile(work / "victim/important.txt", "keep");
  fs::create_symlink(work / "victim", work / "tree/files/escape");
  std::string state = readFile(work / "tree/.publish-state.json");
  for (const std::string& key : std::vector<std::string>{"../victim/important.txt", (work / "victim/important.txt"),
                                                         "files/escape/important.txt", "files/escape", "files"})
    state.insert(1, "\"" + key + R"(": {"modtime": 1, "size": 4, "digest": "0123456789abcdef0123456789abcdef"},)");
  writeFile(work / "tree/.publish-state.json", state);
  const auto result = publish(work);
  EXPECT_EQ(result.out, "published 9 files (2 compressed, 1 removed, 1 retired) in 1 sets\n") << result.err;
  for (auto warning : {"../victim/important.txt: not a relative path inside the tree", "files/escape: not removed"})
    EXPECT_NE(result.err.find(warning), std::string::npos) << result.err;
  EXPECT_EQ(readFile(work / "victim/important.txt"), "keep");
  EXPECT_FALSE(fs::exists(work / "tree/.publishing") || fs::exists(work / "tree/files/main/gone.txt"));
  EXPECT_EQ(cli(nginx, work, "update"), "ok");
  for (const auto& [key, content] : snapshot(work / "mod/main"))  // EXPECT_TRUE: no diff of megabytes on failure
    EXPECT_TRUE(content == "/" || readFile(work / "mod/QuarnServer" / key) == content) << key;
}

// What leaves the release goes one run later: a set's list and signature too, and the folders
// left empty. A file lost from the tree is made again though its source is unchanged.
TEST(Publisher, RetiresALeavingSetWithItsListRemakesALostFileAndLetsOneRunAtATime) {
  TempFolder work;
  const std::vector<std::string> sign{"--sign", TEST_KEY_DIR "/test.key"};
  writeRelease(work, {{"deep/a.txt", "alpha"}}, R"(, {"name": "E", "sourcepath": "files/extra", "destinationpath": "E",
    "url": "lists/extra/e", "folder": "mod/extra"})");
  writeFile(work / "mod/extra/e.txt", "extra");
  fs::last_write_time(work / "mod/main/deep/a.txt", fs::file_time_type::clock::now() - std::chrono::hours(1));
  ASSERT_EQ(publish(work, sign).exitCode, 0);
  writeRelease(work, {});
  fs::remove(work / "tree/files/main/deep/a.txt");
  EXPECT_EQ(publish(work, sign).out, "published 1 files (1 compressed, 0 removed, 3 retired) in 1 sets\n");
  {
    const platform::FileLock otherRun((work / "tree/.publish-lock").string());
    const auto refused = publish(work, sign);
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("is being published by another run"), std::string::npos) << refused.err;
  }
  EXPECT_EQ(publish(work, sign).out, "published 1 files (0 compressed, 3 removed) in 1 sets\n");
  std::string served;
  for (const auto& [path, content] : snapshot(work / "tree")) served += path.front() == '.' ? "" : path + " ";
  EXPECT_EQ(served, "files files/main files/main/deep files/main/deep/a.txt json json.minisig lists lists/main "
                    "lists/main.minisig ");
}
