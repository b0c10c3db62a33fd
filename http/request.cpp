#include "http/request.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <system_error>

#include "http/body_framing.h"
#include "http/request_composition.h"
#include "http/socket.h"

namespace http {

namespace {

using Clock = std::chrono::steady_clock;

// The whole exchange shares one deadline; each wait gets what is left of it.
struct Deadline {
  bool unlimited = true;
  Clock::time_point end;
};

Deadline deadlineAfter(std::int64_t timeoutMs) {
  if (timeoutMs < 0) return {true, Clock::now()};
  // Beyond a century the clock would overflow; no exchange notices the difference.
  constexpr std::int64_t century = 100ll * 365 * 24 * 3600 * 1000;
  return {false, Clock::now() + std::chrono::milliseconds(std::min(timeoutMs, century))};
}

// Whole milliseconds left, truncated; 0 once the deadline has passed; -1 without a limit.
std::int64_t remainingMs(const Deadline& deadline) {
  if (deadline.unlimited) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline.end - Clock::now()).count();
  return left > 0 ? left : 0;
}

[[noreturn]] void throwSocketError(int code, const char* message) {
  throw std::system_error(code, detail::winsock::errorCategory(), message);
}

platform::SocketAddress resolve(const Url& url, platform::AddressFamily family) {
  platform::SocketAddress address;
  const std::string service = url.port.empty() ? "80" : url.port;
  if (!platform::resolveFirstAddress(url.host, service, family, address)) {
    throw std::system_error(platform::lastSocketError(), detail::winsock::errorCategory(),
                            "Failed to get address info of " + url.host);
  }
  return address;
}

void connect(const detail::Socket& socket, const platform::SocketAddress& address, std::int64_t timeoutMs) {
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

void sendAll(const detail::Socket& socket, std::string_view bytes, const Deadline& deadline) {
  while (!bytes.empty()) {
    socket.waitUntilReady(platform::Readiness::Write, remainingMs(deadline));
    const int count = static_cast<int>(std::min<std::size_t>(bytes.size(), std::numeric_limits<int>::max()));
    int sent = 0;
    while ((sent = platform::sendBytes(socket.handle(), bytes.data(), count)) < 0) {
      const int error = platform::lastSocketError();
      if (error != platform::socketErrorInterrupted) throwSocketError(error, "Failed to send data");
    }
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
}

Response receiveResponse(const detail::Socket& socket, const Deadline& deadline) {
  detail::ResponseReception reception;
  char buffer[4096];
  while (true) {
    socket.waitUntilReady(platform::Readiness::Read, remainingMs(deadline));
    int received = 0;
    while ((received = platform::receiveBytes(socket.handle(), buffer, sizeof buffer)) < 0) {
      const int error = platform::lastSocketError();
      if (error != platform::socketErrorInterrupted) throwSocketError(error, "Failed to read data");
    }
    // The peer closing ends the exchange with whatever arrived, complete or not.
    if (received == 0) break;
    if (detail::addReceivedBytes(reception, std::string_view(buffer, static_cast<std::size_t>(received))) ==
        detail::Progress::Complete) {
      break;
    }
  }
  return std::move(reception.response);
}

}  // namespace

Request::Request(std::string_view urlText, InternetProtocol protocol)
    : internetProtocol(protocol), url(parseUrl(urlText)) {}

Response Request::send(std::string_view method, std::string_view body, const HeaderFields& headerFields,
                       std::int64_t timeoutMs) const {
  const Deadline deadline = deadlineAfter(timeoutMs);
  if (url.scheme != "http") throw RequestError("Only HTTP scheme is supported");
  const platform::SocketAddress address = resolve(url, internetProtocol);
  const std::string requestBytes = composeRequest(url, method, body, headerFields);

  detail::Socket socket(internetProtocol);
  if (const int error = platform::makeNonBlocking(socket.handle()); error != 0) {
    throwSocketError(error, "Failed to get socket flags");
  }
  connect(socket, address, remainingMs(deadline));
  sendAll(socket, requestBytes, deadline);
  return receiveResponse(socket, deadline);
}

}  // namespace http
