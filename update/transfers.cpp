#include "update/transfers.h"

#include <optional>
#include <thread>

#include "update/download.h"
#include "formats/inflate.h"
#include "http/errors.h"
#include "update/kept_download.h"

using formats::Inflater;
using update::Failure;

namespace {

using Pieces = std::function<void(std::string_view)>;

struct Download {
  const std::string& url;
  const TransferOptions& options;
  const std::function<void()>& restart;
  const Pieces& consume;
  KeptDownload* kept;  // null when the file is not to be continued
};

struct Attempt {
  std::string failure;  // empty on success
  bool transient = false;
  bool resumed = false;
};

// The client's texts for a silence and for a peer that closed before the response's end.
bool isTransient(const http::ResponseError& error) {
  const std::string_view what = error.what();
  return what == "Request timed out" || what.starts_with("Connection closed");
}

bool rangeStartsAt(const http::Response& head, std::uint64_t from) {
  const std::string start = "bytes " + std::to_string(from) + "-";
  for (const http::HeaderField& field : head.headerFields)
    if (field.name == "content-range") return field.value.starts_with(start);
  return false;
}

// One request: for the rest of the kept bytes when there are any, else for the whole body.
Attempt attemptOnce(http::Connection& connection, const Download& download) {
  std::optional<Inflater> inflater(std::in_place);
  bool empty = true, started = false, resumed = false;
  const Pieces inflate = [&](std::string_view bytes) {
    empty = empty && bytes.empty();
    inflater->feed(bytes, download.consume);
  };
  const auto startOver = [&] {
    download.restart();
    inflater.emplace();
    empty = true;
  };
  std::uint64_t from = 0;
  try {
    if (download.kept) from = download.kept->resume(inflate);
  } catch (const std::exception&) {
    from = 0;  // kept bytes that do not inflate: the whole file again
  }
  if (from == 0 && !empty) startOver();  // kept bytes went in before they failed
  http::HeaderFields fields;
  if (from > 0) fields = {{"Range", "bytes=" + std::to_string(from) + "-"}, {"If-Range", download.kept->validator()}};
  const http::BodySink sink = [&](const http::Response& head, std::string_view bytes) {
    if (!started) {
      started = true;
      resumed = from > 0 && head.status.code == 206 && rangeStartsAt(head, from);
      if (!resumed && head.status.code != 200) return false;
      if (!resumed && from > 0) startOver();  // the server's copy changed: it sent the whole body
      if (!resumed && download.kept) download.kept->begin(head);
    }
    if (download.kept) download.kept->add(bytes);
    if (download.options.received) *download.options.received += bytes.size();
    inflate(bytes);
    return true;
  };
  try {
    const http::Response response =
        connection.send(download.url, "GET", {}, fields, download.options.silenceMs, sink, download.options.minimumRate);
    const int code = response.status.code;
    const std::string status = "HTTP status " + std::to_string(code) + " " + response.status.reason;
    if (code != 200 && !resumed) return {status, code / 100 == 5};
    if (!started && from > 0) startOver();
  } catch (const http::ConnectionError&) {
    throw;
  } catch (const http::ResponseError& error) {
    return {error.what(), isTransient(error), resumed};
  } catch (const std::exception& error) {
    return {error.what()};
  }
  if (empty) return {"empty compressed body"};
  if (!inflater->ended()) return {"compressed body ends before its stream does"};
  return {"", false, resumed};
}

}  // namespace

std::optional<Failure> fetchInflated(http::Connection& connection, const DownloadTarget& target,
                                     const TransferOptions& options, const std::function<void()>& restart,
                                     const Pieces& consume, const std::function<std::optional<Failure>()>& verify) {
  std::optional<KeptDownload> kept;
  if (!target.path.empty()) kept.emplace(target.path, options.keepFrom);
  const Download download{target.url, options, restart, consume, kept ? &*kept : nullptr};
  for (std::size_t retry = 0;; ++retry) {
    const bool last = retry == options.retryPauses.size();
    Attempt attempt;
    bool wrongContent = false;
    try {
      restart();
      attempt = attemptOnce(connection, download);
      // A wrong digest after a continued body may come from a kept prefix of another version:
      // once more from the start.
      if (attempt.failure.empty()) {
        const std::optional<Failure> refused = verify();
        wrongContent = refused.has_value();
        if (refused) attempt.failure = refused->reason;
      }
    } catch (const http::ConnectionError&) {
      if (last && kept) kept->keep();
      if (last) throw;
      attempt.transient = true;
    } catch (const std::exception& error) {
      attempt.failure = error.what();
    }
    if (wrongContent) attempt.transient = attempt.resumed;
    if (kept && attempt.transient && !wrongContent) kept->keep();
    else if (kept) kept->discard();
    if (!attempt.transient || last) {
      if (attempt.failure.empty()) return std::nullopt;
      return Failure{attempt.failure};
    }
    std::this_thread::sleep_for(options.retryPauses[retry]);
  }
}
