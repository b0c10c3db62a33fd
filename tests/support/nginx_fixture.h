#pragma once
// Debian's nginx on a free loopback port, serving a folder. Its configuration, pid file,
// logs and temporary files live in a folder of its own; it stops with the object.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "tests/support/server_process.h"
#include "tests/support/temp_folder.h"

namespace testing_support {

struct NginxOptions {
  std::filesystem::path root;     // the folder served at "/"
  std::string serverConfig;       // extra lines inside the server block (location blocks, ...)
  std::string httpConfig;         // extra lines inside the http block
};

class NginxServer {
 public:
  // Throws std::runtime_error (with the end of nginx's error log) when it does not start.
  explicit NginxServer(NginxOptions options);
  explicit NginxServer(const std::filesystem::path& root) : NginxServer(NginxOptions{root, "", ""}) {}
  ~NginxServer();

  std::uint16_t port() const { return listeningPort; }
  // "http://127.0.0.1:<port><path>"
  std::string url(std::string_view path = "/") const;
  const std::filesystem::path& folder() const { return work.path(); }

 private:
  bool start(const NginxOptions& options);

  TempFolder work;
  std::uint16_t listeningPort = 0;
  std::unique_ptr<ServerProcess> process;
};

}  // namespace testing_support
