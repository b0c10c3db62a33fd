// A release signed by the mod team and served by nginx, met by a client built with the team's
// public key; and the same keys and signatures in Debian's minisign, both ways.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <regex>

#include "tests/support/nginx_fixture.h"
#include "tests/support/run_program.h"
#include "update/release_key.h"
#include "update/updater_hash.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const fs::path keys = TEST_KEY_DIR;  // test.pub and test.key, made by minisign -G -W

ProgramResult run(const std::string& program, const std::vector<std::string>& arguments, const fs::path& where = ".") {
  ProgramOptions options;
  options.workingDirectory = where.string();
  return runProgram(program, arguments, options);
}

void flipByte(const fs::path& file) {
  std::string bytes = readFile(file);
  bytes[bytes.size() / 2] ^= 0x01;
  writeFile(file, bytes);
}

void copyOver(const fs::path& from, const fs::path& to) { fs::copy_file(from, to, fs::copy_options::overwrite_existing); }

// Two sets, so that one list can be served in the other's place; "tree" is signed with the
// test key by quarnmp-publish, "evil" is the same plan with other content, unsigned, and
// "other" is signed with a key that quarnmp-publish made.
class SignedRelease {
 public:
  SignedRelease() {
    writeFile(work / "mod/a/a.txt", "alpha");
    writeFile(work / "mod/a/bin/x.dll", "the code");
    writeFile(work / "mod/b/b.txt", "beta");
    writeFile(work / "updater.exe", "the updater");
    writeFile(work / "plan.json", R"({"updater": "updater.exe", "sets": [
      {"name": "A", "sourcepath": "files/a", "destinationpath": "QuarnServer", "url": "lists/a", "folder": "mod/a"},
      {"name": "B", "sourcepath": "files/b", "destinationpath": "extra", "url": "lists/b", "folder": "mod/b"}]})");
    publish("pristine", {"--sign", (keys / "test.key").string()});
    const std::string signature = readFile(work / "pristine/json.minisig");
    timestamp = std::stoll(signature.substr(signature.find("timestamp:") + 10));
    EXPECT_EQ(run(QUARNMP_PUBLISH_EXE, {"keygen", (work / "other.pub").string(), (work / "other.key").string()}).exitCode, 0);
    publish("other", {"--sign", (work / "other.key").string()});
    writeFile(work / "mod/a/a.txt", "ALPHA, as an attacker wants it");
    publish("evil", {});
    serve("pristine");
  }

  void publish(const std::string& tree, std::vector<std::string> options) {
    options.insert(options.end(), {(work / "plan.json").string(), (work / tree).string()});
    const ProgramResult result = run(QUARNMP_PUBLISH_EXE, options);
    ASSERT_EQ(result.exitCode, 0) << result.err;
  }

  // The served tree becomes a copy of the given one.
  void serve(const std::string& from) {
    fs::remove_all(served);
    fs::copy(work / from, served, fs::copy_options::recursive);
  }

  // Signs a served document with minisign and the test key, as of the given time.
  void signWithMinisign(const std::string& path, std::int64_t time) {
    const ProgramResult result = run(MINISIGN_EXE, {"-S", "-s", (keys / "test.key").string(), "-m", (served / path).string(),
                                                    "-t", "timestamp:" + std::to_string(time) + "\tfile:" + path});
    ASSERT_EQ(result.exitCode, 0) << result.err;
  }

  ProgramResult update(const fs::path& installation) const {
    fs::create_directories(installation);
    return run(QUARNMP_CLI_SIGNED_EXE, {"update", "--server", nginx.url("/")}, installation);
  }

  TempFolder work;
  fs::path served = work / "served";
  std::int64_t timestamp = 0;
  NginxServer nginx{served};
};

}  // namespace

TEST(SignedRelease, InstallsOnlyWhatTheKeySignedForEachPath) {
  SignedRelease release;
  const fs::path& served = release.served;
  const fs::path& work = release.work.path();
  const auto installed = release.update(work / "installation");
  EXPECT_EQ(installed.exitCode, 0) << installed.err;
  EXPECT_EQ(readFile(work / "installation/QuarnServer/a.txt"), "alpha");
  EXPECT_EQ(readFile(work / "installation/updater_release.json"), "{\"timestamp\":" + std::to_string(release.timestamp) + "}\n");
  EXPECT_EQ(run(QUARNMP_CLI_EXE, {"update", "--server", release.nginx.url("/")}, work / "installation").exitCode, 0)
      << "a build without a key ignores the signatures";

  const struct {
    const char* tamper;
    std::function<void()> apply;
    std::string reason;
  } cases[] = {
      {"one byte of json", [&] { flipByte(served / "json"); }, "json: signature invalid (the document is not the one signed)"},
      {"one byte of a list", [&] { flipByte(served / "lists/a"); }, "lists/a: signature invalid (the document is not the one signed)"},
      {"a file replaced", [&] { copyOver(work / "evil/files/a/a.txt", served / "files/a/a.txt"); },
       "QuarnServer/a.txt: content does not match the list's digest"},
      {"the trusted comment edited",
       [&] { writeFile(served / "json.minisig", std::regex_replace(readFile(served / "json.minisig"), std::regex("timestamp:[0-9]+"), "timestamp:9999999999")); },
       "json: signature invalid (the trusted comment is not the one signed)"},
      {"another key",
       [&] { for (const char* path : {"json", "json.minisig"}) copyOver(work / "other" / path, served / path); },
       "json: signature invalid (made with key"},
      {"the list of a served for b",
       [&] { for (const char* end : {"", ".minisig"}) copyOver(served / ("lists/a" + std::string(end)), served / ("lists/b" + std::string(end))); },
       "lists/b: signed for another file (lists/a)"},
      {"no signature", [&] { fs::remove(served / "json.minisig"); }, "json: signature missing (HTTP status 404 Not Found)"},
      {"a list of an older release", [&] { release.signWithMinisign("lists/a", release.timestamp - 1); },
       "lists/a: older release than the catalogue"},
  };
  for (const auto& tampered : cases) {
    release.serve("pristine");
    tampered.apply();
    const fs::path installation = work / "fresh" / tampered.tamper;
    const auto result = release.update(installation);
    EXPECT_NE(result.exitCode, 0) << tampered.tamper;
    EXPECT_NE(result.err.find(tampered.reason), std::string::npos) << tampered.tamper << "\n" << result.err;
    EXPECT_FALSE(fs::exists(installation / "QuarnServer/a.txt")) << tampered.tamper;
  }
}

