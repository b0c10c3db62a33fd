// quarnmp-cli: headless front end on the same engine as the window.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/arguments.h"
#include "tools/cli_commands.h"
#include "update/program_version.h"

namespace {

struct Command {
  std::string_view name;
  int (*run)(const std::vector<std::string>& args);
  std::string_view usage;
};

constexpr Command commands[] = {
    {"get", runGetCommand, "get URL [--timeout MS] [--method M] [--header \"Name: value\"]... [--body-file F] [--out FILE]"},
    {"check", runCheckCommand, "check [--server URL]..."},
    {"update", runUpdateCommand, "update [--server URL]... [--jobs N]"},
    {"self-update", runSelfUpdateCommand, "self-update [--server URL]... [--check]"},
    {"profiles", runProfilesCommand, "profiles [FOLDER]"},
};

int printUsage() {
  std::fprintf(stderr, "usage:\n  quarnmp-cli --version\n");
  for (const Command& command : commands) {
    std::fprintf(stderr, "  quarnmp-cli %.*s\n", static_cast<int>(command.usage.size()), command.usage.data());
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = platform::programArguments(argc, argv);
  if (arguments.empty()) return printUsage();
  if (arguments.size() == 1 && arguments[0] == "--version") {
    std::printf("%s\n", update::programVersion);
    return 0;
  }
  const std::string_view name = arguments[0];
  const std::vector<std::string> args(arguments.begin() + 1, arguments.end());
  for (const Command& command : commands) {
    if (command.name == name) return command.run(args);
  }
  return printUsage();
}
