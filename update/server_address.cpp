#include "update/server_address.h"

namespace {

// Never destroyed: detached request threads may still read it while the process ends.
std::string& baseUrl() {
  static auto* url = new std::string("http://" QUARNMP_SERVER_HOST ":45004/");
  return *url;
}

}  // namespace

const std::string& serverBaseUrl() { return baseUrl(); }

void setServerBaseUrl(std::string url) { baseUrl() = std::move(url); }
