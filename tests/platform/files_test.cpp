#include <gtest/gtest.h>

#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/files.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;

namespace {
size_t entryCount(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}
}  // namespace

TEST(PlatformFiles, ExistenceCountsFilesAndFoldersAndAcceptsBackslashes) {
  TempFolder temp;
  writeFile(temp / "Data", "plain file");
  fs::create_directories(temp / "base" / "bin");
  EXPECT_TRUE(platform::pathExists((temp / "Data").string()));
  EXPECT_TRUE(platform::pathExists((temp / "base").string()));
  EXPECT_TRUE(platform::pathExists(temp.path().string() + "\\base\\bin"));
  EXPECT_FALSE(platform::pathExists((temp / "DataOP").string()));
  EXPECT_FALSE(platform::pathExists((temp / "Data" / "below-a-file").string()));
  EXPECT_FALSE(platform::pathExists(""));
}

TEST(PlatformFiles, ModificationTimeInSecondsOrNothing) {
  TempFolder temp;
  writeFile(temp / "a", "x");
  struct timespec times[2] = {{1500000000, 999999999}, {1600000000, 999999999}};
  ASSERT_EQ(utimensat(AT_FDCWD, (temp / "a").c_str(), times, 0), 0);
  EXPECT_EQ(platform::modificationTime((temp / "a").string()), 1600000000);
  EXPECT_EQ(platform::modificationTime((temp / "missing").string()), std::nullopt);
}

TEST(PlatformFiles, AtomicWriteReplacesWholeFileAndLeavesNoTemporary) {
  TempFolder temp;
  const std::string target = (temp / "file.bin").string();
  std::string big(3 * 65536 + 7, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31);
  ASSERT_TRUE(platform::writeFileAtomically(target, big));
  ASSERT_TRUE(platform::writeFileAtomically(target, "short"));
  EXPECT_EQ(readFile(target), "short");
  EXPECT_EQ(platform::readWholeFile(target), std::optional<std::string>("short"));
  EXPECT_EQ(entryCount(temp.path()), 1u);
}

TEST(PlatformFiles, ReadOnlyTargetAndMissingFolderAreRefusedWithoutTrace) {
  TempFolder temp;
  const fs::path target = temp / "locked.txt";
  writeFile(target, "old content");
  fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_FALSE(platform::writeFileAtomically(target.string(), "new content"));
  EXPECT_EQ(readFile(target), "old content");
  EXPECT_FALSE(platform::moveFileReplacing((temp / "none").string(), target.string()));
  EXPECT_FALSE(platform::writeFileAtomically((temp / "no" / "such" / "folder.txt").string(), "x"));
  EXPECT_EQ(entryCount(temp.path()), 1u);
}

TEST(PlatformFiles, MoveReplacesTargetAndCreateDirectoryMakesOneLevel) {
  TempFolder temp;
  writeFile(temp / "from", "moved");
  writeFile(temp / "to", "replaced");
  EXPECT_TRUE(platform::moveFileReplacing((temp / "from").string(), (temp / "to").string()));
  EXPECT_EQ(readFile(temp / "to"), "moved");
  EXPECT_FALSE(fs::exists(temp / "from"));

  EXPECT_TRUE(platform::createDirectory((temp / "one").string()));
  EXPECT_FALSE(platform::createDirectory((temp / "one").string()));
  EXPECT_FALSE(platform::createDirectory((temp / "two" / "three").string()));
}