TEST(SignedRelease, InteroperatesWithMinisignAndRefusesAnOlderReleaseAfterANewerOne) {
  SignedRelease release;
  const fs::path& work = release.work.path();
  for (const char* path : {"json", "lists/a", "QuarnMpUpdater/index.html"}) {
    const auto verified = run(MINISIGN_EXE, {"-V", "-p", (keys / "test.pub").string(), "-m", (work / "pristine" / path).string()});
    EXPECT_EQ(verified.exitCode, 0) << path << verified.err;
    EXPECT_NE(verified.out.find("timestamp:" + std::to_string(release.timestamp) + "\tfile:" + path), std::string::npos) << verified.out;
  }
  // A key pair of quarnmp-publish signs and verifies in minisign.
  EXPECT_EQ(run(MINISIGN_EXE, {"-S", "-s", (work / "other.key").string(), "-m", (work / "plan.json").string()}).exitCode, 0);
  EXPECT_EQ(run(MINISIGN_EXE, {"-V", "-p", (work / "other.pub").string(), "-m", (work / "plan.json").string()}).exitCode, 0);

  // Signed by minisign 40 days before: installs, with a warning; then the release of today,
  // after which the old one is refused.
  const std::int64_t old = release.timestamp - 40 * 86400;
  for (const char* path : {"json", "lists/a", "lists/b"}) release.signWithMinisign(path, old);
  const fs::path installation = work / "installation";
  auto result = release.update(installation);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("quarnmp-cli: warning: the release was signed 40 days ago; the server may be a frozen mirror"),
            std::string::npos) << result.err;
  EXPECT_EQ(readFile(installation / "QuarnServer/bin/x.dll"), "the code");
  const std::string oldTree = (work / "old").string();
  fs::copy(release.served, oldTree, fs::copy_options::recursive);
  release.serve("pristine");
  result = release.update(installation);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err.find("warning"), std::string::npos) << result.err;
  release.serve("old");
  result = release.update(installation);
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("fetch failed: json: older release than the installed one"), std::string::npos) << result.err;
}

TEST(SignedRelease, TheUpdaterDigestCountsOnlyWithItsSignature) {
  SignedRelease release;
  const auto key = parsePublicKey(readFile(keys / "test.pub"));
  ASSERT_TRUE(key);
  const std::string base = release.nginx.url("/");
  EXPECT_EQ(fetchUpdaterHash(base, key), readFile(release.served / "QuarnMpUpdater/index.html"));
  flipByte(release.served / "QuarnMpUpdater/index.html");
  EXPECT_EQ(fetchUpdaterHash(base, key), std::nullopt);
  EXPECT_EQ(fetchUpdaterHash(base), readFile(release.served / "QuarnMpUpdater/index.html"));  // no key, no check
}

TEST(SignedRelease, ThePublisherSignsOnlyWithAUsableKey) {
  TempFolder work;
  writeFile(work / "mod/a.txt", "a");
  writeFile(work / "plan.json", R"({"sets": [{"name": "M", "sourcepath": "f", "destinationpath": "Q", "url": "l", "folder": "mod"}]})");
  // An encrypted key: the unencrypted one with the key derivation "Sc" (scrypt) named.
  std::vector<std::string_view> lines = textLines(readFile(keys / "test.key"));
  std::uint8_t bytes[158];
  ASSERT_TRUE(fromBase64(lines.at(1), bytes, sizeof bytes));
  bytes[2] = 'S', bytes[3] = 'c';
  writeFile(work / "encrypted.key", "untrusted comment: minisign encrypted secret key\n" + toBase64(bytes, sizeof bytes) + "\n");
  writeFile(work / "public.pub", readFile(keys / "test.pub"));
  const std::pair<std::vector<std::string>, std::string> refusals[] = {
      {{"--sign", (work / "encrypted.key").string()}, "encrypted.key: the secret key is encrypted with a password"},
      {{"--sign", (keys / "test.pub").string()}, "test.pub: not a minisign secret key"},
      {{"keygen", (work / "public.pub").string(), (work / "new.key").string()}, "public.pub: exists already; not replaced"}};
  for (auto [arguments, reason] : refusals) {
    if (arguments[0] != "keygen") arguments.insert(arguments.end(), {(work / "plan.json").string(), (work / "tree").string()});
    const auto result = run(QUARNMP_PUBLISH_EXE, arguments);
    EXPECT_EQ(result.exitCode, 2) << reason;
    EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
  }
  EXPECT_FALSE(fs::exists(work / "tree"));
  EXPECT_FALSE(fs::exists(work / "new.key"));
}
