// quarnmp-publish as a careless mod team meets it, with nginx serving the tree and
// quarnmp-cli as the player.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include "platform/files.h"
#include "tests/support/nginx_fixture.h"
#include "tests/support/run_program.h"

using namespace testing_support;
namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

namespace {

// A plan with the set "mod/main" first; content "->x" makes a link to x, "|" a pipe.
void writeRelease(const TempFolder& work, const Files& files, const std::string& extraSets = "", const std::string& extraKeys = "") {
  writeFile(work / "plan.json", "{" + extraKeys + R"("level": 9, "sets": [{"name": "Main", "sourcepath": "files/main",
    "destinationpath": "QuarnServer", "url": "lists/main", "folder": "mod/main"})" + extraSets + "]}");
  for (const auto& [key, content] : files) {
    const fs::path path = work / "mod/main" / key;
    fs::create_directories(path.parent_path());
    if (content.starts_with("->")) fs::create_symlink(work / content.substr(2), path);
    else if (content == "|") ::mkfifo(path.c_str(), 0600);
    else writeFile(path, content);
  }
}

ProgramResult publish(const TempFolder& work, bool dryRun = false) {
  std::vector<std::string> arguments{(work / "plan.json").string(), (work / "tree").string()};
  if (dryRun) arguments.insert(arguments.begin(), "--dry-run");
  return runProgram(QUARNMP_PUBLISH_EXE, arguments);
}

ProgramResult cli(const NginxServer& nginx, const fs::path& installation, const std::string& command) {
  return runProgram(QUARNMP_CLI_EXE, {command, "--server", nginx.url("/")},
                    {.workingDirectory = installation.string()});
}

Files snapshot(const fs::path& root) {
  Files found;
  for (const auto& item : fs::recursive_directory_iterator(root))
    found[fs::relative(item.path(), root).string()] = item.is_symlink() ? "link" : item.is_regular_file() ? readFile(item.path()) : "/";
  return found;
}

std::string noise(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

}  // namespace

TEST(Publisher, RefusesEveryBrokenReleaseBeforeWritingAndListsEachProblem) {
  const std::string extra = R"(, "sourcepath": "files/extra", "destinationpath": "extra", "folder": "mod/main/sub"})";
  const struct {
    Files files;
    std::string extraSets, extraKeys;
    std::vector<std::string> problems;
  } cases[] = {
      {{{"c\x01.txt", ""}, {".git/config", ""}, {"\xff.txt", ""}, {"what?.txt", ""}, {"A.TXT", ""}, {"Grüße", ""}, {"GRÜßE", ""}, {"sub/nul.txt", ""}, {"b\\s", ""}},
       "", "",
       {"c\\x01.txt: control character", ".git/config: a segment starting with \".\" is never served", "\xff.txt: not UTF-8",
        "what?.txt: Windows cannot store", "a.txt: one file on Windows with A.TXT", "Grüße: one file on Windows with GRÜßE",
        "nul.txt: a device name on Windows", "b\\s: a backslash"}},
      {{{"file-link", "->outside.txt"}, {"folder-link", "->mod"}, {"dangling", "->nowhere"}, {"fifo", "|"}}, "", "",
       {"file-link: symbolic link", "folder-link: symbolic link", "dangling: symbolic link", "fifo: not a regular file"}},
      {{{"sub/index.html", ""}},
       R"(, {"name": "2", "url": "json")" + extra + R"(, {"name": "3", "url": "lists/main")" + extra +
           R"(, {"name": "4", "url": "files/main/a.txt/list")" + extra +
           R"(, {"name": "5", "url": "x", "sourcepath": "QuarnMpUpdater", "destinationpath": "d", "folder": "mod/main/sub"})",
       "",
       {"json: written as the catalogue and as the list of set 2", "lists/main: written as the list of set 1 and as the list of set 3",
        "files/main/a.txt/list: the list of set 4 lies below a file of set 1",
        "QuarnMpUpdater/index.html: written as the updater digest and as a file of set 5"}},
      {{},
       R"(, {"name": "2", "sourcepath": "../up", "destinationpath": "C:/x", "url": ".lists/x", "folder": "."},
          {"name": "3", "sourcepath": "s3", "destinationpath": "d", "url": "l3", "folder": "tree/files"},
          {"name": "4", "sourcepath": "s4", "destinationpath": "d", "url": "l4", "folder": "mod/none"}, {"name": "5"})",
       R"("updater": "missing.exe", )",
       {"tree: the tree lies inside the folder of set 2", "tree/files: the folder of set 3 lies inside the tree",
        "mod/none: no such folder", "set 2 sourcepath ../up: not a relative path inside the tree", "set 2 url .lists/x: a segment",
        "set 2 destinationpath C:/x: not a relative path inside the installation", "set 5: \"sourcepath\" is missing", "missing.exe: no such file"}},
  };
  for (const auto& refused : cases) {
    TempFolder work;
    writeFile(work / "outside.txt", "not for players");
    writeRelease(work, {{"a.txt", "alpha"}, {"sub/b.txt", "beta"}});
    ASSERT_EQ(publish(work).exitCode, 0) << refused.problems[0];
    const Files before = snapshot(work / "tree");
    writeRelease(work, refused.files, refused.extraSets, refused.extraKeys);
    const auto result = publish(work);
    EXPECT_EQ(result.exitCode, 2) << refused.problems[0];
    for (const std::string& problem : refused.problems) EXPECT_NE(result.err.find(problem), std::string::npos) << problem << "\n" << result.err;
    EXPECT_EQ(snapshot(work / "tree"), before) << refused.problems[0];
  }
}

