#include "tests/support/nginx_fixture.h"

#include <regex>
#include <stdexcept>

namespace testing_support {

NginxServer::NginxServer(const NginxOptions& options) {
  const std::string w = work.path().string();
  // The port is free when chosen but may be taken before nginx binds it: try a few.
  for (int attempt = 0; attempt < 5; ++attempt) {
    port = options.port != 0 ? options.port : freeLoopbackPort();
    writeFile(work / "nginx.conf",
              "daemon off; master_process off; worker_processes 1;\n"  // one process, as the caller's user
              "pid " + w + "/nginx.pid; error_log " + w + "/error.log warn;\n"
              "events { worker_connections 256; }\n"
              "http { access_log off; default_type application/octet-stream;\n"
              "  client_body_temp_path " + w + "; proxy_temp_path " + w + "; fastcgi_temp_path " + w + ";\n"
              "  uwsgi_temp_path " + w + "; scgi_temp_path " + w + ";\n" + options.httpConfig +
              "\n  server { listen 127.0.0.1:" + std::to_string(port) + ";\n"
              "    root " + std::filesystem::absolute(options.root).string() + ";\n" + options.serverConfig +
              "\n  }\n}\n");
    process = std::make_unique<ServerProcess>(
        "/usr/sbin/nginx", std::vector<std::string>{"-p", w, "-e", w + "/error.log", "-c", w + "/nginx.conf"},
        work / "output.log");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (process->running() && std::chrono::steady_clock::now() < deadline) {
      if (waitForLoopbackPort(port, std::chrono::milliseconds(100))) return;
    }
    process.reset();
  }
  throw std::runtime_error("nginx did not start: " + readFile(work / "error.log"));
}

std::string shippedServerConfig() {
  std::string block = readFile(std::filesystem::path(QUARNMP_SOURCE_DIR) / "tools/nginx-update-server.conf");
  block = block.substr(block.find("server {") + 8);
  return std::regex_replace(block.erase(block.rfind('}')), std::regex(" *(listen|root) .*\n"), "");
}

std::string NginxServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port) + std::string(path);
}

}  // namespace testing_support
