// What only Windows has, under Wine: profile names in the ANSI code page and link loops (names beyond that code page,
// paths near its 260-character limit and file attributes in an update: the published tree's story).
#include <gtest/gtest.h>

#include <filesystem>

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
