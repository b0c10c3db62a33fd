// quarnmp-cli check / update: the window's Fetch, Diff and Update without a window, for
// dedicated-server hosts and scripts. Run in the installation root.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tools/cli_commands.h"
#include "update/server_address.h"
#include "update/tasks.h"

namespace {

constexpr int exitCurrent = 0;
constexpr int exitDiffering = 1;
constexpr int exitFailed = 2;

// Only "--server URL" is understood; false for anything else.
bool readOptions(const std::vector<std::string>& args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--server" || i + 1 == args.size()) return false;
    std::string url = args[++i];
    if (url.empty() || url.back() != '/') url += '/';
    setServerBaseUrl(url);
  }
  return true;
}

// Waits for the started task, printing a line on standard error at each whole percent.
bool finishTask(const char* label) {
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
  if (updaterState().errorCode == UpdateError::None) {
    report();
    return true;
  }
  const std::string& why = updaterState().taskFailureText;
  std::fprintf(stderr, "quarnmp-cli: %s failed%s%s\n", label, why.empty() ? "" : ": ", why.c_str());
  return false;
}

bool fetchAndCompare() {
  startCatalogueFetch();
  if (!finishTask("fetch")) return false;
  if (!hasCatalogue()) {
    std::fprintf(stderr, "quarnmp-cli: the catalogue names no file set\n");
    return false;
  }
  startDiff();
  return finishTask("compare");
}

int reportDifferences() {
  const std::vector<std::string> paths = differingPaths();
  for (const std::string& path : paths) std::printf("%s\n", path.c_str());
  return paths.empty() ? exitCurrent : exitDiffering;
}

int usage(const char* command) {
  std::fprintf(stderr, "usage: quarnmp-cli %s [--server URL]\n", command);
  return exitFailed;
}

}  // namespace

int runCheckCommand(const std::vector<std::string>& args) {
  if (!readOptions(args)) return usage("check");
  if (!fetchAndCompare()) return exitFailed;
  return reportDifferences();
}

int runUpdateCommand(const std::vector<std::string>& args) {
  if (!readOptions(args)) return usage("update");
  if (!fetchAndCompare()) return exitFailed;
  if (hasDifferences()) {
    startUpdateDiff();
    if (!finishTask("update")) return exitFailed;
  }
  return reportDifferences();
}
