#include "update/self_update.h"

#include <exception>
#include <optional>
#include <stdexcept>
#include <utility>

#include "formats/file_digest.h"
#include "formats/inflate.h"
#include "platform/files.h"
#include "platform/program_file.h"
#include "update/download.h"
#include "update/install_files.h"
#include "update/transfers.h"
#include "update/updater_hash.h"

namespace update {

using namespace formats;

namespace {

// An updater is a few megabytes; these bound what a hostile server can make us hold.
constexpr std::size_t servedProgramLimit = 64u << 20;
constexpr std::uint64_t programSizeLimit = 256u << 20;

SelfUpdateOutcome failed(std::string reason) { return {SelfUpdateState::Failed, std::move(reason)}; }

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

// The program as one server served it, if its signature there holds for a release no older than
// the accepted one and it inflates to the signed digest.
Result<std::string> verifiedProgram(const ReleaseCheck& check, const std::string& baseUrl, const std::string& served,
                                    const std::string& digest) {
  const std::string path = updaterProgramServerPath();
  const Result<std::int64_t> released = verifyServedDocument(check.key, baseUrl, path, served);
  if (!released.ok()) return Failure{path + ": " + released.failure().reason};
  if (std::cmp_less(released.value(), check.acceptedRelease))
    return Failure{path + ": older release than the installed one"};
  return inflateProgram(served, digest);
}

// The published program, through the engine's transfer (kept connection, retries, resume, the
// next server when one fails it) into a file beside the installed one, read back only to be checked.
Result<std::string> fetchSignedProgram(const ReleaseCheck& check, const ServerList& servers, const std::string& program,
                                       const std::string& digest) {
  const std::string temporary = temporaryInstallPath(program);
  std::optional<platform::NewFile> file;
  std::size_t size = 0;
  const auto restart = [&] {
    file.reset();
    platform::removeFile(temporary);  // left by a run that was killed; this run holds the installation's lock
    file.emplace(temporary);
    if (!file->isOpen()) throw std::runtime_error("cannot write " + temporary + ": " + *file->opened().failure);
    size = 0;
  };
  const auto consume = [&](std::string_view bytes) {
    if ((size += bytes.size()) > servedProgramLimit) throw std::length_error(bodyTooLargeFailure(servedProgramLimit));
    if (const platform::FileResult written = file->write(bytes); !written)
      throw std::runtime_error("cannot write " + temporary + ": " + *written.failure);
  };
  Result<std::string> taken = Failure{"not fetched"};
  const auto verify = [&](const std::string& baseUrl) -> std::optional<Failure> {
    const platform::FileResult closed = file->close();
    if (!closed) return Failure{"cannot write " + temporary + ": " + *closed.failure};
    const platform::FileContent served = platform::readWholeFile(temporary);
    if (!served) return Failure{"cannot read " + temporary + ": " + served.failure};
    try {
      taken = verifiedProgram(check, baseUrl, *served, digest);
    } catch (const std::exception& failure) {
      taken = Failure{updaterProgramServerPath() + ": " + failure.what()};
    }
    return taken.ok() ? std::nullopt : std::optional(taken.failure());
  };
  ServerChoice choice(servers);
  ServerConnections connections;
  const std::string path = updaterProgramServerPath();
  const std::optional<Failure> failed =
      fetchFile(connections, choice, {path, program, false}, TransferOptions{}, restart, consume, verify);
  if (failed) return failed->reason.starts_with(path) ? *failed : Failure{path + ": " + failed->reason};
  return taken;
}

// The steps' share of the progress: most of the time goes into the program's download.
SelfUpdateOutcome replaceWithPublished(const ReleaseCheck& check, const ServerList& servers,
                                       const std::string& program, bool checkOnly, const ProgressSink& progress) {
  const Result<std::string> digest = fetchUpdaterHash(servers, check);
  if (!digest.ok()) return failed("QuarnMpUpdater/index.html: " + digest.failure().reason);
  if (!isDigestText(digest.value())) return failed("QuarnMpUpdater/index.html: not an MD5 digest");
  if (!platform::isRegularFile(program)) return failed(program + ": no such program in this folder");
  if (sameDigest(md5OfFile(program), digest.value())) {
    if (!checkOnly) removeDownloadLeftovers(program);
    return {SelfUpdateState::Current, ""};
  }
  if (checkOnly) return {SelfUpdateState::Outdated, ""};
  progress(0.1);
  const Result<std::string> inflated = fetchSignedProgram(check, servers, program, digest.value());
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

SelfUpdateOutcome selfUpdate(const TrustedKey& trusted, const ServerList& servers, const std::string& folder,
                             bool checkOnly) {
  return selfUpdateProgram(trusted, servers, folder, updaterProgramPath(folder), checkOnly, [](double) {});
}

SelfUpdateOutcome selfUpdateProgram(const TrustedKey& trusted, const ServerList& servers, const std::string& folder,
                                    const std::string& program, bool checkOnly, const ProgressSink& progress) {
  try {
    const std::optional<ReleaseCheck> check = releaseCheckFor(trusted, folder);
    if (!check)
      return failed("this updater has no public key built in, so it never replaces itself; update it by hand");
    if (!checkOnly) platform::tidyProgramCopies(program);
    return replaceWithPublished(*check, servers, program, checkOnly, progress);
  } catch (const std::exception& failure) {
    return failed(failure.what());
  }
}

bool buildReplacesItself() { return builtInKeyLine[0] != '\0'; }

}  // namespace update
