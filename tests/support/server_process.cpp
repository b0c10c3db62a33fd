#include "tests/support/server_process.h"

#include "tests/support/nginx_fixture.h"
#include "tests/support/run_program.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testing_support {

namespace {

sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

}  // namespace

int listenOnLoopback(int backlog, std::uint16_t& port) {
  const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int reuse = 1;  // a fixed port is free again at once after an earlier test's server
  ::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  sockaddr_in address = loopback(port);
  socklen_t length = sizeof address;
  if (::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(descriptor, backlog) != 0 ||
      ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(descriptor);
    throw std::runtime_error("cannot listen on loopback");
  }
  port = ntohs(address.sin_port);
  return descriptor;
}

int connectToLoopback(std::uint16_t port, bool nonBlocking) {
  const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
  const sockaddr_in address = loopback(port);
  if (::connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
      (nonBlocking && errno == EINPROGRESS)) {
    return descriptor;
  }
  ::close(descriptor);
  return -1;
}

std::uint16_t freeLoopbackPort() {
  std::uint16_t port = 0;
  ::close(listenOnLoopback(1, port));
  return port;
}

std::string loopbackUrl(std::uint16_t port, std::string_view path) {
  return "http://127.0.0.1:" + std::to_string(port) + std::string(path);
}

ServerProcess::ServerProcess(const std::string& program, const std::vector<std::string>& arguments,
                             const std::filesystem::path& logFile) {
  const int log = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  pid = spawnProgram(program, arguments, {}, nothing, log, log);
  for (int descriptor : {log, nothing}) ::close(descriptor);
  if (pid < 0) throw std::runtime_error("cannot start " + program);
}

bool ServerProcess::running() {
  if (!reaped && ::waitpid(pid, nullptr, WNOHANG) == pid) reaped = true;
  return !reaped;
}

ServerProcess::~ServerProcess() {
  if (running()) ::kill(pid, SIGKILL);
  if (!reaped) ::waitpid(pid, nullptr, 0);
}

NginxServer::NginxServer(const std::filesystem::path& root, const std::string& extraServerConfig,
                         std::uint16_t fixedPort) {
  // A free port may be taken before nginx binds it; nginx then ends, and another one is tried.
  for (int attempt = 0; attempt < 5; ++attempt) {
    port = fixedPort != 0 ? fixedPort : freeLoopbackPort();
    const std::vector<std::string> arguments{work.path().string(), std::to_string(port),
                                             std::filesystem::absolute(root).string(), extraServerConfig};
    process = std::make_unique<ServerProcess>(QUARNMP_SOURCE_DIR "/scripts/local-nginx", arguments,
                                              work / "output.log");
    for (int probes = 0; probes < 750 && process->running(); ++probes) {  // 15 s
      const int probe = connectToLoopback(port);
      if (probe >= 0) {
        ::close(probe);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    process.reset();
  }
  throw std::runtime_error("nginx did not start: " + readFile(work / "error.log"));
}

}  // namespace testing_support
