#pragma once
// A server program run in the background for a test, stopped (and reaped) on destruction.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// A listening TCP socket on loopback port `port` (0: on a free one, whose number goes to `port`).
int listenOnLoopback(int backlog, std::uint16_t& port);
// Starts a connection to 127.0.0.1:port (non-blocking when asked); the socket, or -1.
int connectToLoopback(std::uint16_t port, bool nonBlocking = false);

// A loopback TCP port that was free a moment ago (bound to port 0, then released).
std::uint16_t freeLoopbackPort();
// "http://127.0.0.1:<port><path>"
std::string loopbackUrl(std::uint16_t port, std::string_view path = "/");

class ServerProcess {
 public:
  // Starts `program` with `arguments`; its standard output and error go to `logFile`.
  ServerProcess(const std::string& program, const std::vector<std::string>& arguments,
                const std::filesystem::path& logFile);
  // Kills the program and waits for its end.
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // False once the program has ended (for example because its port was taken).
  bool running();

 private:
  int pid = -1;
  bool reaped = false;
};

}  // namespace testing_support
