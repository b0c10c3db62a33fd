// The engine against a scripted loopback server: what the catalogue, the file lists and the
// files may look like, and how the tasks report it. Each test runs in its own installation.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>

#include "tests/update/served_documents.h"
#include "update/server_address.h"
#include "update/tasks.h"
#include "update/updater_hash.h"

using namespace update_testing;
using testing_support::readFile;
using testing_support::writeFile;
using Responses = std::map<std::string, std::string>;

namespace {

const std::string helloDigest = "5d41402abc4b2a76b9719d911017c592";  // MD5 of "hello"

std::string entry(const std::string& name, const std::string& destination = "QuarnServer") {
  return nlohmann::json{{"name", name},         {"description", "d"}, {"sourcepath", "files/" + name},
                        {"destinationpath", destination}, {"url", "lists/" + name}, {"default", true}}
      .dump();
}

// The catalogue, then each file list, compressed and answered with 200.
Responses documents(const std::string& catalogue, const Responses& lists = {}) {
  Responses responses{{"/json", okResponse(zlibOf(catalogue))}};
  for (const auto& [name, list] : lists) responses["/lists/" + name] = okResponse(zlibOf(list));
  return responses;
}

// A scripted server and an installation folder whose engine asks it.
struct Site {
  explicit Site(const Responses& responses) : server(serveByPath(responses)), root(server.url()) {}
  testing_support::ScriptedServer server;
  InstallationRoot root;
};

void run(void (*start)()) {
  start();
  finishTask();
}

}  // namespace

TEST(CatalogueFetch, AcceptsEmptyNullAndObjectCatalogues) {
  for (const char* empty : {"[]", "null"}) {
    Site site(documents(empty));
    run(startFetch);
    EXPECT_EQ(updaterState().errorCode, UpdateError::None);
    EXPECT_FALSE(hasCatalogue());
    run(startDiff);  // nothing to compare: no task starts
    EXPECT_EQ(updaterState().diffProgress, 0.0);
  }
  Site site(documents("{\"z\": " + entry("second") + ", \"a\": " + entry("first") + "}",
                      {{"first", "null"}, {"second", R"({"x": "h"})"}}));
  run(startFetch);
  const UpdaterState& state = updaterState();
  ASSERT_EQ(state.catalogue.size(), 2u);
  EXPECT_EQ(state.catalogue[0].name, "first");
  EXPECT_TRUE(state.catalogueFiles[0].empty());
  EXPECT_EQ(state.catalogueFiles[1][0].localPath, "QuarnServer/x");
  EXPECT_EQ(state.fetchProgress, 1.0);
}

TEST(CatalogueFetch, SecondListMissingLeavesThePartialCatalogueInKeyOrder) {
  Site site(documents("[" + entry("one") + "," + entry("two") + "]",
                      {{"one", R"({"b": "1", "a": "2", "A": "3", "maps/My Map.txt": "4"})"}}));
  run(startFetch);
  const UpdaterState& state = updaterState();
  EXPECT_EQ(state.errorCode, UpdateError::FetchFailed);
  ASSERT_EQ(state.catalogue.size(), 1u);
  std::vector<std::string> order;
  for (const FileRecord& record : state.catalogueFiles[0]) order.push_back(record.localPath);
  EXPECT_EQ(order, (std::vector<std::string>{"QuarnServer/A", "QuarnServer/a", "QuarnServer/b",
                                             "QuarnServer/maps/My Map.txt"}));
  EXPECT_EQ(state.catalogueFiles[0][3].sourcePath, "files/one/maps/My Map.txt");
  EXPECT_EQ(state.fetchProgress, 0.5);
  run(startDiff);  // the completed set can still be compared
  EXPECT_EQ(differingPaths().size(), 4u);
}

TEST(CatalogueFetch, MalformedDocumentsThrowAndIncompleteBodiesAreFailedDownloads) {
  const std::string noDefault = R"([{"name": "n", "description": "d", "sourcepath": "s", "destinationpath": "d", "url": "u"}])";
  const std::string textDefault = noDefault.substr(0, noDefault.size() - 2) + R"(, "default": "true"}])";
  for (const std::string& body : {zlibOf(noDefault), zlibOf(textDefault), rawDeflateOf("[]"), zlibOf("[{")}) {
    Site site({{"/json", okResponse(body)}});
    run(startFetch);
    EXPECT_EQ(updaterState().errorCode, UpdateError::FetchFailed);
    EXPECT_FALSE(updaterState().taskFailureText.empty()) << "an exception is collected with its text";
  }
  const std::string whole = zlibOf("[]" + std::string(5000, ' '));
  for (const std::string& response : {okResponse(""), okResponse(whole.substr(0, whole.size() - 4))}) {
    Site site({{"/json", response}});
    run(startFetch);
    EXPECT_EQ(updaterState().errorCode, UpdateError::FetchFailed);
    EXPECT_TRUE(updaterState().taskFailureText.empty()) << "a failed download, not an exception";
  }
}