TEST(Publisher, StateFileEntriesThatLeaveTheTreeRemoveNothing) {
  TempFolder work;
  writeRelease(work, {{"a.txt", "alpha"}, {"gone.txt", "leaves the release"}});
  ASSERT_EQ(publish(work).exitCode, 0);
  writeFile(work / "victim/important.txt", "keep");
  fs::create_symlink(work / "victim", work / "tree/files/escape");
  std::string state = readFile(work / "tree/.publish-state.json");
  for (const std::string& key : {std::string("../victim/important.txt"), (work / "victim/important.txt").string(),
                                 std::string("files/escape/important.txt"), std::string("files/escape"), std::string("files")})
    state.insert(1, "\"" + key + R"(": {"modtime": 1, "size": 4, "digest": "0123456789abcdef0123456789abcdef"},)");
  writeFile(work / "tree/.publish-state.json", state);
  fs::remove(work / "mod/main/gone.txt");
  const auto result = publish(work);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("(0 compressed, 0 removed, 1 retired)"), std::string::npos) << result.out;
  EXPECT_NE(publish(work).out.find("(0 compressed, 1 removed)"), std::string::npos);
  EXPECT_NE(result.err.find("../victim/important.txt: not a relative path inside the tree"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("files/escape: not removed"), std::string::npos) << result.err;
  EXPECT_EQ(readFile(work / "victim/important.txt"), "keep");
  EXPECT_FALSE(fs::exists(work / "tree/files/main/gone.txt"));
}

// Names today's client sends unescaped reach a client that percent-encodes them; the
// publisher's own names stay hidden.
TEST(Publisher, NginxServesEveryPublishedNameAndHidesThePublishersOwn) {
  TempFolder work;
  const Files encoded{{"100%.txt", "100%25.txt"}, {"#1.txt", "%231.txt"}, {"Grüße.txt", "Gr%C3%BC%C3%9Fe.txt"}, {"a b.txt", "a%20b.txt"},
                      {"semi;colon,+=&$!'()[]~@.txt", "semi%3Bcolon%2C%2B%3D%26%24%21%27%28%29%5B%5D~%40.txt"}};
  for (const auto& [name, url] : encoded) writeRelease(work, {{name, "content of " + name}});
  ASSERT_EQ(publish(work).exitCode, 0);
  writeFile(work / "tree/.publishing/0", "half a file");
  NginxServer nginx(work / "tree");
  const auto status = [&](const std::string& path) {
    return runProgram("/usr/bin/curl", {"-s", "-o", (work / "body").string(), "-w", "%{http_code}", nginx.url("/" + path)}).out;
  };
  for (const auto& [name, url] : encoded) {
    EXPECT_EQ(status("files/main/" + url), "200") << name;
    EXPECT_EQ(readFile(work / "body"), readFile(work / "tree/files/main" / name)) << name;
  }
  for (const std::string hidden : {".publish-state.json", ".publishing/0"}) EXPECT_EQ(status(hidden), "403") << hidden;
}

