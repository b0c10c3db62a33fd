#pragma once
// Debian's nginx on a free loopback port, serving a folder. Its configuration, pid file,
// logs and temporary files live in a folder of its own; it stops with the object.
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "tests/support/server_process.h"
#include "tests/support/temp_folder.h"

namespace testing_support {

struct NginxOptions {
  std::filesystem::path root;  // the folder served at "/"
  std::string serverConfig;    // extra lines inside the server block (location blocks, ...)
  std::string httpConfig;      // extra lines inside the http block
  std::uint16_t port = 0;      // 0: a free one
};

// The server block of tools/nginx-update-server.conf without its own port and root.
std::string shippedServerConfig();

class NginxServer {
 public:
  // Throws std::runtime_error (with nginx's error log) when it does not start.
  explicit NginxServer(const NginxOptions& options);
  explicit NginxServer(const std::filesystem::path& root) : NginxServer(NginxOptions{root, "", ""}) {}

  // "http://127.0.0.1:<port><path>"
  std::string url(std::string_view path = "/") const;

 private:
  TempFolder work;
  std::uint16_t port = 0;
  std::unique_ptr<ServerProcess> process;
};

}  // namespace testing_support