TEST(CatalogueFetch, PathsOutsideTheInstallationAreRefusedBeforeAnythingIsWritten) {
  const std::pair<std::string, std::string> ways[] = {
      {"QuarnServer", "../outside.txt"}, {"QuarnServer", "..\\outside.txt"}, {"QuarnServer", "C:/outside.txt"},
      {"QuarnServer", "sub/../../outside.txt"}, {"../elsewhere", "a.txt"}, {"/tmp", "a.txt"}, {"", "a.txt"}};
  for (const auto& [destination, key] : ways) {
    Responses responses = documents("[" + entry("main", destination) + "]",
                                    {{"main", nlohmann::json{{"0.txt", helloDigest}, {key, helloDigest}}.dump()}});
    responses["/files/main/0.txt"] = okResponse(zlibOf("hello"));
    Site site(responses);
    std::filesystem::create_directories(site.root / "sandbox");
    std::filesystem::current_path(site.root / "sandbox");
    run(startFetch);
    EXPECT_EQ(updaterState().errorCode, UpdateError::FetchFailed) << destination << " " << key;
    EXPECT_NE(updaterState().taskFailureText.find("outside the installation"), std::string::npos);
    EXPECT_FALSE(hasCatalogue());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(site.root.path()), {}), 1) << "only the sandbox";
  }
}

TEST(UpdaterDigest, IsTakenAsSentAndFailuresRecordNothing) {
  testing_support::ScriptedServer server(std::vector<testing_support::ConnectionScript>{
      serveByPath({{"/QuarnMpUpdater/", okResponse("5D41402ABC4B2A76B9719D911017C592\n")}}), serveByPath({})});
  InstallationRoot root(server.url());
  fetchUpdaterHash();
  EXPECT_TRUE(takeUpdaterHashFetched());
  EXPECT_FALSE(takeUpdaterHashFetched());
  fetchUpdaterHash();  // 404
  EXPECT_FALSE(takeUpdaterHashFetched());
  EXPECT_EQ(updaterHash(), "5D41402ABC4B2A76B9719D911017C592\n");
  setServerBaseUrl("http://127.0.0.1:1/");  // refused
  fetchUpdaterHash();
  EXPECT_FALSE(takeUpdaterHashFetched());
}

TEST(Installation, FailedDownloadsAndWritesKeepTheOldFiles) {
  std::mt19937 random(7);
  std::string noise(200000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  Responses responses = documents("[" + entry("main") + "]", {{"main", nlohmann::json{
      {"cut.bin", "a"}, {"locked.txt", "b"}, {"missing.txt", "c"}, {"z.txt", helloDigest}}.dump()}});
  responses["/files/main/cut.bin"] = okResponse(zlibOf(noise).substr(0, 30000));
  responses["/files/main/locked.txt"] = okResponse(zlibOf("new content"));
  responses["/files/main/z.txt"] = okResponse(gzipOf("hello"));
  Site site(responses);
  writeFile(site.root / "QuarnServer/cut.bin", "old cut");
  writeFile(site.root / "QuarnServer/locked.txt", "old locked");
  std::filesystem::permissions(site.root / "QuarnServer/locked.txt", std::filesystem::perms::owner_read);
  run(startFetch);
  run(startDiff);
  run(startUpdateDiff);
  EXPECT_EQ(updaterState().errorCode, UpdateError::None);
  EXPECT_TRUE(readFile(site.root / "QuarnServer/cut.bin") == "old cut") << "a cut body replaced the file";
  EXPECT_EQ(readFile(site.root / "QuarnServer/locked.txt"), "old locked");
  EXPECT_EQ(readFile(site.root / "QuarnServer/z.txt"), "hello");
  EXPECT_EQ(differingPaths(), (std::vector<std::string>{"QuarnServer/cut.bin", "QuarnServer/locked.txt",
                                                        "QuarnServer/missing.txt"}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(site.root / "QuarnServer"), {}), 3) << "no temporary files";
}

TEST(Installation, ACorruptCacheIsReplacedByTheNextComparison) {
  Site site(documents("[" + entry("main") + "]", {{"main", nlohmann::json{{"a.txt", helloDigest}}.dump()}}));
  writeFile(site.root / "QuarnServer/a.txt", "hello");
  writeFile(site.root / "updater_filemeta.json", "{\"QuarnServer/a.txt\": {\"hash\": 1}");
  run(startFetch);
  run(startDiff);
  EXPECT_EQ(updaterState().errorCode, UpdateError::None);
  EXPECT_FALSE(hasDifferences());
  EXPECT_EQ(nlohmann::json::parse(readFile(site.root / "updater_filemeta.json"))["QuarnServer/a.txt"]["hash"], helloDigest);
}

TEST(Tasks, AnExceptionSetsThePhaseErrorAndTheNextTaskStillRuns) {
  InstallationRoot root("http://127.0.0.1:1/");  // connection refused
  run(startFetch);
  EXPECT_EQ(updaterState().errorCode, UpdateError::FetchFailed);
  EXPECT_NE(updaterState().taskFailureText.find("Failed to connect"), std::string::npos);

  UpdaterState& state = updaterState();
  state.diffProgress = 0.25;
  run(startUpdateDiff);  // nothing differs: installs nothing, compares nothing
  EXPECT_EQ(state.errorCode, UpdateError::None);
  EXPECT_EQ(state.updateProgress, 1.0);
  EXPECT_EQ(state.diffProgress, 0.25);
  EXPECT_EQ(state.updateDiffProgress, 1.0);

  state.differingFiles = {{"files/a", "QuarnServer/a", helloDigest}};
  run(startUpdateDiff);
  EXPECT_EQ(state.errorCode, UpdateError::UpdateFailed);
  EXPECT_EQ(currentProgress(), state.updateDiffProgress);
}
