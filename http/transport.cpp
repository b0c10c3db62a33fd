#include "http/transport.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <system_error>

namespace http::detail {

namespace {

// Large pieces: a long body costs one system call per piece, not per 4 KiB.
constexpr std::size_t receivePieceSize = 256 * 1024;

[[noreturn]] void throwSocketError(int code, const char* message) {
  throw ConnectionError(code, winsock::errorCategory(), message);
}

}  // namespace

platform::SocketAddress resolve(const Url& url, platform::AddressFamily family) {
  platform::SocketAddress address;
  const std::string service = url.port.empty() ? "80" : url.port;
  if (!platform::resolveFirstAddress(url.host, service, family, address)) {
    throw ConnectionError(platform::lastSocketError(), winsock::errorCategory(),
                            "Failed to get address info of " + url.host);
  }
  return address;
}

void connect(const Socket& socket, const platform::SocketAddress& address, std::int64_t timeoutMs) {
  if (const int error = platform::makeNonBlocking(socket.handle()); error != 0) {
    throwSocketError(error, "Failed to get socket flags");
  }
  while (!platform::connectSocket(socket.handle(), address)) {
    const int error = platform::lastSocketError();
    if (error == platform::socketErrorInterrupted) continue;
    if (error != platform::socketErrorWouldBlock) throwSocketError(error, "Failed to connect");
    socket.waitUntilReady(platform::Readiness::Write, timeoutMs);
    int pendingError = 0;
    if (!platform::pendingSocketError(socket.handle(), pendingError)) {
      throwSocketError(platform::lastSocketError(), "Failed to get socket option");
    }
    if (pendingError != 0) throwSocketError(pendingError, "Failed to connect");
    return;
  }
}

void sendAll(const Socket& socket, std::string_view bytes, std::int64_t silenceMs) {
  while (!bytes.empty()) {
    const int count = static_cast<int>(std::min<std::size_t>(bytes.size(), std::numeric_limits<int>::max()));
    const int sent = platform::sendBytes(socket.handle(), bytes.data(), count);
    if (sent >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    const int error = platform::lastSocketError();
    if (error == platform::socketErrorWouldBlock) socket.waitUntilReady(platform::Readiness::Write, silenceMs);
    else if (error != platform::socketErrorInterrupted) throwSocketError(error, "Failed to send data");
  }
}

void RateFloor::add(std::size_t count) {
  if (!minimum) return;
  received += count;
  const auto elapsedMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  const bool belowFloor = received * 1000 < minimum->bytesPerSecond * static_cast<std::uint64_t>(elapsedMs);
  if (elapsedMs > minimum->graceMs && belowFloor) throw ResponseError("Transfer too slow");
}

Ending receiveResponse(const Socket& socket, ResponseReception& reception, std::int64_t silenceMs, RateFloor& rate) {
  // Not zeroed: a short exchange would pay more for clearing the buffer than for its bytes.
  const auto buffer = std::make_unique_for_overwrite<char[]>(receivePieceSize);
  while (true) {
    const int received = platform::receiveBytes(socket.handle(), buffer.get(), static_cast<int>(receivePieceSize));
    if (received < 0) {
      const int error = platform::lastSocketError();
      if (error == platform::socketErrorWouldBlock) socket.waitUntilReady(platform::Readiness::Read, silenceMs);
      else if (error != platform::socketErrorInterrupted) throwSocketError(error, "Failed to read data");
      continue;
    }
    if (received == 0) return Ending::PeerClosed;
    rate.add(static_cast<std::size_t>(received));
    const std::string_view bytes(buffer.get(), static_cast<std::size_t>(received));
    if (addReceivedBytes(reception, bytes) == Progress::Complete) return Ending::Framing;
  }
}

}  // namespace http::detail
