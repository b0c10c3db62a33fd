#include "update/download.h"

#include <stdexcept>

#include "http/errors.h"
#include "http/request.h"
#include "formats/inflate.h"
#include "formats/url_path.h"

namespace update {

using formats::requestPath;
using formats::Inflater;

namespace {

constexpr std::size_t maxDocumentSize = 64u << 20;

std::string statusFailure(const http::Response& response) {
  return "HTTP status " + std::to_string(response.status.code) + " " + response.status.reason;
}

// The body of a 200 answer through `consume`; the failure of any other outcome.
std::optional<Failure> streamBody(const std::string& url, const std::function<void(std::string_view)>& consume) {
  const http::BodySink sink = [&](const http::Response& head, std::string_view bytes) {
    if (head.status.code != 200) return false;
    consume(bytes);
    return true;
  };
  try {
    const http::Response response =
        http::Request(url).send("GET", {}, {}, serverTimeoutMs, sink, http::MinimumRate{});
    if (response.status.code == 200) return std::nullopt;
    return Failure{statusFailure(response)};
  } catch (const http::ConnectionError&) {
    throw;  // ends the installation
  } catch (const std::exception& error) {
    return Failure{error.what()};
  }
}

}  // namespace

std::string serverUrl(const std::string& baseUrl, std::string_view path) { return baseUrl + requestPath(path); }

namespace {

using Pieces = std::function<void(std::string_view)>;

// Inflates the body that `deliver` hands on in pieces into `consume`: nothing on success.
std::optional<Failure> inflateBody(const std::function<std::optional<Failure>(const Pieces&)>& deliver,
                                   const Pieces& consume) {
  Inflater inflater;
  bool empty = true;
  std::optional<Failure> failure = deliver([&](std::string_view bytes) {
    empty = false;
    inflater.feed(bytes, consume);
  });
  if (!failure && empty) return Failure{"empty compressed body"};
  if (!failure && !inflater.ended()) return Failure{"compressed body ends before its stream does"};
  return failure;
}

// A body already held, as one piece.
std::optional<Failure> deliverWhole(const std::string& body, const Pieces& pieces) {
  try {
    if (!body.empty()) pieces(body);
    return std::nullopt;
  } catch (const std::exception& error) {
    return Failure{error.what()};
  }
}

}  // namespace

std::optional<Failure> downloadInflated(const std::string& baseUrl, std::string_view path,
                                        const std::function<void(std::string_view)>& consume) {
  return inflateBody([&](const Pieces& pieces) { return streamBody(serverUrl(baseUrl, path), pieces); }, consume);
}

Result<std::string> downloadText(const std::string& baseUrl, const std::string& path, DocumentBudget& budget,
                                 const BodyGate& gate) {
  std::string content;
  const Pieces append = [&](std::string_view bytes) {
    const std::size_t size = content.size() + bytes.size();
    if (size > maxDocumentSize) throw std::length_error("document larger than 64 MiB");
    if (size > budget.left)
      throw std::length_error("the catalogue and its lists are larger than " +
                              std::to_string(fetchDocumentBudget >> 20) + " MiB together");
    content += bytes;
  };
  std::optional<Failure> failure;
  if (!gate) {
    failure = downloadInflated(baseUrl, path, append);
  } else {
    const Result<std::string> served = downloadAsServed(serverUrl(baseUrl, path), maxDocumentSize);
    failure = served.ok() ? gate(served.value()) : served.failure();
    const auto whole = [&](const Pieces& pieces) { return deliverWhole(served.value(), pieces); };
    if (!failure) failure = inflateBody(whole, append);
  }
  if (failure) return *failure;
  budget.left -= content.size();
  return content;
}

Result<std::string> downloadAsServed(const std::string& url, std::size_t limit) {
  std::string body;
  const std::optional<Failure> failure = streamBody(url, [&](std::string_view bytes) {
    if (body.size() + bytes.size() > limit) throw std::length_error(bodyTooLargeFailure(limit));
    body += bytes;
  });
  if (failure) return *failure;
  return body;
}

bool isServerUnavailable(const Failure& failure) {
  return failure.reason.starts_with("HTTP status 5") || failure.reason == "Request timed out";
}

std::string bodyTooLargeFailure(std::size_t limit) { return "body larger than " + std::to_string(limit) + " bytes"; }

}  // namespace update
