#pragma once
// The commands of quarnmp-cli. Each takes the arguments after its name and returns the
// process exit code.
#include <string>
#include <vector>

// get URL [--timeout MS] [--method M] [--header "Name: value"]... [--body-file F] [--out FILE]
// One HTTP exchange; prints the status line, the received fields and the body size.
// Exit 0 on any response, 2 when the exchange fails, 1 for wrong arguments.
int runGetCommand(const std::vector<std::string>& args);

// check [--server URL]...: fetch the catalogue from the first server that answers (the given ones
// in order, else the built-in list), compare the first set, print the differing
// local paths. Exit 0 when current, 1 when files differ, 2 on error.
int runCheckCommand(const std::vector<std::string>& args);
// update [--server URL]... [--jobs N]: as check, then install the differing files, N (1-32,
// default 8) at a time, each from the next server when one fails it, and compare again.
// Exit 0 when current afterwards, 1 when files still differ, 2 on error.
int runUpdateCommand(const std::vector<std::string>& args);

// self-update [--server URL]... [--check]: replace the installation's updater program with the
// published one, only in a build with a key and only with a program it signed. Exit 0 when
// replaced or current, 1 when --check finds it outdated, 2 on failure (always without a key).
int runSelfUpdateCommand(const std::vector<std::string>& args);

// profiles [FOLDER]: the profile names the window offers, one a line, "(default)" first;
// without FOLDER those of the Documents folder's "\Haldrun\Profiles". Exit 2 when the
// Documents folder is unknown, 1 for wrong arguments.
int runProfilesCommand(const std::vector<std::string>& args);
