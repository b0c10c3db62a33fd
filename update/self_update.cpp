#include "update/self_update.h"

#include <exception>
#include <utility>

#include "platform/files.h"
#include "platform/program_file.h"
#include "update/download.h"
#include "update/file_digest.h"
#include "update/inflate.h"
#include "update/updater_hash.h"

namespace {

// An updater is a few megabytes; these bound what a hostile server can make us hold.
constexpr std::size_t servedProgramLimit = 64u << 20;
constexpr std::uint64_t programSizeLimit = 256u << 20;

SelfUpdateOutcome failed(std::string reason) { return {SelfUpdateState::Failed, std::move(reason)}; }

// The program as served, once its signature holds for a release no older than the accepted one.
Downloaded<std::string> fetchSignedProgram(const ReleaseCheck& check, const std::string& baseUrl) {
  const std::string path = updaterProgramServerPath();
  Downloaded<std::string> served = downloadAsServed(serverUrl(baseUrl, path), servedProgramLimit);
  if (!served.ok()) return {"", path + ": " + served.failure};
  const VerifiedDocument verified = verifyServedDocument(check.key, baseUrl, path, served.content);
  if (!verified.failure.empty()) return {"", path + ": " + verified.failure};
  if (std::cmp_less(verified.timestamp, check.acceptedRelease))
    return {"", path + ": older release than the installed one"};
  return served;
}

// The inflated program, if it is one whole stream whose MD5 is the signed digest.
Downloaded<std::string> inflateProgram(const std::string& served, const std::string& digest) {
  const std::string path = updaterProgramServerPath();
  std::string program;
  Inflater inflater(programSizeLimit);
  inflater.feed(served, [&](std::string_view piece) { program.append(piece); });
  if (!inflater.ended()) return {"", path + ": the compressed program is cut off"};
  const std::string got = hexDigest(platform::md5Of(program));
  if (!sameDigest(got, digest)) return {"", path + ": does not match the signed digest (got " + got + ")"};
  return {std::move(program), ""};
}

SelfUpdateOutcome replaceWithPublished(const ReleaseCheck& check, const std::string& baseUrl,
                                       const std::string& program, bool checkOnly) {
  const Downloaded<std::string> digest = fetchUpdaterHash(baseUrl, check);
  if (!digest.ok()) return failed("QuarnMpUpdater/index.html: " + digest.failure);
  if (!isDigestText(digest.content)) return failed("QuarnMpUpdater/index.html: not an MD5 digest");
  if (!platform::isRegularFile(program)) return failed(program + ": no such program in this folder");
  if (sameDigest(md5OfFile(program), digest.content)) return {SelfUpdateState::Current, ""};
  if (checkOnly) return {SelfUpdateState::Outdated, ""};
  const Downloaded<std::string> served = fetchSignedProgram(check, baseUrl);
  if (!served.ok()) return failed(served.failure);
  const Downloaded<std::string> inflated = inflateProgram(served.content, digest.content);
  if (!inflated.ok()) return failed(inflated.failure);
  const std::string refused = platform::replaceProgram(program, inflated.content);
  if (!refused.empty()) return failed(refused);
  return {SelfUpdateState::Replaced, ""};
}

}  // namespace

std::string updaterProgramPath(const std::string& folder) {
  return folder + platform::programFileName("QuarnMpUpdater");
}

std::string updaterProgramServerPath() { return "QuarnMpUpdater/" + platform::programFileName("QuarnMpUpdater"); }

SelfUpdateOutcome selfUpdate(const TrustedKey& trusted, const std::string& baseUrl, const std::string& folder,
                             bool checkOnly) {
  try {
    const std::optional<ReleaseCheck> check = releaseCheckFor(trusted, folder);
    if (!check)
      return failed("this updater has no public key built in, so it never replaces itself; update it by hand");
    const std::string program = updaterProgramPath(folder);
    if (!checkOnly) platform::tidyProgramCopies(program);
    return replaceWithPublished(*check, baseUrl, program, checkOnly);
  } catch (const std::exception& failure) {
    return failed(failure.what());
  }
}
