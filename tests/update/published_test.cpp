// The way a server host and a player meet the engine: quarnmp-publish makes a tree from
// mod folders, nginx serves it with the repository's configuration, and quarnmp-cli
// brings an installation up to date.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/support/nginx_fixture.h"
#include "tests/support/run_program.h"
#include "tests/update/served_documents.h"
#include "platform/files.h"
#include "update/file_digest.h"
#include "update/inflate.h"

using namespace update_testing;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::TempFolder;
using testing_support::writeFile;
namespace fs = std::filesystem;

namespace {

// The server block of tools/nginx-update-server.conf without its own port and root.
std::string shippedServerConfig() {
  const std::string file = readFile(fs::path(QUARNMP_SOURCE_DIR) / "tools/nginx-update-server.conf");
  const auto start = file.find('\n', file.find("server {")) + 1;
  std::istringstream block(file.substr(start, file.rfind('}') - start));
  std::string line, body;
  while (std::getline(block, line)) {
    if (line.find("listen ") == std::string::npos && line.find("root ") == std::string::npos) body += line + "\n";
  }
  return body;
}

class PublishedTree : public ::testing::Test {
 protected:
  void SetUp() override {
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
    fs::create_directories(installation);
    ASSERT_EQ(publish().exitCode, 0);
    nginx = std::make_unique<testing_support::NginxServer>(
        testing_support::NginxOptions{work / "tree", shippedServerConfig(), ""});
    serverUrl = nginx->url("/");
  }

  testing_support::ProgramResult publish() {
    return runProgram(QUARNMP_PUBLISH_EXE, {(work / "plan.json").string(), (work / "tree").string()});
  }

  testing_support::ProgramResult cli(const std::string& command) {
    testing_support::ProgramOptions options;
    options.workingDirectory = installation.string();
    return runProgram(QUARNMP_CLI_EXE, {command, "--server", serverUrl}, options);
  }

  void keepTime(const fs::path& file, const std::string& content) {
    const auto time = fs::last_write_time(file);
    writeFile(file, content);
    fs::last_write_time(file, time);
  }

  TempFolder work;
  fs::path installation = work / "installation";
  std::unique_ptr<testing_support::NginxServer> nginx;
  std::string serverUrl;
};

}  // namespace

TEST_F(PublishedTree, UpdateBringsAnEmptyInstallationUpToDate) {
  auto check = cli("check");
  EXPECT_EQ(check.exitCode, 1) << check.err;
  EXPECT_EQ(check.out, "QuarnServer/a.txt\nQuarnServer/bin/new/x.dll\nQuarnServer/maps/My Map.txt\n");
  const auto update = cli("update");
  EXPECT_EQ(update.exitCode, 0) << update.err;
  EXPECT_NE(update.err.find("update: 100%"), std::string::npos) << update.err;
  check = cli("check");
  EXPECT_EQ(check.exitCode, 0) << check.err;
  EXPECT_EQ(check.out, "");
  for (const std::string key : {"a.txt", "maps/My Map.txt", "bin/new/x.dll"})
    EXPECT_TRUE(readFile(installation / "QuarnServer" / key) == readFile(work / "mod/main" / key)) << key;
  EXPECT_FALSE(fs::exists(installation / "extra1"));
  EXPECT_EQ(readFile(work / "tree/QuarnMpUpdater/index.html"), md5OfFile((work / "updater.exe").string()));
}

TEST_F(PublishedTree, AnUnchangedInstallationIsComparedByTimeAlone) {
  ASSERT_EQ(cli("update").exitCode, 0);
  const fs::path file = installation / "QuarnServer/a.txt";
  keepTime(file, "changed behind the cache's back");
  EXPECT_EQ(cli("check").exitCode, 0) << "a file with its cached time was read";

  keepTime(file, "alpha");
  fs::last_write_time(file, fs::last_write_time(file) + std::chrono::hours(1));
  EXPECT_EQ(cli("check").exitCode, 0);
  const auto cache = nlohmann::json::parse(readFile(installation / "updater_filemeta.json"));
  EXPECT_EQ(cache["QuarnServer/a.txt"]["modtime"], platform::modificationTime(file.string()).value());

  writeFile(file, "changed with a new time");
  fs::last_write_time(file, fs::last_write_time(file) + std::chrono::hours(2));
  EXPECT_EQ(cli("check").exitCode, 1);
  EXPECT_EQ(cli("update").exitCode, 0);
  EXPECT_EQ(readFile(file), "alpha");
}

TEST_F(PublishedTree, RepublishingCompressesOnlyWhatChanged) {
  auto again = publish();
  EXPECT_NE(again.out.find("(0 compressed, 0 removed)"), std::string::npos) << again.out;
  writeFile(work / "mod/main/a.txt", "alpha, second edition");
  fs::remove(work / "mod/main/maps/My Map.txt");
  again = publish();
  EXPECT_NE(again.out.find("(1 compressed, 1 removed)"), std::string::npos) << again.out;
  EXPECT_FALSE(fs::exists(work / "tree/files/main/maps/My Map.txt"));
  EXPECT_EQ(cli("update").exitCode, 0);
  EXPECT_EQ(readFile(installation / "QuarnServer/a.txt"), "alpha, second edition");
  EXPECT_FALSE(fs::exists(installation / "QuarnServer/maps"));  // not in the list, never created
}

TEST_F(PublishedTree, UpperCaseDigestsNeverMatchAndServerFailuresAreErrors) {
  const std::string body = readFile(work / "tree/lists/main");
  nlohmann::json files = nlohmann::json::parse(inflateToText(body.data(), body.size()));
  for (auto& digest : files) {
    std::string text = digest.get<std::string>();
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    digest = text;
  }
  writeFile(work / "tree/lists/main", zlibOf(files.dump()));
  EXPECT_EQ(cli("update").exitCode, 1);
  EXPECT_EQ(cli("update").exitCode, 1);
  EXPECT_EQ(readFile(installation / "QuarnServer/a.txt"), "alpha");

  fs::remove(work / "tree/json");
  const auto missing = cli("check");
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_NE(missing.err.find("fetch failed"), std::string::npos) << missing.err;
  nginx.reset();
  EXPECT_EQ(cli("update").exitCode, 2);
}
