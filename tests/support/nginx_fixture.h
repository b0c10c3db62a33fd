#pragma once
// Debian's nginx on a free loopback port with the shipped update-server block, serving a
// folder (scripts/local-nginx). Its configuration, pid file, logs and temporary files live
// in a folder of its own; it stops with the object.
#include <memory>

#include "tests/support/server_process.h"
#include "tests/support/temp_folder.h"

namespace testing_support {

class NginxServer {
 public:
  // Throws std::runtime_error (with nginx's error log) when it does not start. extraServerConfig: lines added
  // inside the server block (location blocks, ...); fixedPort: the port to listen on, 0 for a free one.
  explicit NginxServer(const std::filesystem::path& root, const std::string& extraServerConfig = "",
                       std::uint16_t fixedPort = 0);
  std::string url(std::string_view path = "/") const { return loopbackUrl(port, path); }

 private:
  TempFolder work;
  std::uint16_t port = 0;
  std::unique_ptr<ServerProcess> process;
};

}  // namespace testing_support
