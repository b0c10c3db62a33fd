#include "http/socket.h"

#include <system_error>

#include "http/errors.h"
#include "http/winsock_error_category.h"

namespace http::detail {

Socket::Socket(platform::AddressFamily family) : socketHandle(platform::openStreamSocket(family)) {
  if (socketHandle == platform::invalidSocket) {
    throw ConnectionError(platform::lastSocketError(), winsock::errorCategory(), "Failed to create socket");
  }
}

Socket::~Socket() {
  if (socketHandle != platform::invalidSocket) platform::closeSocket(socketHandle);
}

void Socket::waitUntilReady(platform::Readiness readiness, std::int64_t timeoutMs) const {
  while (true) {
    const int result = platform::waitUntilReady(socketHandle, readiness, timeoutMs);
    if (result > 0) return;
    if (result == 0) throw ResponseError("Request timed out");
    const int error = platform::lastSocketError();
    if (error != platform::socketErrorInterrupted) {
      throw ConnectionError(error, winsock::errorCategory(), "Failed to select socket");
    }
  }
}

}  // namespace http::detail
