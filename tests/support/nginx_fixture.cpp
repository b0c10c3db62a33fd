#include "tests/support/nginx_fixture.h"

#include <stdexcept>

namespace testing_support {

namespace {

std::string configuration(const NginxOptions& options, const std::filesystem::path& work, std::uint16_t port) {
  const std::string w = work.string();
  return "daemon off;\n"
         "master_process off;\n"  // one process as the caller's user: it reads private temp folders
         "worker_processes 1;\n"
         "pid " + w + "/nginx.pid;\n"
         "error_log " + w + "/error.log warn;\n"
         "events { worker_connections 256; }\n"
         "http {\n"
         "  access_log off;\n"
         "  default_type application/octet-stream;\n"
         "  client_body_temp_path " + w + "/client_body;\n"
         "  proxy_temp_path " + w + "/proxy;\n"
         "  fastcgi_temp_path " + w + "/fastcgi;\n"
         "  uwsgi_temp_path " + w + "/uwsgi;\n"
         "  scgi_temp_path " + w + "/scgi;\n" +
         options.httpConfig +
         "\n  server {\n"
         "    listen 127.0.0.1:" + std::to_string(port) + ";\n"
         "    root " + std::filesystem::absolute(options.root).string() + ";\n" +
         options.serverConfig +
         "\n  }\n"
         "}\n";
}

}  // namespace

NginxServer::NginxServer(NginxOptions options) {
  // The port is free when chosen but may be taken before nginx binds it: try a few.
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (start(options)) return;
  }
  throw std::runtime_error("nginx did not start: " + readFile(work / "error.log"));
}

NginxServer::~NginxServer() = default;

bool NginxServer::start(const NginxOptions& options) {
  listeningPort = freeLoopbackPort();
  writeFile(work / "nginx.conf", configuration(options, work.path(), listeningPort));
  const std::string program = std::filesystem::exists("/usr/sbin/nginx") ? "/usr/sbin/nginx" : "nginx";
  process = std::make_unique<ServerProcess>(
      program, std::vector<std::string>{"-p", work.path().string(), "-e", (work / "error.log").string(), "-c",
                                        (work / "nginx.conf").string()},
      work / "output.log");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!process->running()) break;
    if (waitForLoopbackPort(listeningPort, std::chrono::milliseconds(100))) return true;
  }
  process.reset();
  return false;
}

std::string NginxServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(listeningPort) + std::string(path);
}

}  // namespace testing_support
