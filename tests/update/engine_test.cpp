// The engine's workers and tasks on real files in temporary folders, against a scripted loopback server.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>
#include <algorithm>
#include <atomic>
#include <random>
#include <thread>

#include "platform/files.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_folder.h"
#include "tools/publish_compress.h"
#include "formats/catalogue_json.h"
#include "update/diff_files.h"
#include "update/fetch_catalogue.h"
#include "formats/file_digest.h"
#include "formats/inflate.h"
#include "update/install_files.h"
#include "update/installation_lock.h"
#include "formats/safe_path.h"
#include "update/tasks.h"
#include "update/updater_hash.h"

using formats::CatalogueEntry;
using formats::FileList;
using formats::FileRecord;
using formats::UnsafePathError;
using formats::catalogueFromText;
using formats::catalogueText;
using formats::digestFailure;
using formats::fileListFromText;
using formats::fileListText;
using formats::md5OfFile;
using formats::CorruptStream;
using formats::Inflater;

using namespace testing_support;
using Responses = std::map<std::string, std::string>;
namespace fs = std::filesystem;

namespace {

const std::string helloDigest = "5d41402abc4b2a76b9719d911017c592";  // MD5 of "hello"
const update::ProgressSink ignoreProgress = [](double) {};

std::string deflated(std::string_view bytes) { return compressText(bytes, 6); }

CatalogueEntry entry(const std::string& name, const std::string& destination = "QuarnServer") {
  return {name, "d", "files/" + name, destination, "lists/" + name, true};
}

ScriptedServer serverOf(Responses responses) { return ScriptedServer(answerByTarget(std::move(responses))); }

// Whether `work` succeeds in a child whose address space may grow by at most `bytes`: a bound on memory that does
// not depend on timing, over what is mapped already, so it also holds under AddressSanitizer.
void expectWithinMemory(const char* what, std::size_t bytes, const std::function<bool()>& work) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto run = [&] {
    const std::string status = readFile("/proc/self/status");
    const rlim_t limit = std::stoull(status.substr(status.find("VmSize:") + 7)) * 1024 + bytes;
    const rlimit both{limit, limit};
    std::_Exit(setrlimit(RLIMIT_AS, &both) != 0 ? 3 : work() ? 0 : 1);
  };
  EXPECT_EXIT(run(), testing::ExitedWithCode(0), "") << what << " (1: failed, 3: no limit)";
}

}  // namespace

TEST(Decompression, StopsAtTheLargerOfTheSizeAndRatioCeilings) {
  const std::string bomb = deflated(std::string(4u << 20, '\0'));  // about 1000:1
  const auto inflatedSize = [&](std::uint64_t sizeCeiling, std::uint64_t ratioCeiling, std::size_t size = 0) {
    Inflater inflater(sizeCeiling, ratioCeiling);
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
  // This test program: many read pieces of varied bytes.
  for (const std::string& path : {(folder / "empty").string(), fs::read_symlink("/proc/self/exe").string()})
    EXPECT_EQ(md5OfFile(path), runProgram("/usr/bin/md5sum", {path}).out.substr(0, 32)) << path;
  EXPECT_EQ(md5OfFile((folder / "missing").string()), "0000000000000000");
  EXPECT_EQ(md5OfFile(folder.path().string()), digestFailure);  // a folder
  update::createDirectories(folder.path().string() + "/QuarnServer/bin\\new");
  EXPECT_TRUE(fs::is_directory(folder / "QuarnServer/bin/new"));
}

TEST(CacheFile, IsWrittenByteExactAndReadLeniently) {
  TempFolder folder;
  const auto file = folder / "updater_filemeta.json";
  update::writeFileMetaCache(folder.prefix(), {{"b/x.dll", {"b/x.dll", 1700000000, "0123456789abcdef0123456789abcdef"}},
                                       {"a\\y", {"a\\y", -5, "0000000000000000"}}});
  EXPECT_EQ(readFile(file),
            "{\n \"a\\\\y\": {\n  \"hash\": \"0000000000000000\",\n  \"modtime\": -5\n },\n"
            " \"b/x.dll\": {\n  \"hash\": \"0123456789abcdef0123456789abcdef\",\n  \"modtime\": 1700000000\n }\n}");
  update::writeFileMetaCache(folder.prefix(), {});
  EXPECT_EQ(readFile(file), "null");

  // Times in floating point are truncated towards zero; entries with time 0 are dropped.
  writeFile(file, R"({"a": {"hash": "h1", "modtime": 1700000000.9}, "b": {"hash": "h2", "modtime": -3.7},
                     "./a": {"hash": "h3", "modtime": 0}})");
  std::string read;
  for (const auto& [key, meta] : update::readFileMetaCache(folder.prefix()))
    read += key + "=" + std::to_string(meta.modtime) + meta.hash + " ";
  EXPECT_EQ(read, "a=1700000000h1 b=-3h2 ");

  for (const char* unreadable : {"{not json", "[1, 2]", R"({"a": {"hash": 5, "modtime": 1}})",
                                 R"({"a": {"hash": "h", "modtime": "1"}})", R"({"a": {"hash": "h"}})",
                                 R"({"a": {"hash": "h", "modtime": 1e300}})", R"({"a": 7})"}) {
    writeFile(file, unreadable);
    EXPECT_TRUE(update::readFileMetaCache(folder.prefix()).empty()) << unreadable;
  }
  fs::remove(file);
  ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
  EXPECT_TRUE(update::readFileMetaCache(folder.prefix()).empty()) << "a FIFO is never opened";
}

