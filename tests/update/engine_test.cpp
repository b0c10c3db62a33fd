// The engine's workers on real files in temporary folders, against a scripted loopback server,
// and the tasks that publish their results.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/digest.h"
#include "platform/files.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_folder.h"
#include "tools/publish_compress.h"
#include "update/catalogue_json.h"
#include "update/diff_files.h"
#include "update/fetch_catalogue.h"
#include "update/file_digest.h"
#include "update/inflate.h"
#include "update/install_files.h"
#include "update/safe_path.h"
#include "update/tasks.h"
#include "update/updater_hash.h"

using namespace testing_support;
using Responses = std::map<std::string, std::string>;
namespace fs = std::filesystem;

namespace {

const std::string helloDigest = "5d41402abc4b2a76b9719d911017c592";  // MD5 of "hello"
const ProgressSink ignoreProgress = [](double) {};

std::string deflated(std::string_view bytes) { return compressText(bytes, 6); }
// gzip's framing of "hello", for the streams the header marks as gzip.
const std::string gzippedHello("\x1f\x8b\x08\0\0\0\0\0\0\x03\xcbH\xcd\xc9\xc9\x07\0\x86\xa6\x10" "6\x05\0\0\0", 25);

std::string repeated(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>("quarn map data "[i % 15] ^ (i / 997));
  return text;
}

CatalogueEntry entry(const std::string& name, const std::string& destination = "QuarnServer") {
  return {name, "d", "files/" + name, destination, "lists/" + name, true};
}

ScriptedServer serverOf(Responses responses) { return ScriptedServer(answerByTarget(std::move(responses))); }

// The address space may grow by at most `bytes` from now on: a bound on memory that does not
// depend on timing. Over what is mapped already, so it also holds under AddressSanitizer.
void limitAddressSpaceGrowth(std::size_t bytes) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line) && line.rfind("VmSize:", 0) != 0) {}
  const rlim_t limit = std::stoull(line.substr(7)) * 1024 + bytes;
  const rlimit both{limit, limit};
  if (setrlimit(RLIMIT_AS, &both) != 0) std::_Exit(3);
}

}  // namespace

TEST(Decompression, StopsAtTheLargerOfTheSizeAndRatioCeilings) {
  const std::string bomb = deflated(std::string(4u << 20, '\0'));  // about 1000:1
  const auto inflatedSize = [&](std::uint64_t sizeCeiling, std::uint64_t ratioCeiling) {
    Inflater inflater(sizeCeiling, ratioCeiling);
    std::size_t size = 0;
    inflater.feed(bomb, [&](std::string_view bytes) { size += bytes.size(); });
    return inflater.ended() ? size : 0;
  };
  EXPECT_THROW(inflatedSize(1u << 20, 100), CorruptStream);
  EXPECT_EQ(inflatedSize(4u << 20, 100), 4u << 20);
  EXPECT_EQ(inflatedSize(1u << 20, 2000), 4u << 20);
}

TEST(LocalFiles, DigestsMatchMd5sumAndFoldersAreMadeWithEitherSeparator) {
  TempFolder folder;
  writeFile(folder / "empty", "");
  writeFile(folder / "large", repeated(3 * 1024 * 1024 + 17));  // several read pieces
  for (const char* name : {"empty", "large"}) {
    const auto md5sum = runProgram("/usr/bin/md5sum", {(folder / name).string()});
    EXPECT_EQ(md5OfFile((folder / name).string()), md5sum.out.substr(0, 32)) << name;
  }
  EXPECT_EQ(md5OfFile((folder / "missing").string()), "0000000000000000");
  EXPECT_EQ(md5OfFile(folder.path().string()), digestFailure);  // a folder
  createDirectories(folder.path().string() + "/QuarnServer/bin\\new");
  EXPECT_TRUE(fs::is_directory(folder / "QuarnServer/bin/new"));
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
  fs::remove(file);
  ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
  EXPECT_TRUE(readFileMetaCache(prefix).empty()) << "a FIFO is never opened";
  fs::remove(file);

  // Times in floating point are truncated towards zero; entries with time 0 are dropped.
  writeFile(file, R"({"a": {"hash": "h1", "modtime": 1700000000.9}, "b": {"hash": "h2", "modtime": -3.7},
                     "./a": {"hash": "h3", "modtime": 0}})");
  std::string read;
  for (const auto& [key, meta] : readFileMetaCache(prefix))
    read += key + "=" + std::to_string(meta.modtime) + meta.hash + " ";
  EXPECT_EQ(read, "a=1700000000h1 b=-3h2 ");

  for (const char* unreadable : {"{not json", "[1, 2]", R"({"a": {"hash": 5, "modtime": 1}})",
                                 R"({"a": {"hash": "h", "modtime": "1"}})", R"({"a": {"hash": "h"}})",
                                 R"({"a": {"hash": "h", "modtime": 1e300}})", R"({"a": 7})"}) {
    writeFile(file, unreadable);
    EXPECT_TRUE(readFileMetaCache(prefix).empty()) << unreadable;
  }
}

