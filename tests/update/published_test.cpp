// quarnmp-publish makes a tree from mod folders, a server serves it, quarnmp-cli brings an installation up to date.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/files.h"
#include "tests/support/nginx_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_server.h"
#include "update/file_digest.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

ProgramResult publish(const TempFolder& work) {
  return runProgram(QUARNMP_PUBLISH_EXE, {(work / "plan.json").string(), (work / "tree").string()});
}

}  // namespace

TEST(PublishedTree, APlanThatCannotBeUsedIsRefusedBeforeTheTreeIsTouched) {
  TempFolder work;
  writeFile(work / "mod/a.txt", "a");
  const std::string set = R"("name": "M", "sourcepath": "files", "destinationpath": "Q", "url": "list", "folder": "mod")";
  const std::pair<std::string, std::string> plans[] = {
      {"[]", "is not a JSON object"}, {"{}", "\"sets\" is missing"}, {R"({"sets": {}})", "must be an array"},
      {R"({"level": 10, "sets": []})", "\"level\""}, {R"({"sets": [{"name": "M"}]})", "\"sourcepath\" is missing"},
      {R"({"sets": [{)" + set + R"(, "default": "yes"}]})", "\"default\" must be"},
      {R"({"sets": [{)" + std::regex_replace(set, std::regex("\"files\""), "\"../up\"") + "}]}", "inside the tree"},
      {R"({"sets": [{)" + std::regex_replace(set, std::regex("\"Q\""), "\"C:/Q\"") + "}]}", "inside the installation"}};
  for (const auto& [plan, reason] : plans) {
    writeFile(work / "plan.json", plan);
    const auto result = publish(work);
    EXPECT_EQ(result.exitCode, 2) << plan;
    EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(work / "tree")) << plan;
  }
}

TEST(PublishedTree, TheCliBringsAnInstallationUpToDateAndReportsWhatItCannotMend) {
  TempFolder work;
  writeFile(work / "mod/main/a.txt", "alpha");
  writeFile(work / "mod/main/maps/My Map.txt", "a map with a space");
  writeFile(work / "mod/main/bin/new/x.dll", std::string(300000, 'x') + "end");
  writeFile(work / "mod/extra/e.txt", "not compared");
  writeFile(work / "updater.exe", "the updater program");
  writeFile(work / "plan.json", R"({"updater": "updater.exe", "sets": [
    {"name": "Main", "description": "the mod", "sourcepath": "files/main", "destinationpath": "QuarnServer",
     "url": "lists/main", "default": true, "folder": "mod/main"},
    {"name": "Extra", "sourcepath": "files/extra", "destinationpath": "extra1", "url": "lists/extra",
     "default": false, "folder": "mod/extra"}]})");
  ASSERT_EQ(publish(work).exitCode, 0);
  NginxServer nginx(work / "tree");
  const fs::path installation = work / "installation";
  fs::create_directories(installation);
  const auto cli = [&](const std::string& command, const std::string& server = "/") {
    ProgramOptions options;
    options.workingDirectory = installation.string();
    return withUnixLineEnds(runProgram(QUARNMP_CLI_EXE, {command, "--server", nginx.url(server)}, options));
  };

  auto check = cli("check");
  EXPECT_EQ(check.exitCode, 1) << check.err;
  EXPECT_EQ(check.out, "QuarnServer/a.txt\nQuarnServer/bin/new/x.dll\nQuarnServer/maps/My Map.txt\n");
  const auto update = cli("update");
  EXPECT_EQ(update.exitCode, 0) << update.err;
  EXPECT_NE(update.err.find("update: 100%"), std::string::npos) << update.err;
  check = cli("check", "");  // the slash after the address is added
  EXPECT_EQ(check.exitCode, 0) << check.err;
  EXPECT_EQ(check.out, "");
  for (const std::string key : {"a.txt", "maps/My Map.txt", "bin/new/x.dll"})
    EXPECT_TRUE(readFile(installation / "QuarnServer" / key) == readFile(work / "mod/main" / key)) << key;
  EXPECT_FALSE(fs::exists(installation / "extra1"));  // only the first set is compared
  EXPECT_EQ(readFile(work / "tree/QuarnMpUpdater/index.html"), md5OfFile((work / "updater.exe").string()));

  // A touched file is hashed again and its new time recorded.
  const fs::path file = installation / "QuarnServer/a.txt";
  const auto time = fs::last_write_time(file) - std::chrono::hours(6);
  writeFile(file, "alpha");
  fs::last_write_time(file, time + std::chrono::hours(1));
  EXPECT_EQ(cli("check").exitCode, 0);
  const std::string cacheText = readFile(installation / "updater_filemeta.json");
  EXPECT_TRUE(cacheText.ends_with(std::string(programLineEnd) + " }" + programLineEnd + "}")) << cacheText;
  const auto cache = nlohmann::json::parse(cacheText);
  EXPECT_EQ(cache["QuarnServer/a.txt"]["modtime"], platform::modificationTime(file.string()).value());
  writeFile(file, "changed with a new time");
  fs::last_write_time(file, time + std::chrono::hours(2));
  EXPECT_EQ(cli("check").exitCode, 1);

  // Republishing compresses only what changed, and the change reaches the installation.
  // A source time not older than the publication (here: one ahead) may hide a later edit of
  // the same size in the same second, so it is not trusted.
  const auto ahead = fs::file_time_type::clock::now() + std::chrono::hours(1);
  fs::last_write_time(work / "mod/main/a.txt", ahead);
  fs::remove(work / "tree/files/main/bin/new/x.dll");  // lost from the tree: made again
  auto again = publish(work);
  EXPECT_NE(again.out.find("(1 compressed, 0 removed)"), std::string::npos) << again.out;
  writeFile(work / "mod/main/a.txt", "ALPHA");
  fs::last_write_time(work / "mod/main/a.txt", ahead);
  fs::last_write_time(work / "mod/main/bin/new/x.dll", time + std::chrono::hours(4));  // touched, not changed
  fs::remove(work / "mod/main/maps/My Map.txt");
  again = publish(work);
  EXPECT_NE(again.out.find("(1 compressed, 0 removed, 1 retired)"), std::string::npos) << again.out;
  EXPECT_EQ(cli("update").exitCode, 0);
  EXPECT_EQ(readFile(file), "ALPHA");

  // A file that cannot be replaced still differs after an update; a server failure is an error.
  writeFile(file, "stale");
  fs::last_write_time(file, time + std::chrono::hours(3));
  fs::permissions(file, fs::perms::owner_read);
  const auto stuck = cli("update");
  EXPECT_EQ(stuck.exitCode, 2) << stuck.err;
  EXPECT_NE(stuck.err.find("\nQuarnServer/a.txt: cannot write"), std::string::npos) << stuck.err;
  EXPECT_NE(stuck.err.find("quarnmp-cli: update failed: 1 of 1 files could not be installed"), std::string::npos);
  fs::remove(work / "tree/json");
  const auto missing = cli("check");
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_NE(missing.err.find("fetch failed: json: HTTP status 404"), std::string::npos) << missing.err;
}

