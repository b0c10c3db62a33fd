#include "http/connection.h"

#include <algorithm>
#include <limits>
#include <system_error>

#include "http/persistence.h"
#include "http/request_composition.h"
#include "http/transport.h"

namespace http {

namespace {

using Clock = std::chrono::steady_clock;

std::string portOf(const Url& url) { return url.port.empty() ? "80" : url.port; }

// How a server's end of an idle connection shows when a request meets it.
bool peerWasGone(const ConnectionError& error) {
  if (&error.code().category() != &detail::winsock::errorCategory()) return false;
  const int code = error.code().value();
  return code == 10053 || code == 10054 || code == 10058;  // aborted, reset (or broken pipe), shut down
}

}  // namespace

struct Connection::Exchange {
  const Url& url;
  std::string_view requestBytes;
  bool requestIsHead;
  std::int64_t timeoutMs;
  const BodySink& sink;
  std::optional<MinimumRate> minimumRate;
};

Connection::Connection(InternetProtocol protocol) : internetProtocol(protocol) {}
Connection::~Connection() = default;
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;

void Connection::close() { socket.reset(); }

bool Connection::mayCarry(const Url& url) const {
  if (!socket || url.host != host || portOf(url) != port || requestsLeft == 0 || Clock::now() >= idleUntil) {
    return false;
  }
  // Anything readable on an idle connection is its end, or bytes no request asked for.
  return platform::waitUntilReady(socket->handle(), platform::Readiness::Read, 0) == 0;
}

Response Connection::send(std::string_view urlText, std::string_view method, std::string_view body,
                          const HeaderFields& headerFields, std::int64_t timeoutMs, const BodySink& sink,
                          std::optional<MinimumRate> minimumRate) {
  const Url url = parseUrl(urlText);
  const std::string requestBytes = composeRequest(url, method, body, headerFields);
  if (!mayCarry(url)) close();
  const Exchange exchange{url, requestBytes, method == "HEAD", timeoutMs, sink, minimumRate};
  if (auto response = attempt(exchange)) return std::move(*response);
  return std::move(*attempt(exchange));  // on a new connection, which gives a response or throws
}

std::optional<Response> Connection::attempt(const Exchange& exchange) {
  const bool reused = socket != nullptr;
  if (!reused) {
    socket = std::make_unique<detail::Socket>(internetProtocol);
    host = exchange.url.host;
    port = portOf(exchange.url);
    requestsLeft = std::numeric_limits<std::uint64_t>::max();
    idleUntil = Clock::time_point::max();
  }
  detail::RateFloor rate(exchange.minimumRate);
  detail::ResponseReception reception;
  if (exchange.sink) reception.sink = &exchange.sink;
  reception.requestWasHead = exchange.requestIsHead;
  try {
    if (!reused) detail::connect(*socket, detail::resolve(exchange.url, internetProtocol), exchange.timeoutMs);
    detail::sendAll(*socket, exchange.requestBytes, exchange.timeoutMs);
    if (detail::receiveResponse(*socket, reception, exchange.timeoutMs, rate) == detail::Ending::PeerClosed) {
      close();
      if (reused && detail::nothingReceived(reception)) return std::nullopt;
      detail::endAtClose(reception);
      return std::move(reception.response);
    }
  } catch (const ConnectionError& error) {
    close();
    if (reused && detail::nothingReceived(reception) && peerWasGone(error)) return std::nullopt;
    throw;
  } catch (...) {
    close();
    throw;
  }
  keepOrClose(reception);
  return std::move(reception.response);
}

void Connection::keepOrClose(const detail::ResponseReception& reception) {
  const detail::Persistence persistence = detail::persistenceAfter(reception);
  --requestsLeft;
  // "max" counts the request just answered.
  if (const auto max = persistence.maxRequests) requestsLeft = std::min(requestsLeft, *max == 0 ? 0 : *max - 1);
  if (persistence.idleLimitMs) idleUntil = Clock::now() + std::chrono::milliseconds(*persistence.idleLimitMs);
  if (!persistence.keep || requestsLeft == 0) close();
}

}  // namespace http