// The cache file was last written at T; each file's entry records the time it had then.
TEST(Comparison, TrustsACachedDigestOnlyForAFileItHasSeen) {
  TempFolder root;
  const std::string prefix = root.path().string() + "/";
  const auto cacheWritten = fs::file_time_type::clock::now() - std::chrono::hours(1);
  const auto before = cacheWritten - std::chrono::hours(1);
  struct Case {
    std::string name, content, digest;
    fs::file_time_type recorded, now;
    bool differs;
  };
  const Case cases[] = {
      {"trusted", "changed behind the cache's back", helloDigest, before, before, false},  // not read at all
      {"upper", "hello", "5D41402ABC4B2A76B9719D911017C592", before, before, false},
      {"restored", "an older copy", helloDigest, before, before - std::chrono::hours(24), true},
      {"rewritten", "rewritten within the second the cache was written", helloDigest, cacheWritten,
       cacheWritten, true},
      {"missing", "", std::string(digestFailure), before, before, true},
      {"fifo", "", std::string(digestFailure), before, before, true}};
  FileMetaCache written;
  std::vector<FileRecord> records;
  for (const Case& c : cases) {
    if (c.name == "fifo") {
      ASSERT_EQ(mkfifo((root / c.name).c_str(), 0644), 0);
    } else if (!c.content.empty()) {
      writeFile(root / c.name, c.content);
      fs::last_write_time(root / c.name, c.recorded);
    }
    written[c.name] = {c.name, platform::modificationTime((root / c.name).string()).value_or(1), helloDigest};
    if (!c.content.empty()) fs::last_write_time(root / c.name, c.now);
    records.push_back({c.name, c.name, c.digest});
  }
  writeFileMetaCache(prefix, written);
  fs::last_write_time(root / "updater_filemeta.json", cacheWritten);
  FileMetaCache cache = readFileMetaCache(prefix);
  std::vector<std::string> differing;
  for (const FileRecord& record : diffFiles(records, prefix, cache, ignoreProgress)) differing.push_back(record.localPath);
  std::vector<std::string> expected;
  for (const Case& c : cases)
    if (c.differs) expected.push_back(c.name);
  EXPECT_EQ(differing, expected);
}

// "<failure>|<set name>: <its paths>|...|<number of lists> lists" of the catalogue at the server.
std::string fetched(const ScriptedServer& server, const ProgressSink& progress = ignoreProgress) {
  const FetchedCatalogue fetched = fetchCatalogue(server.url(), progress);
  std::string text = fetched.failure;
  for (std::size_t set = 0; set < fetched.catalogue.size(); ++set) {
    text += "|" + fetched.catalogue[set].name + ":";
    if (set < fetched.catalogueFiles.size())
      for (const FileRecord& record : fetched.catalogueFiles[set]) text += " " + record.localPath;
  }
  return text + "|" + std::to_string(fetched.catalogueFiles.size()) + " lists";
}

TEST(CatalogueFetch, TakesEmptyNullAndObjectCataloguesAndKeepsTheSetsBeforeAFailure) {
  for (const char* empty : {"[]", "null"}) EXPECT_EQ(fetched(serverOf({{"/json", httpAnswer(deflated(empty))}})), "|0 lists");
  const std::string object = "{\"z\": " + nlohmann::json::parse(catalogueText({entry("second")}))[0].dump() +
                             ", \"a\": " + nlohmann::json::parse(catalogueText({entry("first")}))[0].dump() + "}";
  const ScriptedServer server = serverOf({{"/json", httpAnswer(deflated(object))}, {"/lists/first", httpAnswer(deflated("null"))},
                                          {"/lists/second", httpAnswer(deflated(R"({"x": "h"})"))}});
  std::vector<double> progress;
  EXPECT_EQ(fetched(server, [&](double value) { progress.push_back(value); }), "|first:|second: QuarnServer/x|2 lists");
  EXPECT_EQ(progress, (std::vector<double>{0, 0.5, 1}));

  // Near misses of unsafe paths ("x..", "..b", ".c") are ordinary names; keys come in order.
  const std::string list = R"({"b": "1", "a": "2", "A": "3", "maps/My Map.txt": "4", "x..": "5", "a/..b/.c": "6"})";
  EXPECT_EQ(fetched(serverOf({{"/json", httpAnswer(deflated(catalogueText({entry("one"), entry("two")})))},
                              {"/lists/one", httpAnswer(deflated(list))}})),
            "lists/two: HTTP status 404 Not Found|one: QuarnServer/A QuarnServer/a QuarnServer/a/..b/.c QuarnServer/b "
            "QuarnServer/maps/My Map.txt QuarnServer/x..|1 lists");
}

