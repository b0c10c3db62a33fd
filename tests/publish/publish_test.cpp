// quarnmp-publish as a careless mod team meets it: broken plans and folders are refused
// before anything is written, tampered state removes nothing outside the tree, and players
// polling nginx while a release is published (or after a killed run) never get a broken one.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <thread>

#include "tests/support/nginx_fixture.h"
#include "tests/support/run_program.h"

using namespace testing_support;
namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

namespace {

std::string shippedServerConfig() {
  std::string block = readFile(fs::path(QUARNMP_SOURCE_DIR) / "tools/nginx-update-server.conf");
  block = block.substr(block.find("server {") + 8);
  return std::regex_replace(block.erase(block.rfind('}')), std::regex(" *(listen|root) .*\n"), "");
}

const std::string mainSet = R"({"name": "Main", "sourcepath": "files/main", "destinationpath": "QuarnServer",
                                "url": "lists/main", "folder": "mod/main"})";

void writePlan(const TempFolder& work, const std::string& extraSets = "", const std::string& extraKeys = "") {
  writeFile(work / "plan.json", "{" + extraKeys + R"("level": 9, "sets": [)" + mainSet + extraSets + "]}");
}

// Replaces the set's folder by exactly these files.
void writeRelease(const TempFolder& work, const Files& files) {
  fs::remove_all(work / "mod/main");
  for (const auto& [key, content] : files) writeFile(work / "mod/main" / key, content);
}

ProgramResult publish(const TempFolder& work, const std::string& option = "") {
  std::vector<std::string> arguments{(work / "plan.json").string(), (work / "tree").string()};
  if (!option.empty()) arguments.insert(arguments.begin(), option);
  return runProgram(QUARNMP_PUBLISH_EXE, arguments);
}

// Every file, link and folder below the root with its content.
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
  const struct {
    const char* label;
    std::function<void(const TempFolder&)> arrange;
    std::vector<std::string> problems;
  } cases[] = {
      {"names clients refuse, cannot fetch or cannot store as one file",
       [](const TempFolder& work) {
         for (const char* name : {"ctl\x01.txt", ".git/config", "\xff.txt", "what?.txt", "A.TXT", "Grüße.txt", "GRÜßE.txt", "sub/nul.txt", "back\\slash"})
           writeFile(work / "mod/main" / name, "x");
       },
       {"ctl\\x01.txt: control character", ".git/config: a segment starting with \".\" is never served",
        "\xff.txt: not UTF-8", "what?.txt: Windows cannot store", "a.txt: one file on Windows with A.TXT",
        "Grüße.txt: one file on Windows with GRÜßE.txt", "nul.txt: a device name on Windows", "back\\slash: a backslash"}},
      {"links and special files",
       [](const TempFolder& work) {
         writeFile(work / "outside/secret.txt", "not for players");
         fs::create_symlink(work / "outside/secret.txt", work / "mod/main/file-link");
         fs::create_symlink(work / "outside", work / "mod/main/folder-link");
         fs::create_symlink(work / "nowhere", work / "mod/main/dangling");
         ::mkfifo((work / "mod/main/fifo").c_str(), 0600);
       },
       {"file-link: symbolic link", "folder-link: symbolic link", "dangling: symbolic link", "fifo: not a regular file"}},
      {"outputs that collide",
       [](const TempFolder& work) {
         writeFile(work / "mod/extra/index.html", "x");
         const std::string extra = R"(, "sourcepath": "files/extra", "destinationpath": "extra", "folder": "mod/extra"})";
         writePlan(work, R"(, {"name": "2", "url": "json")" + extra + R"(, {"name": "3", "url": "lists/main")" + extra +
                             R"(, {"name": "4", "url": "files/main/a.txt/list")" + extra +
                             R"(, {"name": "5", "url": "x", "sourcepath": "QuarnMpUpdater", "destinationpath": "d", "folder": "mod/extra"})");
       },
       {"json: written as the catalogue and as the list of set 2", "lists/main: written as the list of set 1 and as the list of set 3",
        "files/main/a.txt/list: the list of set 4 lies below a file of set 1",
        "QuarnMpUpdater/index.html: written as the updater digest and as a file of set 5"}},
      {"folders in the wrong place and paths clients refuse",
       [](const TempFolder& work) {
         writePlan(work, R"(, {"name": "2", "sourcepath": "../up", "destinationpath": "C:/x", "url": ".lists/x", "folder": "."},
                           {"name": "3", "sourcepath": "s3", "destinationpath": "d", "url": "l3", "folder": "tree/files"},
                           {"name": "4", "sourcepath": "s4", "destinationpath": "d", "url": "l4", "folder": "mod/none"},
                           {"name": "5", "sourcepath": "s5", "url": "l5"})",
                   R"("updater": "missing.exe", )");
       },
       {"tree: the tree lies inside the folder of set 2", "tree/files: the folder of set 3 lies inside the tree",
        "mod/none: no such folder", "set 2 sourcepath ../up: leaves the published tree", "set 2 url .lists/x: a segment",
        "set 2 destinationpath C:/x: leaves the installation", "set 5: \"destinationpath\" is missing"}},
  };
  for (const auto& refused : cases) {
    TempFolder work;
    writeRelease(work, {{"a.txt", "alpha"}, {"sub/b.txt", "beta"}});
    writePlan(work);
    ASSERT_EQ(publish(work).exitCode, 0) << refused.label;
    const Files before = snapshot(work / "tree");
    refused.arrange(work);
    const auto result = publish(work);
    EXPECT_EQ(result.exitCode, 2) << refused.label;
    for (const std::string& problem : refused.problems)
      EXPECT_NE(result.err.find(problem), std::string::npos) << refused.label << ": " << problem << "\n" << result.err;
    EXPECT_EQ(snapshot(work / "tree"), before) << refused.label;
  }
}

