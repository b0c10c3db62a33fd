#include "update/download.h"

#include <stdexcept>

#include "http/errors.h"
#include "http/request.h"
#include "update/inflate.h"
#include "formats/url_path.h"

using formats::requestPath;

namespace {

constexpr std::size_t maxDocumentSize = 64u << 20;

std::string statusFailure(const http::Response& response) {
  return "HTTP status " + std::to_string(response.status.code) + " " + response.status.reason;
}

// The body of a 200 answer through `consume`; the reason of any other outcome.
std::string streamBody(const std::string& url, const std::function<void(std::string_view)>& consume) {
  const http::BodySink sink = [&](const http::Response& head, std::string_view bytes) {
    if (head.status.code != 200) return false;
    consume(bytes);
    return true;
  };
  try {
    const http::Response response =
        http::Request(url).send("GET", {}, {}, serverTimeoutMs, sink, http::MinimumRate{});
    return response.status.code == 200 ? "" : statusFailure(response);
  } catch (const http::ConnectionError&) {
    throw;  // ends the installation
  } catch (const std::exception& error) {
    return error.what();
  }
}

}  // namespace

std::string serverUrl(const std::string& baseUrl, std::string_view path) { return baseUrl + requestPath(path); }

namespace {

using Pieces = std::function<void(std::string_view)>;

// Inflates the body that `deliver` hands on in pieces into `consume`: the reason of a failure,
// empty on success.
std::string inflateBody(const std::function<std::string(const Pieces&)>& deliver, const Pieces& consume) {
  Inflater inflater;
  bool empty = true;
  std::string failure = deliver([&](std::string_view bytes) {
    empty = false;
    inflater.feed(bytes, consume);
  });
  if (failure.empty() && empty) return "empty compressed body";
  if (failure.empty() && !inflater.ended()) return "compressed body ends before its stream does";
  return failure;
}

// A body already held, as one piece.
std::string deliverWhole(const std::string& body, const Pieces& pieces) {
  try {
    if (!body.empty()) pieces(body);
    return "";
  } catch (const std::exception& error) {
    return error.what();
  }
}

}  // namespace

std::string downloadInflated(const std::string& baseUrl, std::string_view path,
                             const std::function<void(std::string_view)>& consume) {
  return inflateBody([&](const Pieces& pieces) { return streamBody(serverUrl(baseUrl, path), pieces); }, consume);
}

Downloaded<std::string> downloadText(const std::string& baseUrl, const std::string& path, DocumentBudget& budget,
                                     const BodyGate& gate) {
  Downloaded<std::string> result;
  const Pieces append = [&](std::string_view bytes) {
    const std::size_t size = result.content.size() + bytes.size();
    if (size > maxDocumentSize) throw std::length_error("document larger than 64 MiB");
    if (size > budget.left)
      throw std::length_error("the catalogue and its lists are larger than " +
                              std::to_string(fetchDocumentBudget >> 20) + " MiB together");
    result.content += bytes;
  };
  if (!gate) {
    result.failure = downloadInflated(baseUrl, path, append);
  } else {
    Downloaded<std::string> served = downloadAsServed(serverUrl(baseUrl, path), maxDocumentSize);
    if (served.ok()) served.failure = gate(served.content);
    const auto whole = [&](const Pieces& pieces) { return deliverWhole(served.content, pieces); };
    result.failure = served.ok() ? inflateBody(whole, append) : served.failure;
  }
  if (!result.ok()) result.content.clear();
  budget.left -= result.content.size();
  return result;
}

Downloaded<std::string> downloadAsServed(const std::string& url, std::size_t limit) {
  Downloaded<std::string> body;
  body.failure = streamBody(url, [&](std::string_view bytes) {
    if (body.content.size() + bytes.size() > limit) throw std::length_error(bodyTooLargeFailure(limit));
    body.content += bytes;
  });
  if (!body.ok()) body.content.clear();
  return body;
}

std::string bodyTooLargeFailure(std::size_t limit) { return "body larger than " + std::to_string(limit) + " bytes"; }
