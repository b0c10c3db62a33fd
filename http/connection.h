#pragma once
// Several exchanges on one kept TCP connection (HTTP/1.1 persistent connections), for a worker
// that fetches one file after another from the same server. A connection is used again only
// while the server allows it ("Connection: close", HTTP/1.0 without keep-alive, the Keep-Alive
// "max" and "timeout" limits all end it) and the last exchange left it clean: never after a
// failure, a body framed by the close, or a body the sink did not take to its end.
//
// Failures are the exceptions Request's send throws.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "http/request.h"

namespace http {

namespace detail {
class Socket;
struct ResponseReception;
}

class Connection {
 public:
  // Starts the socket library; the first send connects.
  explicit Connection(InternetProtocol internetProtocol = InternetProtocol::V4);
  ~Connection();
  Connection(Connection&&) noexcept;
  Connection& operator=(Connection&&) noexcept;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // One exchange like Request's streaming send, with the server and target `url` names: on the
  // kept connection when it leads to the same host and port, else on a new one. A request that
  // fails on a kept connection before any byte of its response came (the server had closed it
  // while idle: reset or closed) is sent once more on a new connection; failures on a new
  // connection are final.
  Response send(std::string_view url, std::string_view method, std::string_view body,
                const HeaderFields& headerFields, std::int64_t timeoutMs, const BodySink& sink = nullptr,
                std::optional<MinimumRate> minimumRate = std::nullopt);

  // Whether a connection is kept for the next send.
  bool isOpen() const { return socket != nullptr; }
  void close();

 private:
  struct Exchange;
  bool mayCarry(const Url& url) const;
  std::optional<Response> attempt(const Exchange& exchange);
  void keepOrClose(const detail::ResponseReception& reception);

  detail::WinsockStartup winsockStartup;
  InternetProtocol internetProtocol;
  std::unique_ptr<detail::Socket> socket;
  std::string host;
  std::string port;
  std::uint64_t requestsLeft = 0;
  std::chrono::steady_clock::time_point idleUntil;
};

}  // namespace http
