#include "http/request.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <system_error>

#include "http/body_framing.h"
#include "http/request_composition.h"
#include "http/socket.h"

namespace http {

namespace {

using Clock = std::chrono::steady_clock;

// Large pieces: a long body costs one system call per piece, not per 4 KiB.
constexpr std::size_t receivePieceSize = 256 * 1024;

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

// Each call is tried first; only one that would block waits, for at most the silence limit.
void sendAll(const detail::Socket& socket, std::string_view bytes, std::int64_t silenceMs) {
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

// Counts what arrives against the minimum rate, when there is one.
class RateFloor {
 public:
  explicit RateFloor(std::optional<MinimumRate> minimum) : minimum(minimum) {}
  void add(std::size_t count) {
    if (!minimum) return;
    received += count;
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    const bool belowFloor = received * 1000 < minimum->bytesPerSecond * static_cast<std::uint64_t>(elapsedMs);
    if (elapsedMs > minimum->graceMs && belowFloor) throw ResponseError("Transfer too slow");
  }

 private:
  std::optional<MinimumRate> minimum;
  Clock::time_point start = Clock::now();
  std::uint64_t received = 0;
};

void receiveResponse(const detail::Socket& socket, detail::ResponseReception& reception, std::int64_t silenceMs,
                     RateFloor& rate) {
  const auto buffer = std::make_unique<char[]>(receivePieceSize);
  while (true) {
    const int received = platform::receiveBytes(socket.handle(), buffer.get(), static_cast<int>(receivePieceSize));
    if (received < 0) {
      const int error = platform::lastSocketError();
      if (error == platform::socketErrorWouldBlock) socket.waitUntilReady(platform::Readiness::Read, silenceMs);
      else if (error != platform::socketErrorInterrupted) throwSocketError(error, "Failed to read data");
      continue;
    }
    // The peer closing ends only a body framed by the close itself.
    if (received == 0) return detail::endAtClose(reception);
    rate.add(static_cast<std::size_t>(received));
    const std::string_view bytes(buffer.get(), static_cast<std::size_t>(received));
    if (detail::addReceivedBytes(reception, bytes) == detail::Progress::Complete) return;
  }
}

}  // namespace

Request::Request(std::string_view urlText, InternetProtocol protocol)
    : internetProtocol(protocol), url(parseUrl(urlText)) {}

Response Request::send(std::string_view method, std::string_view body, const HeaderFields& headerFields,
                       std::int64_t timeoutMs) const {
  return send(method, body, headerFields, timeoutMs, nullptr);
}

Response Request::send(std::string_view method, std::string_view body, const HeaderFields& headerFields,
                       std::int64_t timeoutMs, const BodySink& sink, std::optional<MinimumRate> minimumRate) const {
  RateFloor rate(minimumRate);
  if (url.scheme != "http") throw RequestError("Only HTTP scheme is supported");
  const platform::SocketAddress address = resolve(url, internetProtocol);
  const std::string requestBytes = composeRequest(url, method, body, headerFields);

  detail::Socket socket(internetProtocol);
  if (const int error = platform::makeNonBlocking(socket.handle()); error != 0) {
    throwSocketError(error, "Failed to get socket flags");
  }
  connect(socket, address, timeoutMs);
  sendAll(socket, requestBytes, timeoutMs);
  detail::ResponseReception reception;
  if (sink) reception.sink = &sink;
  reception.requestWasHead = method == "HEAD";
  receiveResponse(socket, reception, timeoutMs, rate);
  return std::move(reception.response);
}

}  // namespace http