// Players updating from scratch while a large release is published end current, whether they
// read the old list or the new one; a killed run leaves the served release whole.
TEST(Publisher, ClientsNeverSeeAHalfPublishedReleaseEvenAfterAKilledRun) {
  TempFolder work;
  Files release{{"a.txt", "alpha"}, {"big.bin", noise(8 << 20, 1)}, {"gone.txt", "old"}, {"keep.txt", "same"}};
  writeRelease(work, release);
  ASSERT_EQ(publish(work).exitCode, 0);
  NginxServer nginx(work / "tree");

  fs::remove(work / "mod/main/gone.txt");
  writeRelease(work, {{"new/big.bin", noise(8 << 20, 2)}, {"new/n.txt", "new"}, {"z.txt", "last"}});
  {
    ServerProcess publisher(QUARNMP_PUBLISH_EXE, {(work / "plan.json").string(), (work / "tree").string()}, work / "publish.log");
    for (bool last = false; !last;) {
      last = !publisher.running();
      fs::remove_all(work / "mod/QuarnServer");
      const auto update = cli(nginx, work / "mod", "update");
      ASSERT_EQ(update.exitCode, 0) << update.err << update.out;
    }
  }
  EXPECT_NE(readFile(work / "publish.log").find("published 6 files"), std::string::npos) << readFile(work / "publish.log");

  fs::remove(work / "mod/main/z.txt");
  writeRelease(work, {{"a.txt", "third"}, {"big.bin", noise(12 << 20, 3)}});
  const Files beforeDryRun = snapshot(work / "tree");
  EXPECT_EQ(publish(work, true).out, "write files/main/a.txt\nwrite files/main/big.bin\nwrite lists/main\nwrite json\n"
                                     "remove files/main/gone.txt\nretire files/main/z.txt\n"
                                     "would publish 5 files (2 compressed, 1 removed, 1 retired) in 1 sets\n");
  EXPECT_EQ(snapshot(work / "tree"), beforeDryRun);
  {
    ServerProcess publisher(QUARNMP_PUBLISH_EXE, {(work / "plan.json").string(), (work / "tree").string()}, work / "killed.log");
    const auto halfway = [&] {  // a.txt (made as ".publishing/0") is in place, big.bin is being made
      std::error_code error;
      return fs::file_size(work / "tree/.publishing/1", error) > (1 << 20) && !error;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (publisher.running() && !halfway() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(publisher.running()) << "the run ended before it could be killed";
  }  // killed with SIGKILL
  for (const auto& [path, content] : snapshot(work / "tree"))
    EXPECT_TRUE(path.front() == '.' || content == "/" || beforeDryRun.count(path)) << "left under a served path: " << path;
  EXPECT_EQ(cli(nginx, work / "mod", "check").exitCode, 0) << "the catalogue and list of the second release stay in place";
  EXPECT_EQ(publish(work).exitCode, 0);
  EXPECT_FALSE(fs::exists(work / "tree/.publishing"));
  EXPECT_FALSE(fs::exists(work / "tree/files/main/gone.txt"));
  EXPECT_EQ(cli(nginx, work / "mod", "update").exitCode, 0);
  for (const auto& [key, content] : snapshot(work / "mod/main"))
    if (content != "/") EXPECT_EQ(readFile(work / "mod/QuarnServer" / key), content) << key;
}

// A file rewritten by an update within the second of its cached time must not be judged by
// the digest cached for its old content.
TEST(Publisher, AnUpdateWithinTheSecondOfTheLastEndsCurrent) {
  TempFolder work;
  fs::create_directories(work / "tree");
  NginxServer nginx(work / "tree");
  int withinOneSecond = 0;
  for (int round = 0; round < 30 && withinOneSecond < 3; ++round) {
    writeRelease(work, {{"a.txt", round % 2 ? "ALPHA" : "alpha"}});
    ASSERT_EQ(publish(work).exitCode, 0);
    const auto before = platform::modificationTime((work / "mod/QuarnServer/a.txt").string());
    const auto update = cli(nginx, work / "mod", "update");
    ASSERT_EQ(update.exitCode, 0) << update.err << update.out;
    withinOneSecond += before == platform::modificationTime((work / "mod/QuarnServer/a.txt").string());
  }
  EXPECT_GT(withinOneSecond, 0);
}
