// The engine against a scripted loopback server: what the catalogue, the file lists and
// the files may look like, and how the tasks report what happened. Each test runs in its
// own installation folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <nlohmann/json.hpp>

#include "platform/files.h"
#include "tests/update/served_documents.h"
#include "update/file_digest.h"
#include "update/install_files.h"
#include "update/server_address.h"
#include "update/tasks.h"
#include "update/updater_hash.h"

using namespace update_testing;
using testing_support::readFile;
using testing_support::ScriptedServer;
using testing_support::writeFile;

namespace {

const std::string helloDigest = "5d41402abc4b2a76b9719d911017c592";  // "hello"
const std::string worldDigest = "7d793037a0760186574b0282f2f435e7";  // "world"

std::string entry(const std::string& name, const std::string& url, const std::string& destination = "QuarnServer") {
  return R"({"name": ")" + name + R"(", "description": "d", "sourcepath": "files/)" + name +
         R"(", "destinationpath": ")" + destination + R"(", "url": ")" + url + R"(", "default": true})";
}

struct Served {
  std::map<std::string, std::string> responses;
  void document(const std::string& path, const std::string& json) { responses[path] = okResponse(zlibOf(json)); }
};

void runFetch() {
  startFetch();
  finishTask();
}

void fetchAndCompare() {
  runFetch();
  ASSERT_EQ(updaterState().errorCode, UpdateError::None) << updaterState().taskFailureText;
  startDiff();
  finishTask();
}

}  // namespace

TEST(CatalogueFetch, AcceptsEmptyNullAndObjectCatalogues) {
  Served served;
  ScriptedServer server(serveByPath({{"/json", okResponse(zlibOf("[]"))}}));
  InstallationRoot root(server.url());
  runFetch();
  EXPECT_EQ(updaterState().errorCode, UpdateError::None);
  EXPECT_FALSE(hasCatalogue());
  startDiff();
  EXPECT_FALSE(isTaskRunning());

  ScriptedServer nullServer(serveByPath({{"/json", okResponse(gzipOf("null"))}}));
  setServerBaseUrl(nullServer.url());
  runFetch();
  EXPECT_EQ(updaterState().errorCode, UpdateError::None);
  EXPECT_FALSE(hasCatalogue());

  served.document("/json", "{\"z\": " + entry("second", "lists/b") + ", \"a\": " + entry("first", "lists/a") + "}");
  served.document("/lists/a", "null");
  served.document("/lists/b", R"({"x": "h"})");
  ScriptedServer objectServer(serveByPath(served.responses));
  setServerBaseUrl(objectServer.url());
  runFetch();
  const UpdaterState& state = updaterState();
  ASSERT_EQ(state.catalogue.size(), 2u);
  EXPECT_EQ(state.catalogue[0].name, "first");
  EXPECT_TRUE(state.catalogueFiles[0].empty());
  EXPECT_EQ(state.catalogueFiles[1][0].localPath, "QuarnServer/x");
  EXPECT_EQ(state.fetchProgress, 1.0);
}

TEST(CatalogueFetch, SecondListMissingLeavesThePartialCatalogue) {
  Served served;
  served.document("/json", "[" + entry("one", "lists/one") + "," + entry("two", "lists/two") + "]");
  served.document("/lists/one", R"({"b": "1", "a": "2", "A": "3", "maps/My Map.txt": "4"})");
  ScriptedServer server(serveByPath(served.responses));
  InstallationRoot root(server.url());
  runFetch();
  const UpdaterState& state = updaterState();
  EXPECT_EQ(state.errorCode, UpdateError::FetchFailed);
  ASSERT_EQ(state.catalogue.size(), 1u);
  std::vector<std::string> order;
  for (const FileRecord& record : state.catalogueFiles[0]) order.push_back(record.localPath);
  EXPECT_EQ(order, (std::vector<std::string>{"QuarnServer/A", "QuarnServer/a", "QuarnServer/b",
                                             "QuarnServer/maps/My Map.txt"}));
  EXPECT_EQ(state.catalogueFiles[0][3].sourcePath, "files/one/maps/My Map.txt");
  EXPECT_EQ(state.fetchProgress, 0.5);
}

TEST(CatalogueFetch, MalformedEntriesAndBodiesFailTheFetch) {
  const std::string noDefault = R"([{"name": "n", "description": "d", "sourcepath": "s", "destinationpath": "d", "url": "u"}])";
  const std::string stringDefault = R"([{"name": "n", "description": "d", "sourcepath": "s", "destinationpath": "d",
                                        "url": "u", "default": "true"}])";
  for (const std::string& body : {zlibOf(noDefault), zlibOf(stringDefault), rawDeflateOf("[]"), zlibOf("[{")}) {
    ScriptedServer server(serveByPath({{"/json", okResponse(body)}}));
    InstallationRoot root(server.url());
    runFetch();
    EXPECT_EQ(updaterState().errorCode, UpdateError::FetchFailed);
    EXPECT_FALSE(updaterState().taskFailureText.empty());
  }
  const std::string cut = zlibOf("[]" + std::string(5000, ' '));
  for (const std::string& response : {okResponse(""), okResponse(cut.substr(0, cut.size() - 4))}) {
    ScriptedServer server(serveByPath({{"/json", response}}));
    InstallationRoot root(server.url());
    runFetch();
    EXPECT_EQ(updaterState().errorCode, UpdateError::FetchFailed);
    EXPECT_TRUE(updaterState().taskFailureText.empty()) << "a failed download, not an exception";
  }
}

