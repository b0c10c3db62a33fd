// quarnmp-cli check / update: the window's Fetch, Diff and Update without a window, for
// dedicated-server hosts and scripts. Run in the installation root.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/terminal.h"
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

struct Options {
  update::ServerList servers;
  unsigned jobs = update::defaultTransferJobs;
};

// "--jobs N": a whole number from 1 to maxTransferJobs, written plainly.
std::optional<unsigned> readJobs(const std::string& text) {
  if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  const unsigned jobs = static_cast<unsigned>(std::stoul(text));
  if (jobs < 1 || jobs > update::maxTransferJobs) return std::nullopt;
  return jobs;
}

// "--server URL", once or more, each asked in turn (the built-in list otherwise), and where
// `jobsAllowed` "--jobs N", at most once. Nothing for other arguments.
std::optional<Options> readOptions(const std::vector<std::string>& args, bool jobsAllowed) {
  Options options;
  bool jobsGiven = false;
  for (std::size_t i = 0; i < args.size(); i += 2) {
    if (i + 1 == args.size()) return std::nullopt;
    const std::string& value = args[i + 1];
    if (args[i] == "--server" && !value.empty()) {
      options.servers.push_back(value);
    } else if (args[i] == "--jobs" && jobsAllowed && !jobsGiven && readJobs(value)) {
      options.jobs = *readJobs(value);
      jobsGiven = true;
    } else {
      return std::nullopt;
    }
  }
  options.servers = update::namedOrBuiltInServers(std::move(options.servers));
  return options;
}

int fail(const std::string& reason) {
  std::fprintf(stderr, "quarnmp-cli: %s\n", reason.c_str());
  return exitFailed;
}

// The installation's line on a terminal, rewritten in place: files done of `files`, bytes
// received, the rate so far and the time left at that pace.
std::string progressLine(std::size_t files, std::chrono::steady_clock::time_point start) {
  const update::UpdaterState& state = update::updaterState();
  const double part = state.updateProgress, seconds = std::chrono::duration<double>(
                                                          std::chrono::steady_clock::now() - start).count();
  const double mebibytes = static_cast<double>(state.updateBytes) / (1 << 20);
  char line[160];
  std::snprintf(line, sizeof line, "update: %zu of %zu files, %.1f MiB, %.1f MiB/s, ",
                static_cast<std::size_t>(part * static_cast<double>(files) + 0.5), files, mebibytes,
                seconds > 0 ? mebibytes / seconds : 0.0);
  if (part <= 0) return line + std::string("time left unknown");
  return line + std::to_string(std::lround(seconds * (1 - part) / part)) + " s left";
}

// Waits for the started task, printing a line on standard error at each whole percent (for an
// installation of `files` on a terminal: one line rewritten in place), then one line per file it
// could not replace. The failure, if the task failed.
std::optional<Failure> finishTask(const char* label, std::size_t files = 0) {
  int shown = -1;
  const auto report = [&] {
    const int percent = static_cast<int>(update::currentProgress() * 100);
    if (percent == shown) return;
    shown = percent;
    std::fprintf(stderr, "%s: %d%%\n", label, percent);
  };
  const bool inPlace = files > 0 && platform::isTerminal(stderr);
  const auto start = std::chrono::steady_clock::now();
  std::size_t width = 0;
  const auto rewrite = [&] {
    const std::string line = progressLine(files, start);
    std::fprintf(stderr, "\r%s%*s", line.c_str(), static_cast<int>(width > line.size() ? width - line.size() : 0), "");
    width = line.size();
  };
  for (int round = 0; !update::pollTask(); ++round) {
    if (!inPlace) report();
    else if (round % 40 == 0) rewrite();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (inPlace) rewrite();
  if (inPlace) std::fputc('\n', stderr);
  const update::UpdaterState& state = update::updaterState();
  for (const update::FileFailure& failure : state.fileFailures)
    std::fprintf(stderr, "%s: %s\n", failure.localPath.c_str(), failure.reason.c_str());
  if (state.errorCode != update::UpdateError::None)
    return Failure{std::string(label) + " failed: " + state.failureReason};
  report();
  return std::nullopt;
}

// A signed release that has not changed for long may come from a mirror that stopped
// following the real server and keeps serving a release with known faults. One dated ahead
// of this clock was signed by a clock that runs fast (or this one is slow): once accepted, it
// makes every correctly dated release look older.
void warnOfReleaseTime() {
  const std::int64_t released = update::updaterState().releaseTimestamp;
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
std::optional<Failure> fetchAndCompare(const update::ServerList& servers, bool recordRelease) {
  update::startCatalogueFetch(servers, recordRelease);
  if (auto failure = finishTask("fetch")) return failure;
  warnOfReleaseTime();
  if (!update::hasCatalogue()) return Failure{"the catalogue names no file set"};
  update::startDiff();
  return finishTask("compare");
}

int reportDifferences() {
  const std::vector<std::string> paths = update::differingPaths();
  for (const std::string& path : paths) std::printf("%s\n", path.c_str());
  return paths.empty() ? exitCurrent : exitDiffering;
}

int usage(const char* command, const char* more = "") {
  return fail(std::string("usage: quarnmp-cli ") + command + " [--server URL]..." + more);
}

}  // namespace

// `check` takes no lock: it changes no file of the modification, and a digest it caches is
// bound to the file's time, so it may run beside an update and report what it finds.
int runCheckCommand(const std::vector<std::string>& args) {
  const auto options = readOptions(args, false);
  if (!options) return usage("check");
  if (auto failure = fetchAndCompare(options->servers, false)) return fail(failure->reason);
  return reportDifferences();
}

int runUpdateCommand(const std::vector<std::string>& args) {
  const auto options = readOptions(args, true);
  if (!options) return usage("update", " [--jobs 1-32]");
  const update::InstallationLock lock("");  // for the whole run, as the window's update task holds it
  if (!lock.held()) return fail(lock.refusal());
  if (auto failure = fetchAndCompare(options->servers, true)) return fail(failure->reason);
  if (update::hasDifferences()) {
    const std::size_t files = update::differingPaths().size();
    update::startUpdateDiff(options->servers, options->jobs);
    if (auto failure = finishTask("update", files)) return fail(failure->reason);
  }
  return reportDifferences();
}
