#include "http/request.h"

#include "http/request_composition.h"
#include "http/transport.h"

namespace http {

Request::Request(std::string_view urlText, InternetProtocol protocol)
    : internetProtocol(protocol), url(parseUrl(urlText)) {}

Response Request::send(std::string_view method, std::string_view body, const HeaderFields& headerFields,
                       std::int64_t timeoutMs) const {
  return send(method, body, headerFields, timeoutMs, nullptr);
}

Response Request::send(std::string_view method, std::string_view body, const HeaderFields& headerFields,
                       std::int64_t timeoutMs, const BodySink& sink, std::optional<MinimumRate> minimumRate) const {
  detail::RateFloor rate(minimumRate);
  if (url.scheme != "http") throw RequestError("Only HTTP scheme is supported");
  const platform::SocketAddress address = detail::resolve(url, internetProtocol);
  const std::string requestBytes = composeRequest(url, method, body, headerFields);

  detail::Socket socket(internetProtocol);
  detail::connect(socket, address, timeoutMs);
  detail::sendAll(socket, requestBytes, timeoutMs);
  detail::ResponseReception reception;
  if (sink) reception.sink = &sink;
  reception.requestWasHead = method == "HEAD";
  // The peer closing ends only a body framed by the close itself.
  if (detail::receiveResponse(socket, reception, timeoutMs, rate) == detail::Ending::PeerClosed) {
    detail::endAtClose(reception);
  }
  return std::move(reception.response);
}

}  // namespace http
