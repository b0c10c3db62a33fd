#include "update/transfers.h"

#include <system_error>
#include <thread>

#include "update/download.h"
#include "update/inflate.h"

namespace {

struct Attempt {
  std::string failure;  // empty on success
  bool transient = false;
};

// The client's texts for a silence and for a peer that closed before the response's end.
bool isTransient(const http::ResponseError& error) {
  const std::string_view what = error.what();
  return what == "Request timed out" || what.starts_with("Connection closed");
}

Attempt attemptOnce(http::Connection& connection, const std::string& url, const TransferOptions& options,
                    const std::function<void(std::string_view)>& consume) {
  Inflater inflater;
  bool empty = true;
  const http::BodySink sink = [&](const http::Response& head, std::string_view bytes) {
    if (head.status.code != 200) return false;
    empty = false;
    inflater.feed(bytes, consume);
    return true;
  };
  try {
    const http::Response response =
        connection.send(url, "GET", {}, {}, serverTimeoutMs, sink, options.minimumRate);
    const int code = response.status.code;
    if (code != 200) return {"HTTP status " + std::to_string(code) + " " + response.status.reason, code / 100 == 5};
  } catch (const std::system_error&) {
    throw;
  } catch (const http::ResponseError& error) {
    return {error.what(), isTransient(error)};
  } catch (const std::exception& error) {
    return {error.what()};
  }
  if (empty) return {"empty compressed body"};
  if (!inflater.ended()) return {"compressed body ends before its stream does"};
  return {};
}

}  // namespace

std::string fetchInflated(http::Connection& connection, const std::string& url, const TransferOptions& options,
                          const std::function<void()>& restart, const std::function<void(std::string_view)>& consume) {
  for (std::size_t retry = 0;; ++retry) {
    const bool last = retry == options.retryPauses.size();
    try {
      restart();
    } catch (const std::exception& error) {
      return error.what();
    }
    try {
      const Attempt attempt = attemptOnce(connection, url, options, consume);
      if (!attempt.transient || last) return attempt.failure;
    } catch (const std::system_error&) {
      if (last) throw;
    }
    std::this_thread::sleep_for(options.retryPauses[retry]);
  }
}
