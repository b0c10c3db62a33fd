// What only Windows has, under Wine: profile names in the ANSI code page and link loops; file names
// beyond that code page, paths near its 260-character limit and file attributes in an update.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <regex>

#include "platform/files.h"
#include "tests/support/nginx_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

using namespace testing_support;
namespace fs = std::filesystem;

// The folder's name, given on the command line, is beyond that code page.
TEST(UnderWine, ProfileNamesAreInTheAnsiCodePageAndLinkLoopsAreNotEntered) {
  TempFolder work;
  const fs::path folder = work / "Профили";
  for (const char* file : {"J\xc3\xbcrgen.ini", "sub/second.ini", "sub/notes.txt"}) writeFile(folder / file, "");
  fs::create_directory_symlink(folder, folder / "sub/loop");
  const ProgramResult result = withUnixLineEnds(runProgram(QUARNMP_CLI_EXE, {"profiles", folder.string()}));
  EXPECT_EQ(result.exitCode, 0) << result.err;
  // The walk keeps the file system's order: "(default)" first, then each name once.
  EXPECT_TRUE(result.out == "(default)\nJ\xfcrgen\nsecond\n" || result.out == "(default)\nsecond\nJ\xfcrgen\n")
      << result.out;
}

// The list's UTF-8 names reach the disk as they are, a target named by 259 characters installs although
// its temporary sibling's name is longer, and a hidden file stays hidden when replaced.
TEST(UnderWine, AnUpdateKeepsNamesPathsNearTheLimitAndAttributes) {
  TempFolder work;
  const fs::path installation = work / "installation";
  std::string longName = "end.txt";  // QuarnServer/<four folders of 59 characters>/end.txt: 259 characters
  for (int level = 0; level < 4; ++level) longName.insert(0, std::string(59, 'l') + "/");
  const std::vector<std::string> keys = {"über.txt", "жук.txt", "日本/地図.txt", "😀.txt", longName, "hidden.txt"};
  for (const std::string& key : keys) writeFile(work / "mod" / key, "new " + key);
  writeFile(work / "plan.json", R"({"sets": [{"name": "Main", "sourcepath": "files", "destinationpath": "QuarnServer",
                                    "url": "list", "default": true, "folder": "mod"}]})");
  ASSERT_EQ(runProgram(QUARNMP_PUBLISH_EXE, {(work / "plan.json").string(), (work / "tree").string()}).exitCode, 0);
  NginxServer nginx(work / "tree");
  writeFile(installation / "QuarnServer/hidden.txt", "old");
  // "<exit status>|<output>" of a program in the installation, with quarnmp-cli's progress lines but the last.
  const auto run = [&](const std::string& program, const std::vector<std::string>& arguments) {
    const ProgramResult result =
        withUnixLineEnds(runProgram(program, arguments, {.workingDirectory = installation}));
    return std::to_string(result.exitCode) + "|" + result.out +
           std::regex_replace(result.err, std::regex(".*%\n(?=.)"), "");
  };
  const auto cli = [&](const std::string& command) { return run(QUARNMP_CLI_EXE, {command, "--server", nginx.url()}); };
  ASSERT_EQ(run(QUARNMP_WINE, {"attrib", "+h", "QuarnServer\\hidden.txt"}), "0|");

  EXPECT_EQ(cli("update"), "0|update: 100%\n");
  fs::remove(installation / "updater_filemeta.json");  // every file hashed and its time taken again,
  for (const std::string& key : keys)                   // a time old enough for the cache to keep
    fs::last_write_time(installation / "QuarnServer" / key, fs::file_time_type::clock::now() - std::chrono::hours(1));
  EXPECT_EQ(cli("check"), "0|compare: 100%\n");
  // "<name>: <content> at <modification time>", the time as the cache recorded it and as it is.
  const auto cache = nlohmann::json::parse(readFile(installation / "updater_filemeta.json"));
  std::string installed, expected;
  for (const std::string& key : keys) {
    const std::string name = "QuarnServer/" + key, file = (installation / name).string();
    const std::string cached = cache.contains(name) ? cache.at(name).at("modtime").dump() : "none";
    installed += key + ": " + readFile(file) + " at " + cached + "\n";
    expected += key + ": new " + key + " at " + std::to_string(platform::modificationTime(file).value_or(0)) + "\n";
  }
  EXPECT_EQ(installed, expected);
  const std::string attributes = run(QUARNMP_WINE, {"attrib", "QuarnServer\\hidden.txt"});
  EXPECT_NE(attributes.substr(0, attributes.find("Z:")).find('H'), std::string::npos) << "not hidden: " << attributes;
}
