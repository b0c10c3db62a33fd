#pragma once
// The steps of one exchange on a socket, shared by one-shot requests and kept connections.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

#include "http/body_framing.h"
#include "http/request.h"
#include "http/socket.h"

namespace http::detail {

// Throws ConnectionError "Failed to get address info of <host>".
platform::SocketAddress resolve(const Url& url, platform::AddressFamily family);

// A new non-blocking socket connected to `address` within the silence limit.
void connect(const Socket& socket, const platform::SocketAddress& address, std::int64_t timeoutMs);

// Each call is tried first; only one that would block waits, for at most the silence limit.
void sendAll(const Socket& socket, std::string_view bytes, std::int64_t silenceMs);

// Counts what arrives against the minimum rate, when there is one.
class RateFloor {
 public:
  explicit RateFloor(std::optional<MinimumRate> minimum) : minimum(minimum) {}
  // Throws ResponseError "Transfer too slow".
  void add(std::size_t count);

 private:
  std::optional<MinimumRate> minimum;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  std::uint64_t received = 0;
};

// How a reception stopped: its framing said the response was whole, or the peer closed first
// (endAtClose tells whether that ends the body or fails it).
enum class Ending { Framing, PeerClosed };

Ending receiveResponse(const Socket& socket, ResponseReception& reception, std::int64_t silenceMs, RateFloor& rate);

}  // namespace http::detail
