#include "update/self_update.h"

#include <exception>
#include <utility>

#include "formats/file_digest.h"
#include "formats/inflate.h"
#include "platform/files.h"
#include "platform/program_file.h"
#include "update/download.h"
#include "update/updater_hash.h"

using namespace formats;
using update::Failure;
using update::Result;

namespace {

// An updater is a few megabytes; these bound what a hostile server can make us hold.
constexpr std::size_t servedProgramLimit = 64u << 20;
constexpr std::uint64_t programSizeLimit = 256u << 20;

SelfUpdateOutcome failed(std::string reason) { return {SelfUpdateState::Failed, std::move(reason)}; }

// The program as served, once its signature holds for a release no older than the accepted one.
Result<std::string> fetchSignedProgram(const ReleaseCheck& check, const std::string& baseUrl) {
  const std::string path = updaterProgramServerPath();
  Result<std::string> served = downloadAsServed(serverUrl(baseUrl, path), servedProgramLimit);
  if (!served.ok()) return Failure{path + ": " + served.failure().reason};
  const Result<std::int64_t> released = verifyServedDocument(check.key, baseUrl, path, served.value());
  if (!released.ok()) return Failure{path + ": " + released.failure().reason};
  if (std::cmp_less(released.value(), check.acceptedRelease))
    return Failure{path + ": older release than the installed one"};
  return served;
}

// The inflated program, if it is one whole stream whose MD5 is the signed digest.
Result<std::string> inflateProgram(const std::string& served, const std::string& digest) {
  const std::string path = updaterProgramServerPath();
  std::string program;
  Inflater inflater(programSizeLimit);
  inflater.feed(served, [&](std::string_view piece) { program.append(piece); });
  if (!inflater.ended()) return Failure{path + ": the compressed program is cut off"};
  const std::string got = hexDigest(platform::md5Of(program));
  if (!sameDigest(got, digest)) return Failure{path + ": does not match the signed digest (got " + got + ")"};
  return program;
}

// The steps' share of the progress: most of the time goes into the program's download.
SelfUpdateOutcome replaceWithPublished(const ReleaseCheck& check, const std::string& baseUrl,
                                       const std::string& program, bool checkOnly, const ProgressSink& progress) {
  const Result<std::string> digest = fetchUpdaterHash(baseUrl, check);
  if (!digest.ok()) return failed("QuarnMpUpdater/index.html: " + digest.failure().reason);
  if (!isDigestText(digest.value())) return failed("QuarnMpUpdater/index.html: not an MD5 digest");
  if (!platform::isRegularFile(program)) return failed(program + ": no such program in this folder");
  if (sameDigest(md5OfFile(program), digest.value())) return {SelfUpdateState::Current, ""};
  if (checkOnly) return {SelfUpdateState::Outdated, ""};
  progress(0.1);
  const Result<std::string> served = fetchSignedProgram(check, baseUrl);
  if (!served.ok()) return failed(served.failure().reason);
  progress(0.8);
  const Result<std::string> inflated = inflateProgram(served.value(), digest.value());
  if (!inflated.ok()) return failed(inflated.failure().reason);
  progress(0.9);
  const std::string refused = platform::replaceProgram(program, inflated.value());
  if (!refused.empty()) return failed(refused);
  progress(1);
  return {SelfUpdateState::Replaced, ""};
}

}  // namespace

std::string updaterProgramPath(const std::string& folder) {
  return folder + platform::programFileName("QuarnMpUpdater");
}

std::string updaterProgramServerPath() { return "QuarnMpUpdater/" + platform::programFileName("QuarnMpUpdater"); }

SelfUpdateOutcome selfUpdate(const TrustedKey& trusted, const std::string& baseUrl, const std::string& folder,
                             bool checkOnly) {
  return selfUpdateProgram(trusted, baseUrl, folder, updaterProgramPath(folder), checkOnly, [](double) {});
}

SelfUpdateOutcome selfUpdateProgram(const TrustedKey& trusted, const std::string& baseUrl, const std::string& folder,
                                    const std::string& program, bool checkOnly, const ProgressSink& progress) {
  try {
    const std::optional<ReleaseCheck> check = releaseCheckFor(trusted, folder);
    if (!check)
      return failed("this updater has no public key built in, so it never replaces itself; update it by hand");
    if (!checkOnly) platform::tidyProgramCopies(program);
    return replaceWithPublished(*check, baseUrl, program, checkOnly, progress);
  } catch (const std::exception& failure) {
    return failed(failure.what());
  }
}

bool buildReplacesItself() { return builtInKeyLine[0] != '\0'; }