TEST(PublishedTree, AnUpdateKilledMidwayLeavesEachFileOldOrNewAndTheNextOneRepairsAll) {
  TempFolder work;
  std::string big(4 << 20, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
  const std::map<std::string, std::string> published{{"a.txt", "new a"}, {"big.bin", big}, {"z.txt", "new z"}};
  for (const auto& [key, content] : published) {
    writeFile(work / ("mod/" + key), content);
    writeFile(work / ("installation/QuarnServer/" + key), "old");
  }
  writeFile(work / "plan.json", R"({"sets": [{"name": "M", "sourcepath": "files", "destinationpath": "QuarnServer",
                                              "url": "list", "folder": "mod"}]})");
  ASSERT_EQ(publish(work).exitCode, 0);
  // Serves the tree; the first answer for big.bin stops halfway and never ends.
  std::atomic<bool> cutShort{true};
  ScriptedServer server([&](ScriptedConnection& connection) {
    const std::string request = connection.readRequest(), answer = fileAnswer(work / "tree", request);
    if (requestTarget(request).ends_with("big.bin") && cutShort.exchange(false)) {
      connection.send(answer.substr(0, answer.size() / 2));
      connection.hold();
    } else {
      connection.send(answer);
    }
  });
  ProgramOptions options;
  options.workingDirectory = (work / "installation").string();
  const int devNull = open("/dev/null", O_RDWR);
  const pid_t cli =
      spawnProgram(QUARNMP_CLI_EXE, {"update", "--server", server.url()}, options, devNull, devNull, devNull);
  const fs::path partial = work / "installation/QuarnServer/big.bin.quarnmp-download";
  for (int i = 0; i < 2000 && !(fs::exists(partial) && fs::file_size(partial) > 0); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(fs::exists(partial));
  kill(cli, SIGKILL);
  waitpid(cli, nullptr, 0);
  close(devNull);
  EXPECT_EQ(readFile(work / "installation/QuarnServer/a.txt"), "new a");
  EXPECT_EQ(readFile(work / "installation/QuarnServer/big.bin"), "old");
  EXPECT_EQ(readFile(work / "installation/QuarnServer/z.txt"), "old");

  const auto again = runProgram(QUARNMP_CLI_EXE, {"update", "--server", server.url()}, options);
  EXPECT_EQ(again.exitCode, 0) << again.err;
  for (const auto& [key, content] : published)
    EXPECT_TRUE(readFile(work / ("installation/QuarnServer/" + key)) == content) << key;
  EXPECT_FALSE(fs::exists(partial));
}