TEST(CatalogueFetch, EveryFailureHasItsReason) {
  const std::string noDefault =
      R"([{"name": "n", "description": "d", "sourcepath": "s", "destinationpath": "d", "url": "u"}])";
  const std::string whole = deflated("[]" + std::string(5000, ' '));
  const std::pair<std::string, std::string> bodies[] = {
      {httpAnswer(deflated(noDefault)), "type must be boolean, but is null"},
      {httpAnswer("[]"), "incorrect header check"},
      {httpAnswer(deflated("[{")), "parse error"},
      {httpAnswer(""), "json: empty compressed body"},
      {httpAnswer(whole.substr(0, whole.size() - 4)), "json: compressed body ends before its stream does"},
      {httpAnswer(deflated("[]"), "503 Busy"), "json: HTTP status 503 Busy"},
      {"HTTP/1.1 200 OK\r\nContent-Length: x\r\n\r\n", "json: "},
      {httpAnswer(deflated(std::string(65, '[') + std::string(65, ']'))), "nested deeper than 64 levels"},
      {httpAnswer(deflated(std::string(64u << 20, ' ') + "[]")), "json: document larger than 64 MiB"}};
  for (const auto& [response, reason] : bodies) {
    const ScriptedServer server = serverOf({{"/json", response}});
    const std::string failure = fetchCatalogue(server.url(), ignoreProgress).failure;
    EXPECT_NE(failure.find(reason), std::string::npos) << failure;
  }
  EXPECT_NE(fetchCatalogue("http://127.0.0.1:1/", ignoreProgress).failure.find("Failed to connect"), std::string::npos);
}

TEST(CatalogueFetch, AListNamingAPathOutsideTheInstallationIsRefusedWhole) {
  const std::pair<std::string, std::string> ways[] = {
      {"", "a"}, {"/tmp", "a"}, {"\\Windows", "a"}, {"../elsewhere", "a"}, {"c:x", "a"}, {"a/..", "b"},
      {"QuarnServer", "../x"}, {"QuarnServer", "..\\x"}, {"QuarnServer", "C:/x"}, {"QuarnServer", "sub/../../x"},
      {"QuarnServer", ".."}, {"QuarnServer", "a/.. /b"}, {"QuarnServer", "a/.../b"}, {"QuarnServer", "a/. ./b"},
      {"QuarnServer", std::string("a/b\0c", 5)}, {"QuarnServer", "file.txt:stream"}};
  for (const auto& [destination, key] : ways) {
    const std::string list = nlohmann::json{{"0.txt", helloDigest}, {key, helloDigest}}.dump();
    EXPECT_THROW(fileListFromText(list, entry("main", destination)), UnsafePathError) << destination << " " << key;
  }
}

TEST(UpdaterDigest, IsTakenAsSentAndFailuresGiveNothing) {
  const ScriptedServer server = serverOf({{"/QuarnMpUpdater/", httpAnswer("5D41402ABC4B2A76B9719D911017C592\n")}});
  EXPECT_EQ(fetchUpdaterHash(server.url()), "5D41402ABC4B2A76B9719D911017C592\n");
  EXPECT_EQ(fetchUpdaterHash(server.url("/missing/")), std::nullopt);  // 404
  EXPECT_EQ(fetchUpdaterHash("http://127.0.0.1:1/"), std::nullopt);   // refused
}

