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
#include "update/release_timestamp.h"
#include "update/tasks.h"

namespace {

constexpr int exitCurrent = 0;
constexpr int exitDiffering = 1;
constexpr int exitFailed = 2;

struct Options {
  std::string server = serverBaseUrl();
  unsigned jobs = defaultTransferJobs;
};

// "--jobs N": a whole number from 1 to maxTransferJobs, written plainly.
std::optional<unsigned> readJobs(const std::string& text) {
  if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  const unsigned jobs = static_cast<unsigned>(std::stoul(text));
  if (jobs < 1 || jobs > maxTransferJobs) return std::nullopt;
  return jobs;
}

// "--server URL" (the built-in address otherwise) and, where `jobsAllowed`, "--jobs N", each at
// most once. Nothing for other arguments.
std::optional<Options> readOptions(const std::vector<std::string>& args, bool jobsAllowed) {
  Options options;
  bool serverGiven = false, jobsGiven = false;
  for (std::size_t i = 0; i < args.size(); i += 2) {
    if (i + 1 == args.size()) return std::nullopt;
    const std::string& value = args[i + 1];
    if (args[i] == "--server" && !serverGiven && !value.empty()) {
      options.server = value.back() == '/' ? value : value + '/';
      serverGiven = true;
    } else if (args[i] == "--jobs" && jobsAllowed && !jobsGiven && readJobs(value)) {
      options.jobs = *readJobs(value);
      jobsGiven = true;
    } else {
      return std::nullopt;
    }
  }
  return options;
}

int fail(const std::string& reason) {
  std::fprintf(stderr, "quarnmp-cli: %s\n", reason.c_str());
  return exitFailed;
}

// Waits for the started task, printing a line on standard error at each whole percent, then
// one line per file it could not replace. The reason when the task failed.
std::optional<std::string> finishTask(const char* label) {
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
  if (state.errorCode != UpdateError::None) return std::string(label) + " failed: " + state.failureReason;
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
std::optional<std::string> fetchAndCompare(const std::string& server, bool recordRelease) {
  startCatalogueFetch(server, recordRelease);
  if (auto failure = finishTask("fetch")) return failure;
  warnOfReleaseTime();
  if (!hasCatalogue()) return "the catalogue names no file set";
  startDiff();
  return finishTask("compare");
}

int reportDifferences() {
  const std::vector<std::string> paths = differingPaths();
  for (const std::string& path : paths) std::printf("%s\n", path.c_str());
  return paths.empty() ? exitCurrent : exitDiffering;
}

int usage(const char* command, const char* more = "") {
  return fail(std::string("usage: quarnmp-cli ") + command + " [--server URL]" + more);
}

}  // namespace

// `check` takes no lock: it changes no file of the modification, and a digest it caches is
// bound to the file's time, so it may run beside an update and report what it finds.
int runCheckCommand(const std::vector<std::string>& args) {
  const auto options = readOptions(args, false);
  if (!options) return usage("check");
  if (auto failure = fetchAndCompare(options->server, false)) return fail(*failure);
  return reportDifferences();
}

int runUpdateCommand(const std::vector<std::string>& args) {
  const auto options = readOptions(args, true);
  if (!options) return usage("update", " [--jobs 1-32]");
  const InstallationLock lock("");  // for the whole run, as the window's update task holds it
  if (!lock.held()) return fail(installationBusyReason);
  if (auto failure = fetchAndCompare(options->server, true)) return fail(*failure);
  if (hasDifferences()) {
    startUpdateDiff(options->server, options->jobs);
    if (auto failure = finishTask("update")) return fail(*failure);
  }
  return reportDifferences();
}
