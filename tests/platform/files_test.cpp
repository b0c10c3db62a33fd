#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/files.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;

// Queries take backslashes, times are whole seconds; writes and moves replace the whole file or nothing.
TEST(PlatformFiles, QueriesWritesAndMoves) {
  TempFolder temp;
  writeFile(temp / "Data", "plain file");
  for (const auto& [folder, made] : {std::pair{temp / "base", true}, {temp / "base", false}, {temp / "a/b", false}})
    EXPECT_EQ(static_cast<bool>(platform::createDirectory(folder.string())), made) << folder;
  EXPECT_TRUE(platform::pathExists(temp.path().string() + "\\base"));
  EXPECT_FALSE(platform::pathExists((temp / "Data" / "below-a-file").string()));
  struct timespec times[2] = {{1500000000, 999999999}, {1600000000, 999999999}};
  ASSERT_EQ(utimensat(AT_FDCWD, (temp / "Data").c_str(), times, 0), 0);
  EXPECT_EQ(platform::modificationTime((temp / "Data").string()), 1600000000);
  EXPECT_EQ(platform::modificationTime((temp / "missing").string()), std::nullopt);

  const std::string target = (temp / "file.bin").string();
  ASSERT_TRUE(platform::writeFileAtomically(target, "short"));
  // What is not there stays apart from what cannot be read or told about, which says why.
  const std::string tooLong = (temp / std::string(300, 'n')).string();
  std::string read = platform::pathExists(tooLong).failure.value_or("no reason");
  for (const fs::path& path : {fs::path(target), temp / "missing", temp / "base", fs::path(tooLong)}) {
    const platform::FileContent got = platform::readWholeFile(path.string());
    read += "|" + got.content.value_or(got.failure + (got.missing ? " (missing)" : ""));
  }
  EXPECT_EQ(read, "File name too long|short|No such file or directory (missing)|Is a directory|File name too long");
  const fs::path locked = temp / "locked.txt";
  writeFile(locked, "old content");
  fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::create_directory(temp / "folder");  // the final rename fails
  for (const fs::path& refused : {locked, temp / "no/such/folder.txt", temp / "folder"})
    EXPECT_FALSE(platform::writeFileAtomically(refused.string(), "new content")) << refused;
  EXPECT_EQ(readFile(locked), "old content");
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), {}), 5) << "a temporary file was left behind";

  writeFile(temp / "from", "moved");
  EXPECT_TRUE(platform::moveFileReplacing((temp / "from").string(), target));
  EXPECT_FALSE(platform::moveFileReplacing((temp / "from").string(), target));
  writeFile(temp / "from", "new");
  EXPECT_FALSE(platform::moveFileReplacing((temp / "from").string(), locked.string()));
  EXPECT_EQ(readFile(target) + "|" + readFile(locked), "moved|old content");

  // /dev/shm is a memory file system of its own: rename(2) fails there with EXDEV.
  struct stat shm {}, here {};
  if (::stat("/dev/shm", &shm) != 0 || ::stat(temp.path().c_str(), &here) != 0 || shm.st_dev == here.st_dev)
    GTEST_SKIP() << "no second file system";
  const fs::path elsewhere = "/dev/shm/quarnmp-move-" + std::to_string(::getpid());
  writeFile(elsewhere, "from another volume");
  EXPECT_TRUE(platform::moveFileReplacing(elsewhere.string(), (temp / "copied").string()));
  EXPECT_EQ(readFile(temp / "copied"), "from another volume");
  EXPECT_FALSE(fs::exists(elsewhere));
}
