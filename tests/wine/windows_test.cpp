// Profile names under Windows: from the wide names, in the ANSI code page, and without entering a
// loop of links (Wine shows a Unix link to a folder as a reparse point, as Windows a junction).
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

using namespace testing_support;

TEST(UnderWine, ProfileNamesAreInTheAnsiCodePageAndLinkLoopsAreNotEntered) {
  TempFolder folder;
  for (const char* file : {"J\xc3\xbcrgen.ini", "sub/second.ini", "sub/notes.txt"}) writeFile(folder / "P" / file, "");
  std::filesystem::create_directory_symlink(folder / "P", folder / "P/sub/loop");
  const ProgramResult result = withUnixLineEnds(runProgram(QUARNMP_CLI_EXE, {"profiles", (folder / "P").string()}));
  EXPECT_EQ(result.exitCode, 0) << result.err;
  // The walk keeps the file system's order: "(default)" first, then each name once.
  EXPECT_TRUE(result.out == "(default)\nJ\xfcrgen\nsecond\n" || result.out == "(default)\nsecond\nJ\xfcrgen\n")
      << result.out;
}
