// A release signed by the mod team and served by nginx, met by a client built with the team's
// public key; and the same keys and signatures in Debian's minisign, both ways.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <tuple>
#include <unistd.h>

#include "tests/support/nginx_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_server.h"
#include "formats/release_key.h"
#include "update/updater_hash.h"

using formats::ReleaseCheck;
using formats::parsePublicKey;
using formats::textLines;

using namespace testing_support;
namespace fs = std::filesystem;

const std::string testKey = TEST_KEY_DIR "/test.key", testPub = TEST_KEY_DIR "/test.pub";  // by minisign -G -W

static ProgramResult run(const std::string& exe, const std::vector<std::string>& args, const fs::path& where = ".") {
  return runProgram(exe, args, {.workingDirectory = where.string()});
}

static void flipByte(const fs::path& file, std::size_t at = std::string::npos) {
  std::string bytes = readFile(file);
  bytes[at == std::string::npos ? bytes.size() / 2 : at] ^= 0x01;
  writeFile(file, bytes);
}

// "<exit status>|<line>|..." of what the program wrote to standard error, progress lines left out.
static std::string outcome(const ProgramResult& result) {
  std::string text = std::to_string(result.exitCode);
  for (std::string_view line : textLines(result.err))
    if (!line.ends_with('%')) text += "|" + std::string(line);
  return text;
}