// The cache file was last written at T; each file's entry records the time it had then.
TEST(Comparison, TrustsACachedDigestOnlyForAFileItHasSeen) {
  TempFolder root;
  const auto cacheWritten = fs::file_time_type::clock::now() - std::chrono::hours(1);
  const auto before = cacheWritten - std::chrono::hours(1);
  const std::tuple<std::string, std::string, std::string> cases[] = {  // name, content, listed digest
      {"trusted", "changed behind the cache's back", helloDigest},  // not read at all
      {"upper", "hello", "5D41402ABC4B2A76B9719D911017C592"},
      {"restored", "an older copy", helloDigest},
      {"rewritten", "rewritten within the second the cache was written", helloDigest},
      {"missing", "", std::string(digestFailure)},
      {"fifo", "", std::string(digestFailure)}};
  ASSERT_EQ(mkfifo((root / "fifo").c_str(), 0644), 0);
  update::FileMetaCache written;
  std::map<std::string, std::string> listed;
  for (const auto& [name, content, digest] : cases) {
    if (!content.empty()) writeFile(root / name, content);
    if (!content.empty()) fs::last_write_time(root / name, name == "rewritten" ? cacheWritten : before);
    written["./" + name] = {"./" + name, platform::modificationTime((root / name).string()).value_or(1), helloDigest};
    listed[name] = digest;
  }
  const FileList records = fileListFromText(fileListText(listed), entry("here", "."));
  fs::last_write_time(root / "restored", before - std::chrono::hours(24));
  update::writeFileMetaCache(root.prefix(), written);
  fs::last_write_time(root / "updater_filemeta.json", cacheWritten);
  update::FileMetaCache cache = update::readFileMetaCache(root.prefix());
  std::string differing;
  for (const FileRecord& record : update::diffFiles(records, root.prefix(), cache, ignoreProgress))
    differing += record.localPath + " ";
  EXPECT_EQ(differing, "./fifo ./missing ./restored ./rewritten ");
}

// A rewrite within the second a digest was taken keeps the file's time: with the cache written three seconds later,
// the next comparison still hashes the file again, whether the digest came from installing or from comparing it.
TEST(Comparison, AFileRewrittenInTheSecondOfItsDigestIsHashedAgain) {
  const ScriptedServer server = serverOf({{"/files/installed/installed", httpAnswer(deflated("hello"))}});
  for (const std::string name : {"installed", "compared"}) {
    const TempFolder root;
    const std::string file = (root / name).string();
    const FileList records = fileListFromText(R"({")" + name + R"(": ")" + helloDigest + R"("})", entry(name, "."));
    update::FileMetaCache cache;
    for (std::optional<std::int64_t> digested; !digested || digested != platform::modificationTime(file);) {
      writeFile(file, "hello");  // compared as it is, replaced when installed; then a real rewrite, in that second
      if (name == "compared") update::diffFiles(records, root.prefix(), cache, ignoreProgress);
      else ASSERT_TRUE(update::updateFiles({records[0]}, {server.url()}, root.prefix(), cache, ignoreProgress).empty());
      digested = platform::modificationTime(file);
      writeFile(file, "HELLO");
    }
    update::writeFileMetaCache(root.prefix(), cache);
    fs::last_write_time(root / "updater_filemeta.json", fs::file_time_type::clock::now() + std::chrono::seconds(3));
    update::FileMetaCache read = update::readFileMetaCache(root.prefix());
    EXPECT_EQ(update::diffFiles(records, root.prefix(), read, ignoreProgress).size(), 1u) << name << ": rewrite unseen";
  }
}

