// quarnmp-publish makes a tree from mod folders, a server serves it, quarnmp-cli brings an installation up to date.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>

#include "platform/files.h"
#include "tests/support/nginx_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_server.h"
#include "formats/file_digest.h"
#include "update/file_meta_cache.h"

using formats::md5OfFile;

using namespace testing_support;
namespace fs = std::filesystem;

// One installation's story: plans refused, a release checked, installed (killed, refused), touched, republished. Its
// names are in any script, one of 259 characters (Windows' usual limit is 260; its temporary sibling's is longer),
// and a hidden target stays hidden when replaced (under Wine).
TEST(PublishedTree, TheCliBringsAnInstallationUpToDateAndReportsWhatItCannotMend) {
  TempFolder work;
  const auto publish = [&] {
    return runProgram(QUARNMP_PUBLISH_EXE, {(work / "plan.json").string(), (work / "tree").string()});
  };
  const std::pair<std::string, std::string> plans[] = {
      {"[]", "is not a JSON object"}, {"{}", "\"sets\" is missing"}, {R"({"sets": {}})", "must be an array"},
      {R"({"level": 10, "sets": []})", "\"level\""},
      {R"({"sets": [{"name": "M", "sourcepath": "f", "destinationpath": "Q", "url": "l", "default": "yes"}]})",
       "\"default\" must be"}};
  for (const auto& [plan, reason] : plans) {
    writeFile(work / "plan.json", plan);
    const auto result = publish();
    EXPECT_EQ(std::to_string(result.exitCode) + (fs::exists(work / "tree") ? " and a tree" : ""), "2") << plan;
    EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
  }
  std::string longName = "end.txt";  // QuarnServer/<four folders of 59 characters>/end.txt: 259 characters
  for (int level = 0; level < 4; ++level) longName.insert(0, std::string(59, 'l') + "/");
  const std::map<std::string, std::string> files{{"a.txt", "alpha"}, {"maps/My Map.txt", "a map with a space"},
      {"bin/new/x.dll", std::string(300000, 'x') + "end"}, {"hidden.txt", "new"}, {"über.txt", "ü"}, {"жук.txt", "ж"},
      {"日本/地図.txt", "日本"}, {"😀.txt", "😀"}, {longName, "long"}};
  for (const auto& [key, content] : files) writeFile(work / "mod/main" / key, content);
  writeFile(work / "mod/extra/e.txt", "not compared");
  writeFile(work / "updater.exe", "the updater program");
  writeFile(work / "plan.json", R"({"updater": "updater.exe", "sets": [
    {"name": "Main", "description": "the mod", "sourcepath": "files/main", "destinationpath": "QuarnServer",
     "url": "lists/main", "default": true, "folder": "mod/main"},
    {"name": "Extra", "sourcepath": "files/extra", "destinationpath": "extra1", "url": "lists/extra",
     "default": false, "folder": "mod/extra"}]})");
  ASSERT_EQ(publish().exitCode, 0);
  NginxServer nginx(work / "tree");
  // Serves the tree too, but its first answer for x.dll stops halfway and never ends.
  std::atomic<bool> cutShort{true};
  ScriptedServer cutting([&](ScriptedConnection& connection) {
    const std::string request = connection.readRequest(), answer = fileAnswer(work / "tree", request);
    const bool cut = requestTarget(request).ends_with("x.dll") && cutShort.exchange(false);
    connection.send(cut ? answer.substr(0, answer.size() / 2) : answer);
    if (cut) connection.hold();
  });
  const fs::path installation = work / "installation", file = installation / "QuarnServer/a.txt";
  const fs::path dll = installation / "QuarnServer/bin/new/x.dll", partial = dll.string() + ".quarnmp-download";
  const ProgramOptions inInstallation{.workingDirectory = installation.string()};
  writeFile(dll, "old");
  writeFile(installation / "QuarnServer/hidden.txt", "old");
#ifdef QUARNMP_WINE
  ASSERT_EQ(runProgram(QUARNMP_WINE, {"attrib", "+h", "QuarnServer\\hidden.txt"}, inInstallation).exitCode, 0);