// Two sets, so that one list can be served in the other's place. "pristine": signed with the test key; "evil":
// other content, unsigned; "other": signed with a key that quarnmp-publish made. nginx serves a copy of one. Each
// carries an updater program: a stand-in script that prints its version.
TEST(SignedRelease, InstallsOnlyWhatTheKeySignedAndInteroperatesWithMinisign) {
  TempFolder work;
  const std::string plan = (work / "plan.json").string();
  const fs::path served = work / "served";
  NginxServer nginx(served);
  for (auto [path, content] : {std::pair{"mod/a/a.txt", "alpha"}, {"mod/a/bin/x.dll", "the code"},
                                {"mod/b/b.txt", "beta"}})
    writeFile(work / path, content);
  const auto program = [](const char* version) {
    return "#!/bin/sh\necho " + std::string(version) + "\nexit\n" + std::string(4 << 20, '#') + "\n";
  };
  writeFile(work / "QuarnMpUpdater", program("2.0.0"));
  writeFile(work / "plan.json", R"({"updater": "QuarnMpUpdater", "sets": [
    {"name": "A", "sourcepath": "files/a", "destinationpath": "QuarnServer", "url": "lists/a", "folder": "mod/a"},
    {"name": "B", "sourcepath": "files/b", "destinationpath": "extra", "url": "lists/b", "folder": "mod/b"}]})");
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"--sign", testKey, plan, (work / "pristine").string()},
           {"keygen", (work / "other.pub").string(), (work / "other.key").string()},
           {"--sign", (work / "other.key").string(), plan, (work / "other").string()}})
    ASSERT_EQ(outcome(run(QUARNMP_PUBLISH_EXE, arguments)), "0");
  writeFile(work / "mod/a/a.txt", "ALPHA, as an attacker wants it");
  ASSERT_EQ(outcome(run(QUARNMP_PUBLISH_EXE, {plan, (work / "evil").string()})), "0");
  const std::string signature = readFile(work / "pristine/json.minisig");
  const std::int64_t timestamp = std::stoll(signature.substr(signature.find("timestamp:") + 10));
  const std::string now = std::to_string(timestamp);
  const auto copy = [](const fs::path& from, const fs::path& to) { writeFile(to, readFile(from)); };
  // Each release has its lists and folders of its own, named by its time.
  const std::string listA = "lists/a." + now, listB = "lists/b." + now;
  const auto releaseFile = [&](const std::string& tree) {
    return fs::directory_iterator(work / tree / "files/a")->path() / "a.txt";
  };
  const fs::path servedA = served / releaseFile("pristine").lexically_relative(work / "pristine");
  const auto serve = [&](const std::string& tree) {
    fs::remove_all(served);
    fs::copy(work / tree, served, fs::copy_options::recursive);
  };
  const auto signWithMinisign = [&](const std::string& path, std::int64_t time) {
    const std::string comment = "timestamp:" + std::to_string(time) + "\tfile:" + path;
    ASSERT_EQ(outcome(run(MINISIGN_EXE, {"-S", "-s", testKey, "-m", path, "-t", comment}, served)), "0");
  };
  const auto update = [&](const fs::path& installation, const char* program = QUARNMP_CLI_SIGNED_EXE) {
    fs::create_directories(installation);
    return outcome(run(program, {"update", "--server", nginx.url("/")}, installation));
  };

  serve("pristine");
  const std::string installed = update(work / "installed");  // runs before the file is read
  const auto record = [](const std::string& number) { return "{\"timestamp\":" + number + "}\n"; };
  EXPECT_EQ(installed + "|" + readFile(work / "installed/QuarnServer/a.txt") + "|" +
                readFile(work / "installed/updater_release.json"), "0|alpha|" + record(now));
  EXPECT_EQ(update(work / "installed", QUARNMP_CLI_EXE), "0") << "a build without a key ignores the signatures";
  const std::string refused = "2|quarnmp-cli: fetch failed: ";
  const std::string older = refused + "json: older release than the installed one";
  EXPECT_EQ(update(work / "cut key", QUARNMP_CLI_UNUSABLE_KEY_EXE),
            refused + "the public key built into this updater is not a minisign key line; it accepts no release");

  // Each refused whole, with the first message as given ("<exit status>|<message>|...").
  const std::pair<std::function<void()>, std::string> tampered[] = {
      {[&] { flipByte(served / "json"); }, refused + "json: signature invalid (the document is not the one signed)"},
      {[&] { flipByte(served / listA); }, refused + listA + ": signature invalid (the document is not the one signed)"},
      {[&] { copy(releaseFile("evil"), servedA); },
       "2|QuarnServer/a.txt: content does not match the list's digest (got dc7f558e83a9203391be9caa5c83bb99)|"
       "quarnmp-cli: update failed: 1 of 2 files could not be installed"},
      {[&] { flipByte(served / "json.minisig", readFile(served / "json.minisig").find("timestamp:") + 10); },
       refused + "json: signature invalid (the trusted comment is not the one signed)"},
      {[&] { for (auto doc : {"json", "json.minisig"}) copy(work / "other" / doc, served / doc); },
       refused + "json: signature invalid (made with key "},
      {[&] { for (auto end : {"", ".minisig"}) copy(served / listA += end, served / listB += end); },
       refused + listB + ": signed for another file (" + listA + ")"},
      {[&] { fs::remove(served / "json.minisig"); }, refused + "json: signature missing (HTTP status 404 Not Found)"},
      {[&] { copy(served / (listA + ".minisig"), served / "json.minisig"); fs::remove(served / "json.next.minisig"); },
       refused + "json: signature invalid (the document is not the one signed)"},
      {[&] { writeFile(served / (listA + ".minisig"), std::string(64 * 1024 + 1, '\n')); },
       refused + listA + ": signature too large (over 64 KiB)"},
      {[&] { signWithMinisign(listA, timestamp - 1); }, refused + listA + ": older release than the catalogue"},
  };
  for (const auto& [tamper, outcome] : tampered) {
    serve("pristine");
    tamper();
    const TempFolder fresh;
    const std::string updated = update(fresh.path());
    EXPECT_TRUE(updated.starts_with(outcome) && !fs::exists(fresh / "QuarnServer/a.txt")) << updated;
  }
  // A publish stopped between the catalogue and its signature: the next signature vouches for the catalogue.
  serve("pristine");
  copy(served / (listA + ".minisig"), served / "json.minisig");
  EXPECT_EQ(update(work / "stopped"), "0");

  // minisign verifies what quarnmp-publish signed, and uses a key pair that it made.
  for (const std::string& path : {std::string("json"), listA, std::string("QuarnMpUpdater/index.html")})
    EXPECT_EQ(run(MINISIGN_EXE, {"-V", "-p", testPub, "-m", path}, work / "pristine").out,
              "Signature and comment signature verified\nTrusted comment: timestamp:" + std::to_string(timestamp) +
                  "\tfile:" + path + "\n");
  EXPECT_EQ(outcome(run(MINISIGN_EXE, {"-S", "-s", (work / "other.key").string(), "-m", plan})), "0");
  EXPECT_EQ(outcome(run(MINISIGN_EXE, {"-V", "-p", (work / "other.pub").string(), "-m", plan})), "0");

  // quarnmp-publish signs only with a usable key, not an encrypted one (the key derivation "Sc"
  // named: "Ed\0\0B2" is "RWQAAEIy" in base64, "EdScB2" "RWRTY0Iy") nor a public one; keygen replaces no key.
  std::string secret = readFile(testKey);
  writeFile(work / "encrypted.key", secret.replace(secret.find("\nRWQAAEIy"), 9, "\nRWRTY0Iy"));
  const std::string refusedTree = (work / "refused").string();
  const std::pair<std::vector<std::string>, std::string> refusals[] = {
      {{"--sign", (work / "encrypted.key").string(), plan, refusedTree},
       "the secret key is encrypted with a password; use one made without (quarnmp-publish keygen, or minisign -G -W)"},
      {{"--sign", testPub, plan, refusedTree}, "not a minisign secret key"},
      {{"keygen", (work / "other.pub").string(), (work / "new.key").string()}, "exists already; not replaced"}};
  for (const auto& [arguments, reason] : refusals)
    EXPECT_EQ(outcome(run(QUARNMP_PUBLISH_EXE, arguments)), "2|quarnmp-publish: " + arguments[1] + ": " + reason);
  EXPECT_FALSE(fs::exists(refusedTree) || fs::exists(work / "new.key"));

  // Signed at other times, met by a record of the newest release accepted: 40 days before installs with a warning, an
  // older one than the record is refused, 3 days ahead of this clock warns too and only update records it. The record
  // holds an unsigned 64-bit number; anything else fails the fetch. Rows: record before, signed at, command, outcome,
  // record after ("": as before).
  const std::string past = std::to_string(timestamp - 40 * 86400),
                    ahead = std::to_string(timestamp + 3 * 86400 + 3600), top = "1844674407370955161";
  const std::string frozen = "0|quarnmp-cli: warning: the release was signed 40 days ago; the server may be a frozen "
                             "mirror";
  const std::string fast = "|quarnmp-cli: warning: the release is dated 3 days ahead of this computer's clock; "
                           "the publisher's clock or this one is wrong";
  const std::string corrupt = refused + "updater_release.json cannot be read; remove it to accept any signed release";
  const std::tuple<std::string, std::string, const char*, std::string, std::string> releases[] = {
      {"", past, "update", frozen, record(past)}, {record(past), now, "update", "0", record(now)},
      {record(now), past, "update", older, ""}, {record(now), ahead, "check", "1" + fast, ""},
      {record(now), ahead, "update", "0" + fast, record(ahead)}, {record(top + "5"), now, "update", older, ""},
      {record("9223372036854775808"), now, "update", older, ""}, {record(top + "6"), now, "update", corrupt, ""},
      {record("\"1\""), now, "update", corrupt, ""}};
  for (const auto& [before, time, command, expected, after] : releases) {
    serve("pristine");
    for (const std::string& path : {std::string("json"), listA, listB}) signWithMinisign(path, std::stoll(time));
    const TempFolder fresh;
    if (!before.empty()) writeFile(fresh / "updater_release.json", before);
    const std::string ran = outcome(run(QUARNMP_CLI_SIGNED_EXE, {command, "--server", nginx.url("/")}, fresh.path()));
    EXPECT_EQ(ran + "|" + readFile(fresh / "updater_release.json"), expected + "|" + (after.empty() ? before : after))
        << command << " after " << before;
  }

  // The updater's digest counts only with its signature, in a release no older than the one accepted.
  const ReleaseCheck check{parsePublicKey(readFile(testPub)).value(), static_cast<std::uint64_t>(timestamp)};
  const std::string digest = readFile(served / "QuarnMpUpdater/index.html");
  const auto hash = [&](const std::optional<ReleaseCheck>& release) {
    const auto fetched = update::fetchUpdaterHash({nginx.url("/")}, release);
    return fetched.ok() ? fetched.value() : "failed: " + fetched.failure().reason;
  };
  EXPECT_EQ(hash(check), digest);
  signWithMinisign("QuarnMpUpdater/index.html", timestamp - 400 * 86400);
  EXPECT_EQ(hash(check), "failed: older release than the installed one");
  flipByte(served / "QuarnMpUpdater/index.html");
  EXPECT_EQ(hash(check), "failed: signature invalid (the document is not the one signed)");
  EXPECT_EQ(hash(std::nullopt), readFile(served / "QuarnMpUpdater/index.html")) << "no key";

  // The installed updater is replaced only by the program the key signed.
  const fs::path self = work / "self";
  const std::string path = "QuarnMpUpdater/QuarnMpUpdater";
  std::vector<std::string> through;  // the command that runs the program, if any
  // "<self-update's outcome>|<what the installed program prints>|<the folder's files>"
  const auto selfUpdate = [&](std::vector<std::string> arguments, const char* cli = QUARNMP_CLI_SIGNED_EXE,
                              const std::function<bool()>& killWhen = nullptr) {
    arguments.insert(arguments.begin(), {cli, "self-update", "--server", nginx.url("/")});
    arguments.insert(arguments.begin(), through.begin(), through.end());
    const std::string program = arguments.front();
    arguments.erase(arguments.begin());
    std::string seen = outcome(runProgram(program, arguments, {.workingDirectory = self.string()}, killWhen));
    seen += "|" + run((self / "QuarnMpUpdater").string(), {}).out;  // the program as the update left it
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(self)) files.insert(entry.path().filename().string());
    for (const std::string& file : files) seen += file + " ";
    return seen;
  };
  const auto install = [&] {
    std::error_code ignored;
    fs::permissions(self, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(self);
    writeFile(self / "QuarnMpUpdater", program("1.0.0"));
    writeFile(self / "updater_release.json", "{\"timestamp\":" + std::to_string(timestamp) + "}\n");
    fs::permissions(self / "QuarnMpUpdater", fs::perms::owner_all);
  };
  const std::string failed = "2|quarnmp-cli: self-update failed: ",
                    files = "QuarnMpUpdater updater.lock updater_release.json ", old = "|1.0.0\n" + files;
  // Root writes into any folder: there a read-only mount of it, in namespaces of the program's own, stands in.
  const bool root = ::geteuid() == 0, mountable = root && run("/usr/bin/unshare", {"-rm", "/bin/true"}).exitCode == 0;
  const std::pair<std::function<void()>, std::string> selfRows[] = {
      {[&] { flipByte(served / path); }, failed + path + ": signature invalid (the document is not the one signed)"},
      {[&] {
         writeFile(served / "QuarnMpUpdater/index.html", "0123456789abcdef0123456789abcdef");
         signWithMinisign("QuarnMpUpdater/index.html", timestamp);
       },
       failed + path + ": does not match the signed digest (got "},
      {[&] { for (auto end : {"", ".minisig"}) writeFile(served / path += end, readFile(work / "other" / path += end)); },
       failed + path + ": signature invalid (made with key "},
      {[&] { signWithMinisign(path, timestamp - 1); }, failed + path + ": older release than the installed one"},
      {[&] { fs::remove(served / (path + ".minisig")); }, failed + path + ": signature missing ("},
      // A full disk (a file size limit stands in) and a read-only folder: the system's reason.
      {[&] { through = {"/bin/sh", "-c", "ulimit -f 1024; trap '' XFSZ; exec \"$@\"", "sh"}; },
       failed + "QuarnMpUpdater.new: File too large"},
      {[&] {
         writeFile(self / "updater.lock", "");
         fs::permissions(self, fs::perms::owner_read | fs::perms::owner_exec);
         if (root) through = {"/usr/bin/unshare", "-rm", "/bin/sh", "-c", "mount --bind \"$PWD\" \"$PWD\" && "
                              "mount -o remount,bind,ro \"$PWD\" && cd \"$PWD\" && exec \"$@\"", "sh"};
       },
       root && !mountable ? ""
                          : failed + path + ": cannot write QuarnMpUpdater.quarnmp-download: " +
                                (root ? "Read-only file system" : "Permission denied")},
  };
  for (const auto& [tamper, expected] : selfRows) {
    serve("pristine");
    install();
    if (expected.empty()) {
      std::cout << "skipped the read-only folder: root writes into it, and no namespace may mount it read-only\n";
      continue;
    }
    tamper();
    const std::string ran = selfUpdate({});
    through.clear();
    EXPECT_TRUE(ran.starts_with(expected) && ran.ends_with(old)) << ran << "\nexpected: " << expected;
  }
  serve("pristine");
  install();
  EXPECT_EQ(selfUpdate({}, QUARNMP_CLI_EXE),
            failed + "this updater has no public key built in, so it never replaces itself; update it by hand" + old);
  EXPECT_EQ(selfUpdate({"--check"}), "1" + old);
  const std::string current = "0|2.0.0\n" + files;
  EXPECT_EQ(selfUpdate({}), current) << "replaced, run bit kept";
  EXPECT_EQ(selfUpdate({"--check"}), current);
  writeFile(self / "QuarnMpUpdater.quarnmp-partial", "left by a cut download");
  EXPECT_EQ(selfUpdate({}), current) << "current: what a cut download left is removed";

  // Killed at a random moment of its run, or a few milliseconds after it first changed the folder, it leaves the old
  // program or the new one whole, and the next run finishes.
  std::mt19937 random(static_cast<unsigned>(timestamp));
  const auto folderChanged = [&] {
    std::error_code error;
    const auto entries = std::distance(fs::directory_iterator(self, error), fs::directory_iterator());
    return entries != 3 || fs::file_size(self / "QuarnMpUpdater", error) != program("1.0.0").size();
  };
  for (int kill = 0; kill < 24; ++kill) {
    install();
    writeFile(self / "updater.lock", "");
    const auto start = std::chrono::steady_clock::now();
    const auto after = std::chrono::milliseconds(std::uniform_int_distribution<int>(0, kill % 2 ? 6 : 120)(random));
    std::optional<std::chrono::steady_clock::time_point> from;
    const auto killed = selfUpdate({}, QUARNMP_CLI_SIGNED_EXE, [&] {
      if (!from && (kill % 2 == 0 || folderChanged())) from = kill % 2 ? std::chrono::steady_clock::now() : start;
      return from && std::chrono::steady_clock::now() >= *from + after;
    });
    EXPECT_TRUE(killed.find("|1.0.0\n") != std::string::npos || killed.find("|2.0.0\n") != std::string::npos)
        << "killed " << after.count() << " ms after " << (kill % 2 ? "the folder changed" : "start") << ": " << killed;
    EXPECT_EQ(selfUpdate({}), current) << "after kill " << kill;
  }
  const ScriptedServer mirror([&](ScriptedConnection& connection) {  // has only the program, which the first lacks
    const std::string request = connection.readRequest();
    connection.send(requestTarget(request).starts_with("/" + path) ? fileAnswer(work / "pristine", request) : "");
  });
  fs::remove(served / path);
  install();
  EXPECT_EQ(selfUpdate({"--server", mirror.url()}), current);
}