// "<failure>|<set name>: <its paths>|...|<number of lists> lists" of the catalogue at the server.
std::string fetched(const ScriptedServer& server, const update::ProgressSink& progress = ignoreProgress) {
  const update::FetchedCatalogue fetched = update::fetchCatalogue({server.url()}, progress);
  std::string text = fetched.failure ? fetched.failure->reason : "";
  for (std::size_t set = 0; set < fetched.catalogue.size(); ++set) {
    text += "|" + fetched.catalogue[set].name + ":";
    if (set < fetched.catalogueFiles.size())
      for (const FileRecord& record : fetched.catalogueFiles[set]) text += " " + record.localPath;
  }
  return text + "|" + std::to_string(fetched.catalogueFiles.size()) + " lists";
}

TEST(CatalogueFetch, TakesEveryCatalogueFormKeepsTheSetsBeforeAFailureAndNamesEachFailure) {
  for (const char* empty : {"[]", "null"})
    EXPECT_EQ(fetched(serverOf({{"/json", httpAnswer(deflated(empty))}})), "|0 lists") << empty;
  // A list's url is requested as the catalogue gives it.
  CatalogueEntry third = entry("third", "Third");
  third.url = "lists/second?v=2&p=100%";  // fetched once for both sets
  const auto sets = nlohmann::ordered_json::parse(catalogueText({entry("first"), entry("second?v=2&p=100%"), third}));
  const std::string object = nlohmann::ordered_json{{"z", sets[1]}, {"a", sets[0]}, {"zz", sets[2]}}.dump();
  const ScriptedServer server = serverOf({{"/json", httpAnswer(deflated(object))},
                                          {"/lists/first", httpAnswer(deflated("null"))},
                                          {"/lists/second?v=2&p=100%25", httpAnswer(deflated(R"({"x": "h"})"))}});
  std::vector<double> progress;
  EXPECT_EQ(fetched(server, [&](double value) { progress.push_back(value); }),
            "|first:|second?v=2&p=100%: QuarnServer/x|third: Third/x|3 lists");
  EXPECT_EQ(progress, (std::vector<double>{0, 1.0 / 3, 2.0 / 3, 1}));
  EXPECT_EQ(server.receivedRequests().size(), 3u) << "the list of two sets is fetched once";

  // Near misses of unsafe paths ("x..", "..b", ".c") are ordinary names; keys come in order, each once.
  const std::string list = R"({"b": "0", "b": "1", "a": "2", "A": "3", "maps/My Map.txt": "4", "x..": "5", "a/..b/.c": "6"})";
  EXPECT_EQ(fetched(serverOf({{"/json", httpAnswer(deflated(catalogueText({entry("one"), entry("two")})))},
                              {"/lists/one", httpAnswer(deflated(list))}})),
            "lists/two: HTTP status 404 Not Found|one: QuarnServer/A QuarnServer/a QuarnServer/a/..b/.c QuarnServer/b "
            "QuarnServer/maps/My Map.txt QuarnServer/x..|1 lists");

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
      {httpAnswer(deflated(std::string(64u << 20, ' ') + "[]")), "json: document larger than 64 MiB"},
      {httpAnswer(deflated(catalogueText({entry("a"), entry("b"), entry("c"), entry("d"), entry("e")}))),
       "lists/e: the catalogue and its lists are larger than 256 MiB together"}};
  Responses lists;  // 60 MiB each inflated: four fit in the fetch's budget, not five
  const std::string largeList = httpAnswer(deflated(std::string(60u << 20, ' ') + "null"));
  for (const char* set : {"a", "b", "c", "d", "e"}) lists[std::string("/lists/") + set] = largeList;
  for (const auto& [response, reason] : bodies) {
    lists["/json"] = response;
    const std::string outcome = fetched(serverOf(lists));
    EXPECT_NE(outcome.find(reason), std::string::npos) << reason << " is not in: " << outcome;
  }
}

// A set's folder outside the installation refuses its list; a key leaving the folder refuses its file
// alone: never compared (x holds the listed content), never fetched, reported with the reason.
TEST(CatalogueFetch, AnUnsafeFolderRefusesItsListAndAnUnsafeKeyOnlyItsFile) {
  for (const char* destination : {"", "/tmp", "\\Windows", "../elsewhere", "c:x", "a/.."})
    EXPECT_THROW(fileListFromText(R"({"0.txt": "h"})", entry("main", destination)), UnsafePathError) << destination;
  TempFolder root;
  writeFile(root / "x", "hello");
  const ScriptedServer server = serverOf({{"/files/main/0.txt", httpAnswer(deflated("hello"))}});
  const std::string keys[] = {"../x", "..\\x", "C:/x", "sub/../../x", "..", "a/.. /b", "a/.../b", "a/. ./b",
                              "file.txt:stream", "/x", "\\x", std::string("a/b\0c", 5)};
  for (const std::string& key : keys) {
    std::string outcome;  // "<failed path>: <reason>|..." after comparing and installing
    try {
      update::FileMetaCache cache;
      const std::string list = fileListText({{"0.txt", helloDigest}, {key, helloDigest}});
      const FileList differing = update::diffFiles(fileListFromText(list, entry("main")), root.prefix(), cache, ignoreProgress);
      for (const update::FileFailure& failure :
           update::updateFiles(differing.records(), {server.url()}, root.prefix(), cache, ignoreProgress))
        outcome += failure.localPath + ": " + failure.reason + "|";
    } catch (const std::exception& error) {
      outcome = error.what();
    }
    EXPECT_EQ(outcome, "QuarnServer/" + key + ": the list names a path outside the installation|") << key;
  }
  EXPECT_EQ(readFile(root / "QuarnServer/0.txt"), "hello");
  EXPECT_EQ(server.receivedRequests().size(), 1u);
}