TEST(Publisher, StateFileEntriesThatLeaveTheTreeRemoveNothing) {
  TempFolder work;
  writeRelease(work, {{"a.txt", "alpha"}, {"gone.txt", "leaves the release"}});
  writePlan(work);
  ASSERT_EQ(publish(work).exitCode, 0);
  writeFile(work / "victim/important.txt", "keep");
  fs::create_symlink(work / "victim", work / "tree/files/escape");
  const std::string record = R"({"modtime": 1, "size": 4, "digest": "0123456789abcdef0123456789abcdef"})";
  std::string state = readFile(work / "tree/.publish-state.json");
  for (const std::string& key : std::vector<std::string>{"../victim/important.txt", (work / "victim/important.txt").string(),
                                                        "files/escape/important.txt", "files/escape", "files", "lists/main"})
    state.insert(1, "\"" + key + "\": " + record + ",\n");
  writeFile(work / "tree/.publish-state.json", state);
  fs::remove(work / "mod/main/gone.txt");
  const auto result = publish(work);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("(0 compressed, 1 removed)"), std::string::npos) << result.out;
  EXPECT_NE(result.err.find("../victim/important.txt: leaves the published tree"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("files/escape: not removed"), std::string::npos) << result.err;
  EXPECT_EQ(readFile(work / "victim/important.txt"), "keep");
  EXPECT_FALSE(fs::exists(work / "tree/files/main/gone.txt"));
  EXPECT_TRUE(fs::is_regular_file(work / "tree/lists/main"));
}

// Names today's client sends unescaped still reach a client that percent-encodes them;
// the publisher's own names stay hidden.
TEST(Publisher, NginxServesEveryPublishedNameAndHidesThePublishersOwn) {
  TempFolder work;
  const std::vector<std::string> names{"100%.txt", "#1.txt", "Grüße.txt", "a b.txt", "semi;colon,+=&$!'()[]~@.txt"};
  Files release;
  for (const std::string& name : names) release[name] = "content of " + name;
  writeRelease(work, release);
  writePlan(work);
  ASSERT_EQ(publish(work).exitCode, 0);
  fs::create_directories(work / "tree/.publishing");
  writeFile(work / "tree/.publishing/0", "half a file");
  NginxServer nginx(NginxOptions{work / "tree", shippedServerConfig(), ""});
  const auto status = [&](const std::string& path) {
    std::string encoded;
    for (unsigned char c : path) {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      encoded += std::isalnum(c) || std::string_view("/-._~").find(static_cast<char>(c)) != std::string_view::npos ? std::string(1, static_cast<char>(c)) : escape;
    }
    return runProgram("/usr/bin/curl", {"-s", "-o", (work / "body").string(), "-w", "%{http_code}", nginx.url("/" + encoded)}).out;
  };
  for (const std::string& name : names) {
    EXPECT_EQ(status("files/main/" + name), "200") << name;
    EXPECT_EQ(readFile(work / "body"), readFile(work / "tree/files/main" / name)) << name;
  }
  for (const std::string hidden : {".publish-state.json", ".publishing/0"}) EXPECT_EQ(status(hidden), "403") << hidden;
}

