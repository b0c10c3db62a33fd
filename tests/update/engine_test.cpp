// The engine on real files in temporary folders, and against a scripted loopback server:
// what the catalogue, the file lists and the files may look like, and how the tasks report it.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/support/run_program.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_folder.h"
#include "update/file_digest.h"
#include "update/file_meta_cache.h"
#include "update/inflate.h"
#include "update/install_files.h"
#include "update/server_address.h"
#include "update/tasks.h"
#include "update/updater_hash.h"

using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;
using Responses = std::map<std::string, std::string>;

namespace {

const std::string helloDigest = "5d41402abc4b2a76b9719d911017c592";  // MD5 of "hello"

// windowBits 15 gives a zlib stream, 31 a gzip stream, -15 raw deflate.
std::string deflated(const std::string& bytes, int windowBits = 15) {
  z_stream stream{};
  deflateInit2(&stream, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
  std::string output(deflateBound(&stream, bytes.size()) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(output.data());
  stream.avail_out = static_cast<uInt>(output.size());
  deflate(&stream, Z_FINISH);
  output.resize(stream.total_out);
  deflateEnd(&stream);
  return output;
}

std::string repeated(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>("quarn map data "[i % 15] ^ (i / 997));
  return text;
}

std::string inflated(const std::string& body) { return inflateToText(body.data(), body.size()); }

std::string okResponse(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string entry(const std::string& name, const std::string& destination = "QuarnServer") {
  return nlohmann::json{{"name", name},         {"description", "d"}, {"sourcepath", "files/" + name},
                        {"destinationpath", destination}, {"url", "lists/" + name}, {"default", true}}
      .dump();
}

// The catalogue, then each file list, compressed and answered with 200.
Responses documents(const std::string& catalogue, const Responses& lists = {}) {
  Responses responses{{"/json", okResponse(deflated(catalogue))}};
  for (const auto& [name, list] : lists) responses["/lists/" + name] = okResponse(deflated(list));
  return responses;
}

// A scripted server answering by request target (else 404), and a fresh engine whose
// installation root, the working directory, is a temporary folder.
struct Site {
  explicit Site(Responses responses)
      : server([responses = std::move(responses)](testing_support::ScriptedConnection& connection) {
          const std::string request = connection.readRequest();  // "GET <target> HTTP/1.1 ..."
          const auto end = request.find(' ', 4);
          const auto found = responses.find(end == std::string::npos ? "" : request.substr(4, end - 4));
          connection.send(found == responses.end() ? "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"
                                                   : found->second);
        }) {
    resetUpdaterState();
    setServerBaseUrl(server.url());
    std::filesystem::current_path(root.path());
  }
  ~Site() { std::filesystem::current_path(previous); }
  std::filesystem::path operator/(const std::string& relative) const { return root / relative; }

  testing_support::ScriptedServer server;
  TempFolder root;
  std::filesystem::path previous = std::filesystem::current_path();
};

void run(void (*start)()) {
  start();
  while (isTaskRunning() && !pollTask()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace

TEST(Decompression, TakesZlibAndGzipAndTellsCutStreamsFromCorruptOnes) {
  const std::string content = repeated(300000);
  for (const std::string& body : {deflated(content), deflated(content, 31), deflated(content) + "trailing bytes"})
    EXPECT_TRUE(inflated(body) == content);
  std::string corrupt = deflated(content);
  corrupt[corrupt.size() / 2] ^= 0x55;
  EXPECT_THROW(inflated(corrupt), std::runtime_error);
  EXPECT_THROW(inflated(corrupt.substr(0, corrupt.size() / 3)), IncompleteStream);
  // Contents of exactly twice their body's size fill the first output step.
  for (std::size_t size = 20; size < 400; ++size)
    if (deflated(repeated(size)).size() * 2 == size) EXPECT_EQ(inflated(deflated(repeated(size))), repeated(size));
}

TEST(LocalFiles, DigestsMatchMd5sumAndFoldersAreMadeWithEitherSeparator) {
  TempFolder folder;
  writeFile(folder / "empty", "");
  writeFile(folder / "large", repeated(3 * 1024 * 1024 + 17));  // several read pieces
  for (const char* name : {"empty", "large"}) {
    const auto md5sum = testing_support::runProgram("/usr/bin/md5sum", {(folder / name).string()});
    EXPECT_EQ(md5OfFile((folder / name).string()), md5sum.out.substr(0, 32)) << name;
  }
  EXPECT_EQ(md5OfFile((folder / "missing").string()), "0000000000000000");
  EXPECT_EQ(md5OfFile(folder.path().string()), digestFailure);  // a folder
  createDirectories(folder.path().string() + "/QuarnServer/bin\\new");
  EXPECT_TRUE(std::filesystem::is_directory(folder / "QuarnServer/bin/new"));
}

TEST(CacheFile, IsWrittenByteExactAndReadLeniently) {
  TempFolder folder;
  const std::string prefix = folder.path().string() + "/";
  const auto file = folder / "updater_filemeta.json";
  FileMetaCache cache;
  cache["b/x.dll"] = {"b/x.dll", 1700000000, "0123456789abcdef0123456789abcdef"};
  cache["a\\y"] = {"a\\y", -5, "0000000000000000"};
  writeFileMetaCache(prefix, cache);
  EXPECT_EQ(readFile(file),
            "{\n \"a\\\\y\": {\n  \"hash\": \"0000000000000000\",\n  \"modtime\": -5\n },\n"
            " \"b/x.dll\": {\n  \"hash\": \"0123456789abcdef0123456789abcdef\",\n  \"modtime\": 1700000000\n }\n}");
  writeFileMetaCache(prefix, {});
  EXPECT_EQ(readFile(file), "null");

  // Times in floating point are truncated towards zero; entries with time 0 are dropped.
  writeFile(file, R"({"a": {"hash": "h1", "modtime": 1700000000.9}, "b": {"hash": "h2", "modtime": -3.7},
                     "./a": {"hash": "h3", "modtime": 0}})");
  const FileMetaCache read = readFileMetaCache(prefix);
  EXPECT_EQ(read.size(), 2u);
  EXPECT_EQ(read.at("a").modtime, 1700000000);
  EXPECT_EQ(read.at("b").modtime, -3);
  EXPECT_EQ(read.at("b").hash, "h2");

  for (const char* unreadable : {"{not json", "[1, 2]", R"({"a": {"hash": 5, "modtime": 1}})",
                                 R"({"a": {"hash": "h", "modtime": "1"}})", R"({"a": {"hash": "h"}})",
                                 R"({"a": {"hash": "h", "modtime": 1e300}})", R"({"a": 7})"}) {
    writeFile(file, unreadable);
    EXPECT_TRUE(readFileMetaCache(prefix).empty()) << unreadable;
  }
}

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
  // Near misses of unsafe paths ("x..", "..b", ".c") are ordinary names.
  Site site(documents("[" + entry("one") + "," + entry("two") + "]",
                      {{"one", R"({"b": "1", "a": "2", "A": "3", "maps/My Map.txt": "4", "x..": "5",
                                   "a/..b/.c": "6"})"}}));
  run(startFetch);
  EXPECT_EQ(updaterState().errorCode, UpdateError::FetchFailed);
  EXPECT_EQ(updaterState().catalogue.size(), 1u);
  EXPECT_EQ(updaterState().fetchProgress, 0.5);
  run(startDiff);  // the completed set can still be compared
  EXPECT_EQ(differingPaths(), (std::vector<std::string>{"QuarnServer/A", "QuarnServer/a", "QuarnServer/a/..b/.c",
                                                        "QuarnServer/b", "QuarnServer/maps/My Map.txt",
                                                        "QuarnServer/x.."}));
}

TEST(CatalogueFetch, MalformedDocumentsThrowAndIncompleteBodiesAreFailedDownloads) {
  const std::string noDefault =
      R"([{"name": "n", "description": "d", "sourcepath": "s", "destinationpath": "d", "url": "u"}])";
  const std::string textDefault = noDefault.substr(0, noDefault.size() - 2) + R"(, "default": "true"}])";
  const std::string whole = deflated("[]" + std::string(5000, ' '));
  // Bad documents are exceptions, collected with their text; incomplete bodies are failed downloads.
  const std::pair<std::string, bool> bodies[] = {{deflated(noDefault), true}, {deflated(textDefault), true},
                                                 {deflated("[]", -15), true}, {deflated("[{"), true},
                                                 {"", false}, {whole.substr(0, whole.size() - 4), false}};
  for (const auto& [body, thrown] : bodies) {
    Site site({{"/json", okResponse(body)}});
    run(startFetch);
    EXPECT_EQ(updaterState().errorCode, UpdateError::FetchFailed);
    EXPECT_EQ(updaterState().taskFailureText.empty(), !thrown) << updaterState().taskFailureText;
  }
}

TEST(CatalogueFetch, PathsOutsideTheInstallationAreRefusedBeforeAnythingIsWritten) {
  const std::pair<std::string, std::string> ways[] = {
      {"", "a"}, {"/tmp", "a"}, {"\\Windows", "a"}, {"../elsewhere", "a"}, {"c:x", "a"}, {"a/..", "b"},
      {"QuarnServer", "../x"}, {"QuarnServer", "..\\x"}, {"QuarnServer", "C:/x"}, {"QuarnServer", "sub/../../x"},
      {"QuarnServer", ".."}, {"QuarnServer", "a/.. /b"}, {"QuarnServer", "a/.../b"}, {"QuarnServer", "a/. ./b"},
      {"QuarnServer", std::string("a/b\0c", 5)}, {"QuarnServer", "file.txt:stream"}};
  for (const auto& [destination, key] : ways) {
    // The whole list is refused, its safe name too.
    Site site(documents("[" + entry("main", destination) + "]",
                        {{"main", nlohmann::json{{"0.txt", helloDigest}, {key, helloDigest}}.dump()}}));
    std::filesystem::create_directories(site / "sandbox");
    std::filesystem::current_path(site / "sandbox");
    run(startFetch);
    EXPECT_EQ(updaterState().errorCode, UpdateError::FetchFailed) << destination << " " << key;
    EXPECT_NE(updaterState().taskFailureText.find("outside the installation"), std::string::npos);
    EXPECT_FALSE(hasCatalogue());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(site.root.path()), {}), 1) << "only the sandbox";
  }
}

TEST(UpdaterDigest, IsTakenAsSentAndFailuresRecordNothing) {
  Site site({{"/QuarnMpUpdater/", okResponse("5D41402ABC4B2A76B9719D911017C592\n")}});
  fetchUpdaterHash();
  EXPECT_TRUE(takeUpdaterHashFetched());
  EXPECT_FALSE(takeUpdaterHashFetched());
  setServerBaseUrl(site.server.url("/missing/"));  // 404
  fetchUpdaterHash();
  EXPECT_FALSE(takeUpdaterHashFetched());
  setServerBaseUrl("http://127.0.0.1:1/");  // refused
  fetchUpdaterHash();
  EXPECT_FALSE(takeUpdaterHashFetched());
  EXPECT_EQ(updaterHash(), "5D41402ABC4B2A76B9719D911017C592\n");
}

TEST(Installation, FailuresKeepTheOldFilesAndACorruptCacheIsReplaced) {
  const std::string whole = deflated(repeated(200000));
  Responses responses = documents("[" + entry("main") + "]", {{"main", nlohmann::json{
      {"current.txt", helloDigest}, {"cut.bin", "a"}, {"locked.txt", "b"}, {"missing.txt", "c"},
      {"upper.txt", "5D41402ABC4B2A76B9719D911017C592"}}.dump()}});
  responses["/files/main/cut.bin"] = okResponse(whole.substr(0, whole.size() / 2));
  responses["/files/main/locked.txt"] = okResponse(deflated("new content"));
  responses["/files/main/upper.txt"] = okResponse(deflated("hello", 31));  // gzip
  Site site(responses);
  writeFile(site / "QuarnServer/current.txt", "hello");
  writeFile(site / "QuarnServer/cut.bin", "old cut");
  writeFile(site / "QuarnServer/locked.txt", "old locked");
  std::filesystem::permissions(site / "QuarnServer/locked.txt", std::filesystem::perms::owner_read);
  writeFile(site / "updater_filemeta.json", "{\"QuarnServer/current.txt\": {\"hash\": 1}");
  run(startFetch);
  run(startDiff);
  EXPECT_EQ(updaterState().errorCode, UpdateError::None);
  EXPECT_EQ(nlohmann::json::parse(readFile(site / "updater_filemeta.json"))["QuarnServer/current.txt"]["hash"],
            helloDigest);
  run(startUpdateDiff);
  EXPECT_EQ(updaterState().errorCode, UpdateError::None);
  EXPECT_TRUE(readFile(site / "QuarnServer/cut.bin") == "old cut") << "a cut body replaced the file";
  EXPECT_EQ(readFile(site / "QuarnServer/locked.txt"), "old locked");
  EXPECT_EQ(readFile(site / "QuarnServer/upper.txt"), "hello");  // installed, yet upper-case digests never match
  EXPECT_EQ(differingPaths(), (std::vector<std::string>{"QuarnServer/cut.bin", "QuarnServer/locked.txt",
                                                        "QuarnServer/missing.txt", "QuarnServer/upper.txt"}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(site / "QuarnServer"), {}), 4) << "no temporary files";
}

TEST(Tasks, AnExceptionSetsThePhaseErrorAndTheNextTaskStillRuns) {
  Site site({});
  setServerBaseUrl("http://127.0.0.1:1/");  // connection refused
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
