// quarnmp-cli profiles: the player profiles the window would offer, for checking what a
// profile folder holds on a player's machine.
#include <cstdio>

#include "game/profiles.h"
#include "tools/cli_commands.h"

int runProfilesCommand(const std::vector<std::string>& args) {
  if (args.size() > 1) {
    std::fprintf(stderr, "usage: quarnmp-cli profiles [FOLDER]\n");
    return 1;
  }
  const auto folder = args.empty() ? game::profileFolder() : args.front();
  if (!folder) {
    std::fprintf(stderr, "quarnmp-cli: the Documents folder is unknown\n");
    return 2;
  }
  game::discoverProfiles(*folder);
  for (const std::string& name : game::profileList.profileNames) std::printf("%s\n", name.c_str());
  return 0;
}
