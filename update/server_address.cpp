#include "update/server_address.h"

namespace update {

// Never destroyed: detached request threads may still read it while the process ends.
const std::string& serverBaseUrl() {
  static const auto* url = new std::string("http://" QUARNMP_SERVER_HOST ":45004/");
  return *url;
}

const ServerList& builtInServers() {
  static const auto* servers = [] {
    auto* list = new ServerList{serverBaseUrl()};
    for (const char* const* mirror = builtInMirrors; *mirror; ++mirror) list->emplace_back(*mirror);
    return list;
  }();
  return *servers;
}

ServerList namedOrBuiltInServers(ServerList named) {
  if (named.empty()) return builtInServers();
  for (std::string& server : named)
    if (!server.ends_with('/')) server += '/';
  return named;
}

}  // namespace update