// A player polls while a large release is published: every update ends current, whether it
// read the old list or the new one. A run killed half-way leaves the served release whole.
TEST(Publisher, ClientsNeverSeeAHalfPublishedReleaseEvenAfterAKilledRun) {
  TempFolder work;
  const Files first{{"a.txt", "alpha"}, {"big.bin", noise(8 << 20, 1)}, {"gone.txt", "old"}, {"keep.txt", "same"}};
  const Files second{{"a.txt", "ALPHA"}, {"big.bin", noise(8 << 20, 2)}, {"keep.txt", "same"}, {"new/n.txt", "new"}, {"z.txt", "last"}};
  Files third = second;
  third["big.bin"] = noise(12 << 20, 3);
  third["a.txt"] = "third";
  third.erase("z.txt");
  writeRelease(work, first);
  writePlan(work);
  ASSERT_EQ(publish(work).exitCode, 0);
  NginxServer nginx(NginxOptions{work / "tree", shippedServerConfig(), ""});
  fs::create_directories(work / "installation");
  const auto cli = [&](const std::string& command) {
    ProgramOptions options;
    options.workingDirectory = (work / "installation").string();
    return runProgram(QUARNMP_CLI_EXE, {command, "--server", nginx.url("/")}, options);
  };
  const auto installed = [&](const Files& release) {
    for (const auto& [key, content] : release)
      if (readFile(work / "installation/QuarnServer" / key) != content) return false;
    return true;
  };
  ASSERT_EQ(cli("update").exitCode, 0);

  writeRelease(work, second);
  {
    ServerProcess publisher(QUARNMP_PUBLISH_EXE, {(work / "plan.json").string(), (work / "tree").string()}, work / "publish.log");
    for (bool last = false; !last;) {
      last = !publisher.running();
      const auto update = cli("update");
      ASSERT_EQ(update.exitCode, 0) << update.err << update.out;
    }
  }
  EXPECT_NE(readFile(work / "publish.log").find("published 5 files"), std::string::npos) << readFile(work / "publish.log");
  EXPECT_TRUE(installed(second));

  writeRelease(work, third);
  const Files beforeDryRun = snapshot(work / "tree");
  const auto dryRun = publish(work, "--dry-run");
  EXPECT_EQ(dryRun.out, "write files/main/a.txt\nwrite files/main/big.bin\nwrite lists/main\nwrite json\nremove files/main/z.txt\n"
                        "would publish 4 files (2 compressed, 1 removed) in 1 sets\n");
  EXPECT_EQ(snapshot(work / "tree"), beforeDryRun);
  {
    ServerProcess publisher(QUARNMP_PUBLISH_EXE, {(work / "plan.json").string(), (work / "tree").string()}, work / "killed.log");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    const auto halfway = [&] {  // the new a.txt is in place and big.bin is being compressed
      if (readFile(work / "tree/files/main/a.txt") == beforeDryRun.at("files/main/a.txt")) return false;
      std::error_code error;
      for (fs::recursive_directory_iterator item(work / "tree", error), end; !error && item != end; item.increment(error))
        if (item->file_size(error) > (1 << 20) && !error && !beforeDryRun.count(fs::relative(item->path(), work / "tree").string())) return true;
      return false;
    };
    while (publisher.running() && !halfway() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(publisher.running()) << "the run ended before it could be killed";
  }  // killed with SIGKILL
  for (const auto& [path, content] : snapshot(work / "tree"))
    EXPECT_TRUE(path.front() == '.' || content == "/" || beforeDryRun.count(path)) << "left under a served path: " << path;
  EXPECT_EQ(cli("check").exitCode, 0) << "the catalogue and list of the second release stay in place";
  const auto again = publish(work);
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_FALSE(fs::exists(work / "tree/.publishing"));
  EXPECT_FALSE(fs::exists(work / "tree/files/main/z.txt"));
  EXPECT_EQ(cli("update").exitCode, 0);
  EXPECT_TRUE(installed(third));
}