TEST(UpdaterDigest, IsTakenAsSentAndFailuresGiveNothing) {
  const ScriptedServer server = serverOf({{"/QuarnMpUpdater/", httpAnswer("5D41402ABC4B2A76B9719D911017C592\n")}});
  const auto hash = [](const std::string& url) {
    const auto fetched = update::fetchUpdaterHash({url});
    return fetched.ok() ? fetched.value() : "failed: " + fetched.failure().reason;
  };
  EXPECT_EQ(hash(server.url()), "5D41402ABC4B2A76B9719D911017C592\n");
  EXPECT_EQ(hash(server.url("/missing/")), "failed: HTTP status 404 Not Found");
  EXPECT_EQ(hash("http://127.0.0.1:1/").substr(0, 8), "failed: ") << "refused";
}

TEST(Installation, EachFileIsVerifiedAndABadOneNeverBlocksTheRest) {
  TempFolder root;
  const std::string cut = deflated(std::string(200000, 'c')), hello = httpAnswer(deflated("hello"));
  struct Case {
    std::string key, response, digest, failure, target = "";  // failure "": installed; target "": the key
  };
  const Case cases[] = {
      {"a.txt", hello, helloDigest, ""},
      {"cut", httpAnswer(cut.substr(0, cut.size() / 2)), helloDigest, "compressed body ends before its stream does"},
      {"raw.txt", httpAnswer("not compressed"), helloDigest, "incorrect header check"},
      {"new/gzip.txt", httpAnswer(runProgram("/bin/sh", {"-c", "printf hello | gzip"}).out),
       "5D41402ABC4B2A76B9719D911017C592", ""},
      {"tail.txt", httpAnswer(deflated("hello") + "trailing"), helloDigest, ""},
      {"wrong.txt", httpAnswer(deflated("half-published")), helloDigest,
       "content does not match the list's digest (got 15052b7923b81340e72319225450e8a4)"},
      {"gone.txt", httpAnswer(deflated("hello"), "404 Gone"), helloDigest, "HTTP status 404 Gone"},
      {"short.txt", hello, "0000000000000000", "the list's digest is not 32 hexadecimal digits: 0000000000000000"},
      {"ctl\x01.txt", "", helloDigest, "Invalid request target"},
      {"%41q?x #\xc3\xbc-._~!$&'()*+,;=@.txt", hello, helloDigest, "", "%2541q%3Fx%20%23%C3%BC-._~!$&'()*+,;=@.txt"},
      {"locked.txt", "", helloDigest, "cannot write " + root.prefix() + "QuarnServer/locked.txt (read-only)"},
      {"run.sh", hello, helloDigest, ""}};
  Responses responses;
  std::map<std::string, std::string> list;
  std::string expected, installed;  // "<key>: <content>|<failure><cached digest>" per file
  for (const Case& c : cases) {  // the set's folder is sent as the catalogue names it, only keys are encoded
    responses["/files/my%20set/" + (c.target.empty() ? c.key : c.target)] = c.response;
    list[c.key] = c.digest;
    if (c.key != "new/gzip.txt") writeFile(root / ("QuarnServer/" + c.key), "old");
    expected += c.key + ": " + (c.failure.empty() ? "hello|" + helloDigest : "old|" + c.failure) + "\n";
  }
  const std::vector<FileRecord> files = fileListFromText(fileListText(list), entry("my%20set")).records();
  const auto runnable = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec;
  fs::permissions(root / "QuarnServer/run.sh", runnable);
  fs::permissions(root / "QuarnServer/locked.txt", fs::perms::owner_read);  // refused before it is asked for
  const ScriptedServer server = serverOf(responses);
  update::FileMetaCache cache{{"QuarnServer/a.txt", {"QuarnServer/a.txt", 1, "the old content's digest, replaced"}}};
  std::map<std::string, std::string> failures;
  for (const update::FileFailure& failure : update::updateFiles(files, {server.url()}, root.prefix(), cache, ignoreProgress))
    failures[failure.localPath] = failure.reason;
  for (const Case& c : cases) {
    const std::string path = "QuarnServer/" + c.key;
    installed += c.key + ": " + readFile(root / path) + "|" + failures[path] + cache[path].hash + "\n";
  }
  EXPECT_EQ(installed, expected);
  EXPECT_EQ(fs::status(root / "QuarnServer/run.sh").permissions() & fs::perms::all, runnable);
  // The files of the table and the folder "new": no download was left behind.
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(root / "QuarnServer"), {}), std::ssize(cases) + 1);
}

