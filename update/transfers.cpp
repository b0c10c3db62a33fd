#include "update/transfers.h"

#include <exception>
#include <optional>
#include <thread>
#include <utility>

#include "formats/inflate.h"
#include "http/errors.h"
#include "update/download.h"
#include "update/kept_download.h"

namespace update {

using formats::Inflater;

namespace {

using Pieces = std::function<void(std::string_view)>;

struct Download {
  std::string url;
  bool inflated;
  const TransferOptions& options;
  const std::function<void()>& restart;
  const Pieces& consume;
  KeptDownload* kept;  // null when the file is not to be continued
};

// How one request ended, which decides what is asked next.
enum class Ending {
  Done,
  Passing,  // this server may give the file later; another one is asked now
  Refused,  // this server does not give the file
  Final,    // no server would: the failure is on this side (a write, the request itself)
};

struct Attempt {
  Ending ending = Ending::Done;
  std::string failure;
  bool resumed = false;
  bool unreachable = false;   // no connection came about, or it broke
  bool wrongContent = false;  // a whole body that verify refused
  bool staleKept = false;     // the kept bytes are of another version than the server's
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

std::string statusFailure(const http::Response& response) {
  return "HTTP status " + std::to_string(response.status.code) + " " + response.status.reason;
}

// One request: for the rest of the kept bytes when there are any, else for the whole body.
Attempt attemptOnce(http::Connection& connection, const Download& download) {
  std::optional<Inflater> inflater(std::in_place);
  bool empty = true, started = false, resumed = false, ours = false;
  // What the consumer or a restart throws is this side's failure, not the server's.
  const Pieces consume = [&](std::string_view bytes) {
    try {
      download.consume(bytes);
    } catch (...) {
      ours = true;
      throw;
    }
  };
  const Pieces take = [&](std::string_view bytes) {
    empty = empty && bytes.empty();
    if (download.inflated) inflater->feed(bytes, consume);
    else consume(bytes);
  };
  const auto startOver = [&] {
    ours = true;  // until the restart has passed
    download.restart();
    ours = false;
    inflater.emplace();
    empty = true;
  };
  std::uint64_t from = 0;
  try {
    if (download.kept) from = download.kept->resume(take);
  } catch (const std::exception&) {
    from = 0;  // kept bytes that do not inflate: the whole file again
    ours = false;
  }
  if (from == 0 && !empty) startOver();  // kept bytes went in before they failed
  http::HeaderFields fields;
  if (from > 0) fields = {{"Range", "bytes=" + std::to_string(from) + "-"}, {"If-Range", download.kept->validator()}};
  const http::BodySink sink = [&](const http::Response& head, std::string_view bytes) {
    if (!started) {
      started = true;
      resumed = from > 0 && head.status.code == 206 && rangeStartsAt(head, from) && download.kept->continues(head);
      if (!resumed && head.status.code != 200) return false;
      if (!resumed && from > 0) startOver();  // the server's copy changed: it sent the whole body
      if (!resumed && download.kept) download.kept->begin(head);
    }
    if (download.kept) download.kept->add(bytes);
    if (download.options.received) *download.options.received += bytes.size();
    take(bytes);
    return true;
  };
  try {
    const http::Response response =
        connection.send(download.url, "GET", {}, fields, download.options.silenceMs, sink, download.options.minimumRate);
    const int code = response.status.code;
    // A part that does not continue the kept bytes (another range, another version): whole next time.
    if (code == 206 && !resumed && from > 0) return {Ending::Passing, statusFailure(response), false, false, false, true};
    if (code != 200 && !resumed) return {code / 100 == 5 ? Ending::Passing : Ending::Refused, statusFailure(response)};
    if (!started && from > 0) startOver();
  } catch (const http::ConnectionError&) {
    throw;
  } catch (const http::RequestError& error) {
    return {Ending::Final, error.what()};
  } catch (const http::ResponseError& error) {
    return {isTransient(error) ? Ending::Passing : Ending::Refused, error.what(), resumed};
  } catch (const std::exception& error) {
    return {ours ? Ending::Final : Ending::Refused, error.what()};
  }
  if (download.inflated && empty) return {Ending::Refused, "empty compressed body"};
  if (download.inflated && !inflater->ended()) return {Ending::Refused, "compressed body ends before its stream does"};
  return {Ending::Done, "", resumed};
}

// One try of one server, its whole body judged by `verify`.
Attempt tryServer(http::Connection& connection, const Download& download, const BodyVerdict& verify,
                  const std::string& base, std::exception_ptr& unreachable) {
  try {
    download.restart();
    Attempt attempt = attemptOnce(connection, download);
    if (attempt.ending != Ending::Done) return attempt;
    const std::optional<Failure> refused = verify(base);
    if (!refused) return attempt;
    // A continued body may hold a kept prefix of another version: once more from the start.
    return {attempt.resumed ? Ending::Passing : Ending::Refused, refused->reason, attempt.resumed, false, true};
  } catch (const http::ConnectionError& error) {
    unreachable = std::current_exception();
    return {Ending::Passing, error.what(), false, true};
  } catch (const std::exception& error) {
    return {Ending::Final, error.what()};
  }
}

// What the tries of one file have shown so far.
struct FileTries {
  std::vector<std::pair<std::size_t, std::string>> answers;  // the failure of each server whose last try answered
  std::vector<std::size_t> wrong;                            // servers that sent a whole body verify refused
  std::exception_ptr unreachable;                            // the last connection failure

