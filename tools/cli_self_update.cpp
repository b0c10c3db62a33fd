// quarnmp-cli self-update: the installation's updater program replaced by the one the server
// publishes, signed by the built-in key. Run in the installation root.
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/cli_commands.h"
#include "update/installation_lock.h"
#include "update/release_verification.h"
#include "update/self_update.h"
#include "update/server_address.h"

namespace {

struct SelfUpdateArguments {
  update::ServerList servers;
  bool checkOnly = false;
};

std::optional<SelfUpdateArguments> readArguments(const std::vector<std::string>& args) {
  SelfUpdateArguments read;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--check") read.checkOnly = true;
    else if (args[i] == "--server" && i + 1 < args.size() && !args[i + 1].empty()) read.servers.push_back(args[++i]);
    else return std::nullopt;
  }
  read.servers = update::namedOrBuiltInServers(std::move(read.servers));
  return read;
}

int fail(const std::string& reason) {
  std::fprintf(stderr, "quarnmp-cli: %s\n", reason.c_str());
  return 2;
}

}  // namespace

int runSelfUpdateCommand(const std::vector<std::string>& args) {
  const auto arguments = readArguments(args);
  if (!arguments) return fail("usage: quarnmp-cli self-update [--server URL]... [--check]");
  const update::InstallationLock lock("");  // one replacement at a time
  if (!lock.held()) return fail(lock.refusal());
  const update::SelfUpdateOutcome outcome = update::selfUpdate(update::builtInKey(), arguments->servers, "", arguments->checkOnly);
  const std::string program = update::updaterProgramPath("");
  switch (outcome.state) {
    case update::SelfUpdateState::Current: std::printf("%s is current\n", program.c_str()); return 0;
    case update::SelfUpdateState::Outdated: std::printf("%s is outdated\n", program.c_str()); return 1;
    case update::SelfUpdateState::Replaced: std::printf("%s replaced\n", program.c_str()); return 0;
    case update::SelfUpdateState::Failed: break;
  }
  return fail("self-update failed: " + outcome.reason);
}
