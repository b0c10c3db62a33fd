// What only the Windows build can get wrong: Winsock's way of reporting a refused connection,
// and profile names from the file system's wide names in the ANSI code page, without entering
// a loop of links (Wine shows a Unix link to a folder as a reparse point, as a junction is).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "tests/support/run_program.h"
#include "tests/support/server_process.h"
#include "tests/support/temp_folder.h"

using namespace testing_support;

TEST(UnderWine, ARefusedConnectionFailsAtOnceWithItsWinsockCode) {
  const std::string url = "http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/";
  const auto start = std::chrono::steady_clock::now();
  const ProgramResult result = runProgram(QUARNMP_CLI_EXE, {"get", url, "--timeout", "30000"});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << "waited for the time limit";
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.err.rfind("error system_error(10061): Failed to connect", 0), 0u) << result.err;
}

TEST(UnderWine, ProfileNamesAreInTheAnsiCodePageAndLinkLoopsAreNotEntered) {
  TempFolder folder;
  for (const char* file : {"J\xc3\xbcrgen.ini", "sub/second.ini", "sub/notes.txt"}) writeFile(folder / "P" / file, "");
  std::filesystem::create_directory_symlink(folder / "P", folder / "P/sub/loop");
  const ProgramResult result = runProgram(QUARNMP_CLI_EXE, {"profiles", (folder / "P").string()});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  // The walk keeps the file system's order: "(default)" first, then each name once.
  EXPECT_TRUE(result.out.starts_with("(default)\r\n")) << result.out;
  EXPECT_EQ(result.out.size(), std::string("(default)\r\nJ\xfcrgen\r\nsecond\r\n").size()) << result.out;
  for (const std::string line : {"\nJ\xfcrgen\r\n", "\nsecond\r\n"})
    EXPECT_NE(result.out.find(line), std::string::npos) << result.out;
}
