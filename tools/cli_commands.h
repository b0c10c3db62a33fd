#pragma once
// The commands of quarnmp-cli. Each takes the arguments after its name and returns the
// process exit code.
#include <string>
#include <vector>

// get URL [--timeout MS] [--method M] [--header "Name: value"]... [--body-file F] [--out FILE]
// One HTTP exchange; prints the status line, the received fields and the body size.
// Exit 0 on any response, 2 when the exchange fails, 1 for wrong arguments.
int runGetCommand(const std::vector<std::string>& args);