// Workers keep their connections (closed by the server after `perConnection` requests) and run at once;
// one missing file and one wrong one among many fail alone, whatever the number of workers.
TEST(Installation, WorkersShareTheFilesEachOnItsKeptConnection) {
  struct Row {
    unsigned jobs, perConnection;
    std::string connections;
  };
  Responses responses{{"/files/wrong", httpAnswer(deflated("other"))}};
  std::vector<FileRecord> files{{"files/gone", "gone", helloDigest}, {"files/wrong", "wrong", helloDigest}};
  std::string expected = "gone: HTTP status 404 Not Found\n"
                         "wrong: content does not match the list's digest (got 795f3202b17cb6bc3d4b771d8c6c9eaf)\n";
  for (const std::string name : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}) {
    responses["/files/" + name] = httpAnswer(deflated("hello"));
    files.push_back({"files/" + name, name, helloDigest});
    expected += name + " ";
  }
  for (const Row& row : {Row{1, 3, "4 connections, 1 at once"}, Row{4, 100, "4 connections, 4 at once"}}) {
    TempFolder root;
    std::atomic<int> connections = 0, open = 0, mostOpen = 0;
    const ScriptedServer server([&](ScriptedConnection& connection) {
      ++connections;
      for (int now = ++open; mostOpen < now;) mostOpen = now;
      std::string request;
      for (unsigned served = 0; served < row.perConnection && !(request = connection.readRequest()).empty(); ++served) {
        for (int waited = 0; connections < static_cast<int>(row.jobs) && waited < 200; ++waited)
          connection.pause(std::chrono::milliseconds(10));  // until every worker has a file of its own
        const auto found = responses.find(requestTarget(request));
        connection.send(found == responses.end() ? httpAnswer("", "404 Not Found") : found->second);
      }
      --open;
    }, ScriptedServer::AtOnce{});
    update::FileMetaCache cache;
    std::string outcome;
    update::TransferOptions options;
    options.jobs = row.jobs;
    for (const update::FileFailure& failure : update::updateFiles(files, {server.url()}, root.prefix(), cache, ignoreProgress, options))
      outcome += failure.localPath + ": " + failure.reason + "\n";
    for (const FileRecord& file : files) outcome += cache[file.localPath].hash == helloDigest ? file.localPath + " " : "";
    EXPECT_EQ(outcome + std::to_string(connections) + " connections, " + std::to_string(mostOpen) + " at once",
              expected + row.connections) << row.jobs << " jobs";
  }
}