  void note(std::size_t server, const Attempt& attempt) {
    std::erase_if(answers, [server](const auto& answer) { return answer.first == server; });
    if (!attempt.unreachable) answers.emplace_back(server, attempt.failure);
    if (attempt.wrongContent && !attempt.resumed) wrong.push_back(server);
  }
  // The last answer's failure; the connection failure when no server's last try answered.
  Failure failure() const {
    if (answers.empty() && unreachable) std::rethrow_exception(unreachable);
    return Failure{answers.empty() ? "no server answered" : answers.back().second};
  }
};

// The kept bytes stay while the file may continue from them.
void settle(KeptDownload& kept, const Attempt& attempt) {
  if (attempt.ending == Ending::Passing && !attempt.wrongContent && !attempt.staleKept) kept.keep();
  else kept.discard();
}

}  // namespace

std::optional<Failure> fetchFile(ServerConnections& connections, ServerChoice& servers, const DownloadTarget& target,
                                 const TransferOptions& options, const std::function<void()>& restart,
                                 const Pieces& consume, const BodyVerdict& verify) {
  std::optional<KeptDownload> kept;
  if (!target.file.empty()) kept.emplace(target.file, options.keepFrom);
  std::vector<std::size_t> asking = servers.order();
  if (asking.empty()) return Failure{"every server served wrong content in this run"};
  FileTries tries;
  for (std::size_t round = 0;; ++round) {
    for (auto next = asking.begin(); next != asking.end();) {
      const std::size_t server = *next;
      const Download download{serverUrl(servers.base(server), target.path), target.inflated, options, restart,
                              consume, kept ? &*kept : nullptr};
      const Attempt attempt = tryServer(connections[server], download, verify, servers.base(server), tries.unreachable);
      if (kept) settle(*kept, attempt);
      if (attempt.ending == Ending::Final) return Failure{attempt.failure};
      if (attempt.ending == Ending::Done) {
        servers.answered(server);
        for (const std::size_t other : tries.wrong) servers.exclude(other);
        return std::nullopt;
      }
      tries.note(server, attempt);
      if (attempt.ending == Ending::Passing) servers.unavailable(server);
      else servers.answered(server);
      next = attempt.ending == Ending::Passing ? next + 1 : asking.erase(next);
    }
    if (asking.empty() || round == options.retryPauses.size()) return tries.failure();
    std::this_thread::sleep_for(options.retryPauses[round]);
  }
}

}  // namespace update
