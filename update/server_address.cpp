#include "update/server_address.h"

namespace update {

// Never destroyed: detached request threads may still read it while the process ends.
const std::string& serverBaseUrl() {
  static const auto* url = new std::string("http://" QUARNMP_SERVER_HOST ":45004/");
  return *url;
}

}  // namespace update
