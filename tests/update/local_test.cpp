// The engine's parts that need no server: decompression, digests, the digest cache, path
// safety and folder creation, all on real files in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/run_program.h"
#include "tests/update/served_documents.h"
#include "update/file_digest.h"
#include "update/file_meta_cache.h"
#include "update/inflate.h"
#include "update/install_files.h"
#include "update/safe_path.h"

using namespace update_testing;
using testing_support::readFile;
using testing_support::TempFolder;
using testing_support::writeFile;

namespace {

std::string inflated(const std::string& body) { return inflateToText(body.data(), body.size()); }

std::string repeated(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>("quarn map data "[i % 15] ^ (i / 997));
  return text;
}

}  // namespace

TEST(Decompression, ZlibAndGzipBodiesGiveTheSameBytesAndTrailingBytesAreIgnored) {
  const std::string content = repeated(300000);
  EXPECT_EQ(inflated(zlibOf(content)), content);
  EXPECT_EQ(inflated(gzipOf(content)), content);
  const std::string zlib = zlibOf(content) + "trailing garbage";
  const ByteSequence bytes = inflateToBytes(zlib.data(), zlib.size());
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), content);
}

TEST(Decompression, RejectsRawDeflateCorruptAndCutData) {
  try {
    inflated(rawDeflateOf("plain text without a wrapper"));
    FAIL() << "raw deflate was accepted";
  } catch (const IncompleteStream&) {
    FAIL() << "raw deflate taken for a cut stream";
  } catch (const std::runtime_error& failure) {
    EXPECT_STREQ(failure.what(), "incorrect header check");
  }
  std::string corrupt = zlibOf(repeated(5000));
  corrupt[corrupt.size() / 2] ^= 0x55;
  EXPECT_THROW(inflated(corrupt), std::runtime_error);
  EXPECT_THROW(inflated(corrupt.substr(0, corrupt.size() / 3)), IncompleteStream);
}

TEST(Decompression, OutputOfExactlyTwiceTheBodySize) {
  // Find a content length whose zlib body is exactly half as long.
  for (std::size_t size = 20; size < 400; ++size) {
    const std::string content = repeated(size);
    const std::string body = zlibOf(content);
    if (body.size() * 2 != size) continue;
    EXPECT_EQ(inflated(body), content);
    return;
  }
  GTEST_SKIP() << "no content of exactly twice its compressed size found";
}

TEST(FileDigest, MatchesMd5sumAndMarksUnreadableFiles) {
  TempFolder folder;
  writeFile(folder / "empty", "");
  writeFile(folder / "large", repeated(3 * 1024 * 1024 + 17));  // several read pieces
  EXPECT_EQ(md5OfFile((folder / "empty").string()), "d41d8cd98f00b204e9800998ecf8427e");
  const auto md5sum = testing_support::runProgram("/usr/bin/md5sum", {(folder / "large").string()});
  ASSERT_EQ(md5sum.exitCode, 0);
  EXPECT_EQ(md5OfFile((folder / "large").string()), md5sum.out.substr(0, 32));
  EXPECT_EQ(md5OfFile((folder / "missing").string()), "0000000000000000");
  EXPECT_EQ(md5OfFile(folder.path().string()), digestFailure);  // a folder
}

class CacheFile : public ::testing::Test {
 protected:
  TempFolder folder;
  std::string prefix = folder.path().string() + "/";
  std::filesystem::path file = folder / "updater_filemeta.json";
};

TEST_F(CacheFile, IsWrittenByteExactAndReadBack) {
  FileMetaCache cache;
  cache["b/x.dll"] = {"b/x.dll", 1700000000, "0123456789abcdef0123456789abcdef"};
  cache["a\\y"] = {"a\\y", -5, "0000000000000000"};
  writeFileMetaCache(prefix, cache);
  EXPECT_EQ(readFile(file),
            "{\n \"a\\\\y\": {\n  \"hash\": \"0000000000000000\",\n  \"modtime\": -5\n },\n"
            " \"b/x.dll\": {\n  \"hash\": \"0123456789abcdef0123456789abcdef\",\n  \"modtime\": 1700000000\n }\n}");
  const FileMetaCache back = readFileMetaCache(prefix);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back.at("a\\y").modtime, -5);
  EXPECT_EQ(back.at("b/x.dll").hash, "0123456789abcdef0123456789abcdef");
  writeFileMetaCache(prefix, {});
  EXPECT_EQ(readFile(file), "null");
  EXPECT_TRUE(readFileMetaCache(prefix).empty());
}

TEST_F(CacheFile, FloatTimesAreTruncatedAndZeroTimesDropped) {
  writeFile(file, R"({"a": {"hash": "h1", "modtime": 1700000000.9}, "b": {"hash": "h2", "modtime": -3.7},
                     "./a": {"hash": "h3", "modtime": 0}})");
  const FileMetaCache cache = readFileMetaCache(prefix);
  ASSERT_EQ(cache.size(), 2u);
  EXPECT_EQ(cache.at("a").modtime, 1700000000);
  EXPECT_EQ(cache.at("b").modtime, -3);
}

TEST_F(CacheFile, UnreadableContentCountsAsEmpty) {
  for (const char* content : {"{not json", "[1, 2]", R"({"a": {"hash": 5, "modtime": 1}})",
                              R"({"a": {"hash": "h", "modtime": "1"}})", R"({"a": {"hash": "h"}})",
                              R"({"a": {"hash": "h", "modtime": 1e300}})", R"({"a": 7})"}) {
    writeFile(file, content);
    EXPECT_TRUE(readFileMetaCache(prefix).empty()) << content;
  }
}

TEST(PathSafety, RefusesEveryWayOutOfTheInstallation) {
  const std::vector<std::string> outside = {"", "/etc/passwd", "\\Windows\\x", "C:/x", "c:x", "QuarnServer/../../x",
                                 "QuarnServer\\..\\x", "..", "a/..", "a/.. /b", "a/.../b", "a/. ./b",
                                 std::string("a/b\0c", 5), "file.txt:stream"};
  for (const std::string& path : outside) {
    EXPECT_FALSE(staysInsideInstallation(path)) << path;
  }
  for (const char* path : {"QuarnServer/a.txt", "./Data/x", "a/..b/c", "maps/My Map.txt", "a/.hidden", "x.."}) {
    EXPECT_TRUE(staysInsideInstallation(path)) << path;
  }
}

TEST(FolderCreation, MakesEveryLevelWithEitherSeparator) {
  TempFolder folder;
  const std::string root = folder.path().string();
  createDirectories(root + "/QuarnServer/bin\\new");
  EXPECT_TRUE(std::filesystem::is_directory(folder / "QuarnServer/bin/new"));
  createDirectories(root + "/QuarnServer/bin\\new");  // existing folders are no failure
  EXPECT_TRUE(std::filesystem::is_directory(folder / "QuarnServer/bin/new"));
}