// A server that failed a file is asked after the others, one whose content another's contradicted no more.
TEST(Mirrors, EachFileComesFromTheNextServerWhenOneFailsIt) {
  const std::string other = httpAnswer(deflated("other")), gone = httpAnswer("", "404 Not Found");
  const std::string wrong = "content does not match the list's digest (got 795f3202b17cb6bc3d4b771d8c6c9eaf)";
  struct Row {
    std::string name;
    Responses first, second;  // each serves every file but these; "down": no first server
    std::string outcome;      // "<failures>|<files asked of the first server, in turn>|<of the second>"
  };
  const Row rows[] = {
      {"404", {{"/files/a", gone}}, {}, "|abc|a"},
      {"5xx", {{"/files/a", httpAnswer("", "503 Busy")}}, {{"/files/c", gone}}, "|ac|abc"},
      {"wrong content", {{"/files/a", other}}, {{"/files/c", gone}}, "c: HTTP status 404 Not Found|a|abc"},
      {"down", {{"down", ""}}, {}, "||abc"},
      {"both fail a file", {{"/files/a", gone}}, {{"/files/a", gone}}, "a: HTTP status 404 Not Found|abc|a"},
      {"both serve the same wrong content", {{"/files/a", other}}, {{"/files/a", other}}, "a: " + wrong + "|abc|a"}};
  const std::vector<FileRecord> files{{"files/a", "a", helloDigest}, {"files/b", "b", helloDigest},
                                      {"files/c", "c", helloDigest}};
  const update::TransferOptions options{.jobs = 1, .minimumRate = {}, .retryPauses = {std::chrono::milliseconds(1)}};
  for (Row row : rows) {
    const TempFolder root;
    for (const std::string name : {"a", "b", "c"})
      for (Responses* answers : {&row.first, &row.second}) answers->emplace("/files/" + name, httpAnswer(deflated("hello")));
    const ScriptedServer first = serverOf(row.first), second = serverOf(row.second);
    update::FileMetaCache cache;
    std::string outcome;
    const update::ServerList servers{row.first.contains("down") ? "http://127.0.0.1:1/" : first.url(), second.url()};
    for (const update::FileFailure& failure : updateFiles(files, servers, root.prefix(), cache, ignoreProgress, options))
      outcome += failure.localPath + ": " + failure.reason;
    for (const ScriptedServer* server : {&first, &second}) {
      outcome += "|";
      for (const std::string& request : server->receivedRequests()) outcome += requestTarget(request).substr(7);
    }
    EXPECT_EQ(outcome, row.outcome) << row.name;
  }
  const ScriptedServer busy = serverOf({{"/json", httpAnswer("", "503 Busy")}}), missing = serverOf({});
  const ScriptedServer listing = serverOf({{"/json", httpAnswer(deflated("[]"))}});
  for (const auto& [servers, answer] : {std::pair(update::ServerList{"http://127.0.0.1:1/", busy.url(), listing.url()}, ""),
                                        std::pair(update::ServerList{missing.url(), listing.url()}, "json: HTTP status 404 Not Found")}) {
    const update::FetchedCatalogue fetched = update::fetchCatalogue(servers, ignoreProgress);
    EXPECT_EQ(fetched.server + " " + (fetched.failure ? fetched.failure->reason : ""),
              (*answer ? servers[0] : listing.url()) + " " + answer);
  }
}

