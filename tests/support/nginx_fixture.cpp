#include "tests/support/nginx_fixture.h"

#include <stdexcept>

namespace testing_support {

NginxServer::NginxServer(const std::filesystem::path& root, const std::string& extraServerConfig,
                         std::uint16_t fixedPort) {
  // The port is free when chosen but may be taken before nginx binds it: try a few.
  for (int attempt = 0; attempt < 5; ++attempt) {
    port = fixedPort != 0 ? fixedPort : freeLoopbackPort();
    process = std::make_unique<ServerProcess>(
        QUARNMP_SOURCE_DIR "/scripts/local-nginx",
        std::vector<std::string>{work.path().string(), std::to_string(port),
                                 std::filesystem::absolute(root).string(), extraServerConfig},
        work / "output.log");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (process->running() && std::chrono::steady_clock::now() < deadline) {
      if (waitForLoopbackPort(port, std::chrono::milliseconds(100))) return;
    }
    process.reset();
  }
  throw std::runtime_error("nginx did not start: " + readFile(work / "error.log"));
}

std::string NginxServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port) + std::string(path);
}

}  // namespace testing_support
