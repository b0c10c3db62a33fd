// quarnmp-cli check / update: the window's Fetch, Diff and Update without a window, for
// dedicated-server hosts and scripts. Run in the installation root.
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/cli_commands.h"
#include "update/installation_lock.h"
#include "formats/release_timestamp.h"
#include "update/tasks.h"

using formats::releaseAge;
using update::Failure;

namespace {

constexpr int exitCurrent = 0;
constexpr int exitDiffering = 1;
constexpr int exitFailed = 2;

// The server's base address: the built-in one, or "--server URL". Nothing for other arguments.
std::optional<std::string> readServer(const std::vector<std::string>& args) {
  if (args.empty()) return serverBaseUrl();
  if (args.size() != 2 || args[0] != "--server" || args[1].empty()) return std::nullopt;
  return args[1].back() == '/' ? args[1] : args[1] + '/';
}

int fail(const std::string& reason) {
  std::fprintf(stderr, "quarnmp-cli: %s\n", reason.c_str());
  return exitFailed;
}

// Waits for the started task, printing a line on standard error at each whole percent, then
// one line per file it could not replace. The failure, if the task failed.
std::optional<Failure> finishTask(const char* label) {
  int shown = -1;
  const auto report = [&] {
    const int percent = static_cast<int>(currentProgress() * 100);
    if (percent == shown) return;
    shown = percent;
    std::fprintf(stderr, "%s: %d%%\n", label, percent);
  };
  while (!pollTask()) {
    report();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const UpdaterState& state = updaterState();
  for (const FileFailure& failure : state.fileFailures)
    std::fprintf(stderr, "%s: %s\n", failure.localPath.c_str(), failure.reason.c_str());
  if (state.errorCode != UpdateError::None) return Failure{std::string(label) + " failed: " + state.failureReason};
  report();
  return std::nullopt;
}

// A signed release that has not changed for long may come from a mirror that stopped
// following the real server and keeps serving a release with known faults. One dated ahead
// of this clock was signed by a clock that runs fast (or this one is slow): once accepted, it
// makes every correctly dated release look older.
void warnOfReleaseTime() {
  const std::int64_t released = updaterState().releaseTimestamp;
  if (released == 0) return;
  const std::int64_t age = releaseAge(released), day = 86400;
  if (age / day > QUARNMP_FROZEN_RELEASE_DAYS)
    std::fprintf(stderr, "quarnmp-cli: warning: the release was signed %lld days ago; the server may be a frozen mirror\n",
                 static_cast<long long>(age / day));
  else if (age < -day)
    std::fprintf(stderr, "quarnmp-cli: warning: the release is dated %lld days ahead of this computer's clock; "
                 "the publisher's clock or this one is wrong\n", static_cast<long long>(-age / day));
}

// check only looks: it keeps the installation's record of the newest release as it is.
std::optional<Failure> fetchAndCompare(const std::string& server, bool recordRelease) {
  startCatalogueFetch(server, recordRelease);
  if (auto failure = finishTask("fetch")) return failure;
  warnOfReleaseTime();
  if (!hasCatalogue()) return Failure{"the catalogue names no file set"};
  startDiff();
  return finishTask("compare");
}

int reportDifferences() {
  const std::vector<std::string> paths = differingPaths();
  for (const std::string& path : paths) std::printf("%s\n", path.c_str());
  return paths.empty() ? exitCurrent : exitDiffering;
}

int usage(const char* command) { return fail(std::string("usage: quarnmp-cli ") + command + " [--server URL]"); }

}  // namespace

// `check` takes no lock: it changes no file of the modification, and a digest it caches is
// bound to the file's time, so it may run beside an update and report what it finds.
int runCheckCommand(const std::vector<std::string>& args) {
  const auto server = readServer(args);
  if (!server) return usage("check");
  if (auto failure = fetchAndCompare(*server, false)) return fail(failure->reason);
  return reportDifferences();
}

int runUpdateCommand(const std::vector<std::string>& args) {
  const auto server = readServer(args);
  if (!server) return usage("update");
  const InstallationLock lock("");  // for the whole run, as the window's update task holds it
  if (!lock.held()) return fail(installationBusyReason);
  if (auto failure = fetchAndCompare(*server, true)) return fail(failure->reason);
  if (hasDifferences()) {
    startUpdateDiff(*server);
    if (auto failure = finishTask("update")) return fail(failure->reason);
  }
  return reportDifferences();
}