// Transient failures are tried again three times, continuing a large body where it was cut; the rest, and a
// transfer below the rate floor, are final.
TEST(Installation, TransientFailuresAreRetriedThreeTimesAndTheRestAtOnce) {
  std::string content(256u << 10, '\0');
  std::generate(content.begin(), content.end(), std::minstd_rand());  // hardly compressible
  const std::string body = deflated(content), size = std::to_string(body.size());
  const std::string head = "HTTP/1.1 200 OK\r\nETag: \"v1\"\r\nContent-Length: " + size + "\r\n\r\n";
  const std::string whole = head + body, busy = httpAnswer("", "503 Busy");
  const auto cut = respondWith(whole.substr(0, whole.size() / 2));
  // A server whose copy of the file is `served`, named by `tag`: it sends the part a Range asks for, If-Range unread.
  const auto copy = [&](const std::string& tag, const std::string& served) -> ConnectionScript {
    return [tag, served](ScriptedConnection& connection) {
      const std::string request = connection.readRequest(), length = std::to_string(served.size());
      const auto range = request.find("Range: bytes=");
      const std::size_t from = range == std::string::npos ? 0 : std::stoul(request.substr(range + 13));
      const std::string part = "206 Partial Content\r\nContent-Range: bytes " + std::to_string(from) + "-" +
                               std::to_string(served.size() - 1) + "/" + length;
      connection.send("HTTP/1.1 " + (from ? part : "200 OK") + "\r\nETag: " + tag + "\r\nContent-Length: " +
                      std::to_string(served.size() - from) + "\r\n\r\n" + served.substr(from));
    };
  };
  const auto rest = copy("\"v1\"", body), stored = copy("\"v2\"", compressText(content, 0));
  const auto otherRange = respondWith("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-" +
                                      std::to_string(body.size() - 1) + "/" + size + "\r\n" + whole.substr(head.find("ETag")));
  const auto drip = [&](ScriptedConnection& connection) {  // 20 bytes a second
    connection.readRequest();
    connection.send(head);
    for (std::size_t sent = 0; sent < 40; ++sent, connection.pause(std::chrono::milliseconds(50)))
      connection.send(body.substr(sent, 1));
  };
  struct Row {
    std::string name;
    std::vector<ConnectionScript> connections;
    std::string outcome;  // "<content>|<failure>|<requests>|<range asked last>[|kept][|mirror [<range asked>]...]"
    std::vector<ConnectionScript> mirror = {};  // a second server's, when any
  };
  const std::string half = "bytes=" + std::to_string(whole.size() / 2 - head.size()) + "-";
  const Row rows[] = {
      {"5xx twice", {respondWith(busy), respondWith(busy), respondWith(whole)}, "new||3|"},
      {"closed unread", {[](ScriptedConnection&) {}, respondWith(whole)}, "new||1|"},
      {"silent", {[](ScriptedConnection& connection) { connection.readRequest(), connection.hold(); },
                  respondWith(whole)}, "new||2|"},
      {"5xx always", {respondWith(busy), respondWith(busy), respondWith(busy), respondWith(busy), respondWith(whole)},
       "old|HTTP status 503 Busy|4|"},
      {"cut, continued", {cut, rest}, "new||2|" + half},
      {"cut, the server's copy changed", {cut, respondWith(whole)}, "new||2|" + half},
      {"cut, then 206 of another range: whole again", {cut, otherRange, respondWith(whole)}, "new||3|"},
      {"cut always, kept for the next update", {cut, cut, cut, cut},
       "old|Connection closed after " + std::to_string(whole.size() / 2 - head.size()) + " of " + size +
           " body bytes|4|" + half + "|kept"},
      {"404", {respondWith(httpAnswer("", "404 Not Found")), respondWith(whole)}, "old|HTTP status 404 Not Found|1|"},
      {"wrong digest", {respondWith(httpAnswer(deflated("other"))), respondWith(whole)},
       "old|content does not match the list's digest (got 795f3202b17cb6bc3d4b771d8c6c9eaf)|1|"},
      {"below the rate floor", {drip, respondWith(whole)}, "old|Transfer too slow|1|"},
      {"cut, a mirror's other copy: its part refused", {cut}, "new||1||mirror [" + half + "][]", {stored, stored}}};
  const update::TransferOptions options{.jobs = 1, .minimumRate = {.graceMs = 300}, .silenceMs = 300,
                                .retryPauses = {std::chrono::milliseconds(1), std::chrono::milliseconds(2),
                                                std::chrono::milliseconds(4)},
                                .keepFrom = 64u << 10};
  const std::vector<FileRecord> files{{"f", "f", formats::hexDigest(platform::md5Of(content))}};
  for (const Row& row : rows) {
    TempFolder root;
    writeFile(root / "f", "old");
    const ScriptedServer server(row.connections), mirror(row.mirror);
    update::FileMetaCache cache;
    const update::ServerList servers = row.mirror.empty() ? update::ServerList{server.url()} : update::ServerList{server.url(), mirror.url()};
    const auto failures = update::updateFiles(files, servers, root.prefix(), cache, ignoreProgress, options);
    const std::vector<std::string> requests = server.receivedRequests();
    const auto rangeOf = [](const std::string& request) {
      const auto range = request.find("Range: "), end = request.find("\r\n", range);
      return range == std::string::npos ? "" : request.substr(range + 7, end - range - 7);
    };
    std::string mirrored = row.mirror.empty() ? "" : "|mirror ";
    for (const std::string& request : mirror.receivedRequests()) mirrored += "[" + rangeOf(request) + "]";
    EXPECT_EQ((readFile(root / "f") == content ? "new" : readFile(root / "f")) + "|" +
                  (failures.empty() ? "" : failures[0].reason) + "|" + std::to_string(requests.size()) + "|" +
                  (requests.empty() ? "" : rangeOf(requests.back())) +
                  (fs::exists(root / "f.quarnmp-partial") ? "|kept" : "") + mirrored,
              row.outcome) << row.name;
  }
}

// Neither members the catalogue does not use (15 MiB, never held as a document tree) nor a body of any size (128 MiB
// of zeros, their MD5 below) makes memory grow.
TEST(Memory, DoesNotGrowWithUnusedCatalogueMembersOrTheFileSize) {
  std::string text = catalogueText({entry("main")}), unused = R"("unused": [)";
  for (int i = 0; i < 5000000; ++i) unused += "{},";
  text.insert(text.find('{') + 1, unused + "{}], ");
  expectWithinMemory("catalogue", 64u << 20, [&] { return catalogueFromText(text).size() == 1; });
  const TempFolder root;
  const ScriptedServer server = serverOf({{"/files/zeros.bin", httpAnswer(deflated(std::string(128u << 20, '\0')))}});
  const std::vector<FileRecord> files{{"files/zeros.bin", "zeros.bin", "fde9e0818281836e4fc0edfede2b8762"}};
  update::FileMetaCache cache;
  expectWithinMemory("128 MiB file", 96u << 20,
                     [&] { return update::updateFiles(files, {server.url()}, root.prefix(), cache, ignoreProgress).empty(); });
}

// What the installation in the working directory held when the engine last flushed it to disk.
static std::string atFlush = "never";

extern "C" int syncfs(int fd) {
  atFlush = readFile("QuarnServer/a.txt") + ", cache " + readFile("updater_filemeta.json");
  static const auto flush = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "syncfs"));
  return flush(fd);
}