#endif
  // "<exit status>|<output>|<error output>" of quarnmp-cli in the installation, of its progress lines the last.
  const auto run = [&](const std::string& command, const std::string& server = "/", const std::string& jobs = "") {
    std::vector<std::string> args{command, "--server", nginx.url(server)};
    if (!jobs.empty()) args.insert(args.end(), {"--jobs", jobs});
    const ProgramResult result = withUnixLineEnds(runProgram(QUARNMP_CLI_EXE, args, inInstallation));
    return std::to_string(result.exitCode) + "|" + result.out + "|" +
           std::regex_replace(result.err, std::regex(".*%\n(?=.)"), "");
  };
  const std::string current = "0||compare: 100%\n", updated = "0||update: 100%\n";

  std::string differing;
  for (const auto& [key, content] : files) differing += "QuarnServer/" + key + "\n";
  EXPECT_EQ(run("check"), "1|" + differing + "|compare: 100%\n");
  // An update killed while a file streams in leaves each file old or new; the next one repairs all. A second
  // updater while it streams is refused at once and touches nothing, not even the first one's download.
  std::string second;  // asked until the kill is seen, run once
  const auto partialWritten = [&] {
    if (!second.empty() || !fs::exists(partial) || fs::file_size(partial) == 0) return !second.empty();
    second = run("update");
    return true;
  };
  const ProgramResult killed =
      runProgram(QUARNMP_CLI_EXE, {"update", "--server", cutting.url()}, inInstallation, partialWritten);
  const std::string other = readFile(file) == "<missing>" ? "alpha" : readFile(file);  // done or not yet begun
  EXPECT_EQ(std::to_string(killed.exitCode) + "|" + other + "|" + readFile(dll) +
                (fs::exists(partial) ? "|partial" : ""), "137|alpha|old|partial");
  EXPECT_EQ(second, "2||quarnmp-cli: another updater is working on this installation (updater.lock is held); nothing "
                    "was changed\n");
  for (const char* jobs : {"0", "33", "+1"})
    EXPECT_EQ(run("update", "/", jobs), "2||quarnmp-cli: usage: quarnmp-cli update [--server URL]... [--jobs 1-32]\n");
  if (!windowsPrograms) {  // A full disk, as a file size limit makes one: the system's reason is reported.
    const ProgramResult full = runProgram("/bin/bash", {"-c", "ulimit -f 64; trap '' XFSZ; exec \"$0\" update --server $1",
                                                        QUARNMP_CLI_EXE, nginx.url("/")}, {.workingDirectory = installation.string()});
    const std::string reason = "QuarnServer/bin/new/x.dll: cannot write " + partial.lexically_relative(installation).string() +
                               ": File too large\n";
    EXPECT_TRUE(full.exitCode == 2 && full.err.find(reason) != std::string::npos) << full.exitCode << ", " << full.err;
  }
  const std::string repaired = run("update", "/", "32");
  EXPECT_EQ(repaired + (fs::exists(partial) ? "and the partial download" : ""), updated);
  EXPECT_EQ(run("check", ""), current);  // the slash after the address is added
  const ProgramResult mirrored =
      runProgram(QUARNMP_CLI_EXE, {"check", "--server", "http://127.0.0.1:1/", "--server", nginx.url()}, inInstallation);
  EXPECT_EQ(std::to_string(mirrored.exitCode) + mirrored.out, "0") << "asked in turn, the first down: " << mirrored.err;
  const auto time = fs::last_write_time(file) - std::chrono::hours(6);
  for (const auto& [key, content] : files) {  // then touched
    EXPECT_TRUE(readFile(installation / "QuarnServer" / key) == content) << key;
    fs::last_write_time(installation / "QuarnServer" / key, time + std::chrono::hours(1));
  }
#ifdef QUARNMP_WINE
  const std::string flags = runProgram(QUARNMP_WINE, {"attrib", "QuarnServer\\hidden.txt"}, inInstallation).out;
  EXPECT_NE(flags.substr(0, flags.find("Z:")).find('H'), std::string::npos) << "not hidden: " << flags;
#endif
  EXPECT_FALSE(fs::exists(installation / "extra1"));  // only the first set is compared
  EXPECT_EQ(readFile(work / "tree/QuarnMpUpdater/index.html"), md5OfFile((work / "updater.exe").string()));

  // A touched file is hashed again and its new time recorded: "<key> at <time>" as cached and as it is.
  EXPECT_EQ(run("check"), current);
  const std::string cacheText = readFile(installation / "updater_filemeta.json");
  EXPECT_TRUE(cacheText.ends_with(std::string(programLineEnd) + " }" + programLineEnd + "}")) << cacheText;
  update::FileMetaCache cache = update::readFileMetaCache(installation.string() + "/");
  std::string cached, actual;
  for (const auto& [key, content] : files) {
    const std::string name = "QuarnServer/" + key, path = (installation / name).string();
    cached += key + " at " + (cache.contains(name) ? std::to_string(cache[name].modtime) : "none") + "\n";
    actual += key + " at " + std::to_string(platform::modificationTime(path).value_or(0)) + "\n";
  }
  EXPECT_EQ(cached, actual);
  writeFile(file, "changed with a new time");
  fs::last_write_time(file, time + std::chrono::hours(2));
  EXPECT_EQ(run("check"), "1|QuarnServer/a.txt\n|compare: 100%\n");

  // Republishing compresses only what changed, an edit of the same size at the same time included, and the change
  // reaches the installation.
  const auto ahead = fs::file_time_type::clock::now() + std::chrono::hours(1);
  fs::last_write_time(work / "mod/main/a.txt", ahead);
  fs::remove(fs::directory_iterator(work / "tree/files/main")->path() / "bin/new/x.dll");  // lost: made again
  EXPECT_EQ(publish().out, "published 10 files (1 compressed, 0 removed, 11 retired) in 2 sets\n");
  writeFile(work / "mod/main/a.txt", "ALPHA");
  fs::last_write_time(work / "mod/main/a.txt", ahead);
  fs::last_write_time(work / "mod/main/bin/new/x.dll", time + std::chrono::hours(4));  // touched, not changed
  fs::remove(work / "mod/main/maps/My Map.txt");
  EXPECT_EQ(publish().out, "published 9 files (1 compressed, 11 removed, 12 retired) in 2 sets\n");
#ifndef QUARNMP_WINE
  // On a terminal the installation shows one line, rewritten in place.
  const std::string command = std::string(QUARNMP_CLI_EXE) + " update --server " + nginx.url();
  const ProgramResult onTerminal = runProgram("/usr/bin/script", {"-qec", command, "/dev/null"}, inInstallation);
  const std::regex line("\rupdate: 1 of 1 files, [0-9.]+ MiB, [0-9.]+ MiB/s, 0 s left *\r\nupdate: 100%\r\n$");
  EXPECT_TRUE(std::regex_search(onTerminal.out, line)) << onTerminal.out;
#else
  EXPECT_EQ(run("update"), updated);
#endif
  EXPECT_EQ(readFile(file), "ALPHA");

  // A server failure is an error (files that cannot be installed: the install table and the signed release story).
  fs::remove(work / "tree/json");
  EXPECT_EQ(run("check"), "2||quarnmp-cli: fetch failed: json: HTTP status 404 Not Found\n");
}