TEST(Installation, EachFileIsVerifiedAndABadOneNeverBlocksTheRest) {
  TempFolder root;
  const std::string prefix = root.path().string() + "/";
  const std::string cut = deflated(repeated(200000));
  const std::string upperHello = "5D41402ABC4B2A76B9719D911017C592";
  struct Case {
    std::string key, target, response, digest, failure;  // failure "": installed as "hello"
  };
  const Case cases[] = {
      {"a.txt", "a.txt", httpAnswer(deflated("hello")), helloDigest, ""},
      {"cut.bin", "cut.bin", httpAnswer(cut.substr(0, cut.size() / 2)), helloDigest, "ends before its stream does"},
      {"raw.txt", "raw.txt", httpAnswer("not compressed"), helloDigest, "incorrect header check"},
      {"new/gzip.txt", "new/gzip.txt", httpAnswer(gzippedHello), upperHello, ""},
      {"tail.txt", "tail.txt", httpAnswer(deflated("hello") + "trailing"), helloDigest, ""},
      {"wrong.txt", "wrong.txt", httpAnswer(deflated("half-published")), helloDigest, "does not match the list's digest"},
      {"gone.txt", "gone.txt", httpAnswer(deflated("hello"), "404 Gone"), helloDigest, "HTTP status 404 Gone"},
      {"short.txt", "short.txt", httpAnswer(deflated("hello")), "0000000000000000", "not 32 hexadecimal digits"},
      {"locked.txt", "locked.txt", httpAnswer(deflated("hello")), helloDigest, "cannot write"},
      {"ctl\x01.txt", "", "", helloDigest, "Invalid request target"},
      {"a%41.txt", "a%2541.txt", httpAnswer(deflated("hello")), helloDigest, ""},
      {"q?x #1.txt", "q%3Fx%20%231.txt", httpAnswer(deflated("hello")), helloDigest, ""},
      {"\xc3\xbc-._~!$&'()*+,;=:@.txt", "%C3%BC-._~!$&'()*+,;=:@.txt", httpAnswer(deflated("hello")), helloDigest, ""},
      {"run.sh", "run.sh", httpAnswer(deflated("hello")), helloDigest, ""}};
  Responses responses;
  std::vector<FileRecord> files;
  for (const Case& c : cases) {
    if (!c.target.empty()) responses["/files/main/" + c.target] = c.response;
    files.push_back({"files/main/" + c.key, "QuarnServer/" + c.key, c.digest});
    if (c.key != "new/gzip.txt") writeFile(root / ("QuarnServer/" + c.key), "old");
  }
  fs::permissions(root / "QuarnServer/locked.txt", fs::perms::owner_read);
  fs::permissions(root / "QuarnServer/run.sh", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  writeFile(root / "QuarnServer/a.txt.quarnmp-download", "left by a killed run");
  const ScriptedServer server = serverOf(responses);
  FileMetaCache cache;
  std::map<std::string, std::string> failures;
  for (const FileFailure& failure : updateFiles(files, server.url(), prefix, cache, ignoreProgress))
    failures[failure.localPath] = failure.reason;
  for (const Case& c : cases) {
    const std::string path = "QuarnServer/" + c.key;
    EXPECT_EQ(readFile(root / path), c.failure.empty() ? "hello" : "old") << c.key;
    EXPECT_NE(failures[path].find(c.failure), std::string::npos) << c.key << ": " << failures[path];
    EXPECT_EQ(failures[path].empty(), c.failure.empty()) << c.key;
    if (c.failure.empty()) {
      EXPECT_EQ(cache.at(path).hash, helloDigest) << c.key;
    }
  }
  EXPECT_EQ(fs::status(root / "QuarnServer/run.sh").permissions() & fs::perms::all,
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  for (const auto& entry : fs::recursive_directory_iterator(root.path()))
    EXPECT_EQ(entry.path().string().find(".quarnmp-download"), std::string::npos) << entry.path();
}

// A body of any size streams through a bounded amount of memory; the address space of the
// process may grow by at most 96 MiB while 128 MiB are installed.
TEST(Installation, MemoryDoesNotGrowWithTheFileSize) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TempFolder root;
  std::string body, digest;
  {
    const std::string content(128u << 20, '\0');
    body = deflated(content);
    digest = hexDigest(platform::md5Of(content));
  }
  const ScriptedServer server = serverOf({{"/files/zeros.bin", httpAnswer(body)}});
  const std::vector<FileRecord> files{{"files/zeros.bin", "zeros.bin", digest}};
  EXPECT_EXIT(
      {
        limitAddressSpaceGrowth(96u << 20);
        FileMetaCache cache;
        const auto failures = updateFiles(files, server.url(), root.path().string() + "/", cache, ignoreProgress);
        std::_Exit(failures.empty() && fs::file_size(root / "zeros.bin") == (128u << 20) ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(Tasks, FailuresSetThePhaseErrorWithTheirReasonAndTheNextTaskStillRuns) {
  const WorkingFolder installation;  // the tasks work on the working directory
  resetUpdaterState();
  const auto run = [](auto start) {
    start();
    while (!pollTask()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  };
  const UpdaterState& state = updaterState();
  run([] { startCatalogueFetch("http://127.0.0.1:1/"); });
  EXPECT_EQ(state.errorCode, UpdateError::FetchFailed);
  EXPECT_NE(state.failureReason.find("Failed to connect"), std::string::npos);
  EXPECT_FALSE(hasCatalogue());

  run([] { startUpdateDiff("http://127.0.0.1:1/"); });  // nothing differs: installs nothing, compares nothing
  EXPECT_EQ(state.errorCode, UpdateError::None);
  EXPECT_EQ(state.updateProgress, 1.0);
  EXPECT_EQ(currentProgress(), 1.0);
  EXPECT_EQ(state.diffProgress, 0.0);
}