TEST(Tasks, FailuresSetThePhaseErrorWithTheirReasonAndTheNextTaskStillRuns) {
  const WorkingFolder installation;  // the tasks work on the working directory
  update::resetUpdaterState();
  const auto run = [](const std::function<bool()>& start) {
    ASSERT_TRUE(start()) << "refused to start with no task running";
    EXPECT_FALSE(update::startCatalogueFetch({"http://127.0.0.1:1/"})) << "a second task started while one runs";
    while (!update::pollTask()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  };
  const update::UpdaterState& state = update::updaterState();
  run([] { return update::startCatalogueFetch({"http://127.0.0.1:1/"}); });
  EXPECT_EQ(std::pair(state.errorCode, update::hasCatalogue()), std::pair(update::UpdateError::FetchFailed, false));
  EXPECT_NE(state.failureReason.find("Failed to connect"), std::string::npos);
  run([] { return update::startUpdateDiff({"http://127.0.0.1:1/"}); });  // nothing differs: installs nothing, compares nothing
  EXPECT_EQ(state.errorCode, update::UpdateError::None);
  EXPECT_EQ((std::vector<double>{state.updateProgress, update::currentProgress(), state.diffProgress}),
            (std::vector<double>{1, 1, 0}));

  const ScriptedServer server = serverOf({{"/json", httpAnswer(deflated(catalogueText({entry("main")})))},
                                          {"/lists/main", httpAnswer(deflated(fileListText(
                                                              {{"a.txt", helloDigest}, {"b.txt", helloDigest}})))},
                                          {"/files/main/a.txt", httpAnswer(deflated("hello"))}});
  const ScriptedServer busy = serverOf({{"/json", httpAnswer("", "503 Busy")}});
  const update::ServerList servers{busy.url(), server.url()};  // the catalogue, and so the files, come from the second
  writeFile("QuarnServer/b.txt", "hello");  // current, beside what an earlier run left of it
  for (const char* leftover : {"b.txt.quarnmp-download", "b.txt.quarnmp-partial", "b.txt.quarnmp-partial.new"})
    writeFile(std::string("QuarnServer/") + leftover, "\"v1\"\nstale");
  run([&] { return update::startCatalogueFetch(servers); });
  run(update::startDiff);
  const std::string compared = readFile("updater_filemeta.json");
  {  // Another updater at work: refused before anything is touched.
    const platform::FileLock otherUpdater("updater.lock");
    run([&] { return update::startUpdateDiff(servers); });
    EXPECT_EQ(state.failureReason + "|" + readFile("QuarnServer/a.txt") + "|" + readFile("updater_filemeta.json"),
              std::string(update::installationBusyReason) + "|<missing>|" + compared);
  }
  // A lock that cannot be taken says why; a cache that cannot be saved fails nothing, but is listed with its reason.
  fs::remove("updater.lock");
  fs::create_symlink("elsewhere", "updater.lock");  // never followed
  run([&] { return update::startUpdateDiff(servers); });
  EXPECT_EQ(state.failureReason, "cannot lock updater.lock: Too many levels of symbolic links; nothing was changed");
  fs::remove("updater.lock");
  fs::permissions("updater_filemeta.json", fs::perms::owner_read);
  run(update::startDiff);
  std::string listed = state.errorCode == update::UpdateError::None ? "" : "failed|";
  for (const update::FileFailure& failure : state.fileFailures) listed += failure.localPath + ": " + failure.reason + "|";
  EXPECT_EQ(listed, "updater_filemeta.json: not saved: Permission denied|");
  fs::permissions("updater_filemeta.json", fs::perms::owner_all);
  run([&] { return update::startUpdateDiff(servers); });
  EXPECT_EQ("at the flush: " + atFlush, "at the flush: hello, cache " + compared) << "flushed after the cache write";
  EXPECT_EQ(busy.receivedRequests().size(), 1u) << "the update did not ask the server that gave the catalogue first";
  EXPECT_EQ(std::distance(fs::directory_iterator("QuarnServer"), {}), 2) << "the leftovers beside b.txt stay";
}

// A digest answer arriving after every static object is gone is harmless: a sanitizer report fails the helper.
TEST(ProgramEnd, ADigestArrivingWhileTheEngineEndsIsHarmless) {
  const std::string digest = httpAnswer("0123456789abcdef0123456789abcdef");
  ScriptedServer server(std::vector<ConnectionScript>{respondWith(digest), [&](ScriptedConnection& connection) {
    connection.readRequest();
    connection.pause(std::chrono::milliseconds(400));
    connection.send(digest);
  }});
  const ProgramResult result = runProgram(UPDATE_EXIT_HELPER, {server.url()});
  EXPECT_EQ(std::to_string(result.exitCode) + " after " + std::to_string(server.receivedRequests().size()), "0 after 2")
      << result.err;
}
