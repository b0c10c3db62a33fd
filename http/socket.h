#pragma once
// One socket of an exchange, closed on every way out.
#include <cstdint>

#include "platform/sockets.h"

namespace http::detail {

class Socket {
 public:
  // Throws ConnectionError "Failed to create socket".
  explicit Socket(platform::AddressFamily family);
  ~Socket();
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // Waits until the socket is ready; a negative limit waits without end. Throws
  // ResponseError "Request timed out" or ConnectionError "Failed to select socket".
  void waitUntilReady(platform::Readiness readiness, std::int64_t timeoutMs) const;

  platform::SocketHandle handle() const { return socketHandle; }

 private:
  platform::SocketHandle socketHandle;
};

}  // namespace http::detail