TEST(CatalogueFetch, PathsOutsideTheInstallationAreRefusedBeforeAnythingIsWritten) {
  for (const std::string& key : {"../outside.txt", "..\\outside.txt", "C:/outside.txt", "sub/../../outside.txt"}) {
    Served served;
    served.document("/json", "[" + entry("main", "lists/main") + "]");
    served.document("/lists/main", nlohmann::json{{"ok.txt", helloDigest}, {key, helloDigest}}.dump());
    served.responses["/files/main/ok.txt"] = okResponse(zlibOf("hello"));
    ScriptedServer server(serveByPath(served.responses));
    InstallationRoot root(server.url());
    std::filesystem::create_directories(root / "sandbox");
    std::filesystem::current_path(root / "sandbox");
    runFetch();
    EXPECT_EQ(updaterState().errorCode, UpdateError::FetchFailed) << key;
    EXPECT_NE(updaterState().taskFailureText.find("outside the installation"), std::string::npos);
    EXPECT_FALSE(hasCatalogue());
    startUpdateDiff();  // nothing was compared, so nothing is installed
    finishTask();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root.path()), {}), 1) << "only the sandbox";
  }
  for (const std::string& destination : {"../elsewhere", "/tmp", "", "C:"}) {
    Served served;
    served.document("/json", "[" + entry("main", "lists/main", destination) + "]");
    served.document("/lists/main", R"({"a.txt": "x"})");
    ScriptedServer server(serveByPath(served.responses));
    InstallationRoot root(server.url());
    runFetch();
    EXPECT_EQ(updaterState().errorCode, UpdateError::FetchFailed) << destination;
  }
}

TEST(UpdaterDigest, IsTakenAsSentAndFailuresRecordNothing) {
  ScriptedServer server(std::vector<testing_support::ConnectionScript>{
      serveByPath({{"/QuarnMpUpdater/", okResponse("5D41402ABC4B2A76B9719D911017C592\n")}}),
      serveByPath({}),
  });
  InstallationRoot root(server.url());
  fetchUpdaterHash();
  EXPECT_TRUE(takeUpdaterHashFetched());
  EXPECT_FALSE(takeUpdaterHashFetched());
  EXPECT_EQ(updaterHash(), "5D41402ABC4B2A76B9719D911017C592\n");
  fetchUpdaterHash();  // 404
  EXPECT_FALSE(takeUpdaterHashFetched());
  EXPECT_EQ(updaterHash(), "5D41402ABC4B2A76B9719D911017C592\n");
  setServerBaseUrl("http://127.0.0.1:1/");  // refused
  fetchUpdaterHash();
  EXPECT_FALSE(takeUpdaterHashFetched());
}

TEST(Installation, ComparesOnlyTheFirstSetAndInstallsWithSpacesInNames) {
  Served served;
  served.document("/json", "[" + entry("main", "lists/main") + "," + entry("other", "lists/other", "Other") + "]");
  served.document("/lists/main", nlohmann::json{{"maps/My Map.txt", helloDigest}, {"bin/new/x.dll", worldDigest}}.dump());
  served.document("/lists/other", nlohmann::json{{"o.txt", helloDigest}}.dump());
  served.responses["/files/main/maps/My%20Map.txt"] = okResponse(gzipOf("hello"));
  served.responses["/files/main/bin/new/x.dll"] = okResponse(zlibOf("world"));
  ScriptedServer server(serveByPath(served.responses));
  InstallationRoot root(server.url());
  fetchAndCompare();
  EXPECT_EQ(differingPaths(), (std::vector<std::string>{"QuarnServer/bin/new/x.dll", "QuarnServer/maps/My Map.txt"}));
  startUpdateDiff();
  finishTask();
  EXPECT_EQ(updaterState().errorCode, UpdateError::None) << updaterState().taskFailureText;
  EXPECT_FALSE(hasDifferences());
  EXPECT_EQ(readFile(root / "QuarnServer/maps/My Map.txt"), "hello");
  EXPECT_EQ(readFile(root / "QuarnServer/bin/new/x.dll"), "world");
  EXPECT_FALSE(std::filesystem::exists(root / "Other"));
  EXPECT_EQ(updaterState().updateDiffProgress, 1.0);
}