// Only "" configures a build without a key or mirrors; anything else must be a whole minisign key line, or http://
// base addresses separated by commas (each ended with "/" in the generated source).
TEST(SignedRelease, ConfiguringRefusesAKeyLineThatIsNoKeyAndMirrorsThatAreNoAddresses) {
  const std::string key(textLines(readFile(testPub)).at(1)), noKey = "QUARNMP_PUBLIC_KEY is not the key line",
                    noMirrors = "QUARNMP_MIRRORS is not a list of http:// base addresses";
  const std::pair<std::string, std::string> rows[] = {
      {"QUARNMP_PUBLIC_KEY=" + key.substr(0, 52), noKey}, {"QUARNMP_PUBLIC_KEY=RWA" + key.substr(3), noKey},
      {"QUARNMP_PUBLIC_KEY=OFF", noKey}, {"QUARNMP_PUBLIC_KEY=" + key, ""}, {"QUARNMP_MIRRORS=http://a/,,http://b/", noMirrors},
      {"QUARNMP_MIRRORS=http://a/;https://b/", noMirrors}, {"QUARNMP_MIRRORS=http://a:8080/q,http://b", ""}};
  for (const auto& [definition, refusal] : rows) {
    const TempFolder build;
    const std::string said = run(CMAKE_EXE, {"-S", QUARNMP_SOURCE_DIR, "-B", build.path().string(),
                                             "-DQUARNMP_TESTS=OFF", "-D" + definition}).err;
    EXPECT_EQ(said.find(noKey) != std::string::npos ? noKey : said.find(noMirrors) != std::string::npos ? noMirrors : "",
              refusal) << definition << "\n" << said;
    const std::string mirrors = readFile(build / "update/built_in_mirrors.cpp");  // only the last row's names any
    EXPECT_EQ(mirrors.find(R"("http://a:8080/q/", "http://b/", nullptr)") != std::string::npos, definition == rows[6].first)
        << mirrors;
  }
}