TEST(Installation, FailedDownloadsAndWritesKeepTheOldFiles) {
  std::mt19937 random(7);
  std::string noise(200000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  const std::string cutBody = zlibOf(noise).substr(0, 30000);
  Served served;
  served.document("/json", "[" + entry("main", "lists/main") + "]");
  served.document("/lists/main", nlohmann::json{{"cut.bin", "a"}, {"locked.txt", "b"}, {"missing.txt", "c"},
                                                {"z.txt", helloDigest}}.dump());
  served.responses["/files/main/cut.bin"] = okResponse(cutBody);
  served.responses["/files/main/locked.txt"] = okResponse(zlibOf("new content"));
  served.responses["/files/main/z.txt"] = okResponse(zlibOf("hello"));
  ScriptedServer server(serveByPath(served.responses));
  InstallationRoot root(server.url());
  writeFile(root / "QuarnServer/cut.bin", "old cut");
  writeFile(root / "QuarnServer/locked.txt", "old locked");
  std::filesystem::permissions(root / "QuarnServer/locked.txt", std::filesystem::perms::owner_read |
                                                                   std::filesystem::perms::group_read);
  fetchAndCompare();
  startUpdateDiff();
  finishTask();
  EXPECT_EQ(updaterState().errorCode, UpdateError::None);
  EXPECT_TRUE(readFile(root / "QuarnServer/cut.bin") == "old cut") << "a cut body replaced the file";
  EXPECT_EQ(readFile(root / "QuarnServer/locked.txt"), "old locked");
  EXPECT_EQ(readFile(root / "QuarnServer/z.txt"), "hello");
  EXPECT_FALSE(std::filesystem::exists(root / "QuarnServer/missing.txt"));
  EXPECT_EQ(differingPaths(), (std::vector<std::string>{"QuarnServer/cut.bin", "QuarnServer/locked.txt",
                                                        "QuarnServer/missing.txt"}));
  for (const auto& item : std::filesystem::directory_iterator(root / "QuarnServer"))
    EXPECT_EQ(item.path().filename().string().find(".tmp"), std::string::npos) << item.path();
}

TEST(Installation, CorruptCacheIsReplacedByTheNextComparison) {
  Served served;
  served.document("/json", "[" + entry("main", "lists/main") + "]");
  served.document("/lists/main", nlohmann::json{{"a.txt", helloDigest}}.dump());
  ScriptedServer server(serveByPath(served.responses));
  InstallationRoot root(server.url());
  writeFile(root / "QuarnServer/a.txt", "hello");
  writeFile(root / "updater_filemeta.json", "{\"QuarnServer/a.txt\": {\"hash\": 1}");
  fetchAndCompare();
  EXPECT_EQ(updaterState().errorCode, UpdateError::None);
  EXPECT_FALSE(hasDifferences());
  const auto cache = nlohmann::json::parse(readFile(root / "updater_filemeta.json"));
  EXPECT_EQ(cache["QuarnServer/a.txt"]["hash"], helloDigest);
}

TEST(Tasks, AnExceptionSetsThePhaseErrorAndTheNextTaskStillRuns) {
  InstallationRoot root("http://127.0.0.1:1/");  // connection refused
  runFetch();
  EXPECT_EQ(updaterState().errorCode, UpdateError::FetchFailed);
  EXPECT_NE(updaterState().taskFailureText.find("Failed to connect"), std::string::npos);
  EXPECT_FALSE(isTaskRunning());

  updaterState().selectedFiles = {{"files/a", "QuarnServer/a", helloDigest}};
  {
    std::lock_guard lock(updaterState().differingFilesMutex);
    updaterState().differingFiles = updaterState().selectedFiles;
  }
  startUpdateDiff();
  EXPECT_EQ(updaterState().errorCode, UpdateError::None);
  finishTask();
  EXPECT_EQ(updaterState().errorCode, UpdateError::UpdateFailed);
  EXPECT_EQ(updaterState().phase, UpdatePhase::UpdateDiff);

  startDiff();  // the catalogue is empty: no task
  EXPECT_EQ(updaterState().errorCode, UpdateError::None);
  EXPECT_FALSE(isTaskRunning());
}

TEST(Tasks, ProgressFollowsThePhase) {
  InstallationRoot root("http://127.0.0.1:1/");
  UpdaterState& state = updaterState();
  state.fetchProgress = 0.1;
  state.diffProgress = 0.2;
  state.updateProgress = 0.3;
  state.updateDiffProgress = 0.4;
  const std::pair<UpdatePhase, double> expected[] = {
      {UpdatePhase::Fetch, 0.1}, {UpdatePhase::Diff, 0.2}, {UpdatePhase::Update, 0.3}, {UpdatePhase::UpdateDiff, 0.4}};
  for (const auto& [phase, progress] : expected) {
    state.phase = phase;
    EXPECT_EQ(currentProgress(), progress);
  }
  // A comparison over nothing leaves diffProgress as it was; an installation over nothing ends at 1.
  startUpdateDiff();
  finishTask();
  EXPECT_EQ(state.errorCode, UpdateError::None);
  EXPECT_EQ(state.updateProgress, 1.0);
  EXPECT_EQ(state.diffProgress, 0.2);
  EXPECT_EQ(state.updateDiffProgress, 1.0);
}
