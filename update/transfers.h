#pragma once
// Fetching one file's body from the update server or its mirrors, on the worker's kept
// connection to each, tried again while its failure may pass.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "http/connection.h"
#include "update/download.h"
#include "update/failure.h"
#include "update/server_choice.h"

namespace update {

inline constexpr unsigned defaultTransferJobs = 8;
inline constexpr unsigned maxTransferJobs = 32;

struct TransferOptions {
  // Files on the way at once, each on its own connection.
  unsigned jobs = defaultTransferJobs;
  // Every transfer must keep this average once its grace period has passed.
  http::MinimumRate minimumRate;
  // The longest silence of the server while connecting, sending or receiving.
  std::int64_t silenceMs = serverTimeoutMs;
  // A transient failure is tried again after each of these pauses in turn, then it stands.
  std::vector<std::chrono::milliseconds> retryPauses{std::chrono::milliseconds(500), std::chrono::milliseconds(1000),
                                                     std::chrono::milliseconds(2000)};
  // A body cut short after this many compressed bytes is kept, to be continued.
  std::uint64_t keepFrom = 1u << 20;
  // Counts the bytes received from the server, when given.
  std::atomic<std::uint64_t>* received = nullptr;
};

// A worker's kept connections, one for each server (by its place in the ServerChoice).
using ServerConnections = std::map<std::size_t, http::Connection>;

// What to fetch: its path below each server's base address (as the catalogue gives it), the
// file it becomes ("" when the body is not to be continued after a cut), and whether the body
// is inflated on its way to the consumer or handed on as served.
struct DownloadTarget {
  const std::string& path;
  const std::string& file;
  bool inflated = true;
};

// Judges a whole body, given the base address of the server that sent it: why it is refused,
// or nothing.
using BodyVerdict = std::function<std::optional<update::Failure>(const std::string& server)>;

// GETs target.path from the servers in `servers`' order and hands the body of a 200 answer to
// `consume`; `restart` runs before each try and whenever a body starts over, so the consumer
// drops what came before, and `verify` judges a whole body. Nothing on success, else the failure.
// A refused or broken connection, a silence time-out, a 5xx answer and a body cut short move on
// to the next server, and each server is tried again after each of options.retryPauses; a server
// that answers with another status, a malformed answer, a transfer below the rate floor, data
// that is not one complete zlib or gzip stream or a body `verify` refuses is not asked again for
// this file. Whatever `restart` or `consume` threw, and a request the client refuses, are final.
// A server whose whole body `verify` refused while another server's passed served wrong content:
// `servers` excludes it for the rest of the run. The compressed bytes of a large body cut short
// are kept beside target.file (see KeptDownload), and the next try asks for the rest (Range,
// If-Range with the validator of the server that sent them) and inflates the kept bytes first; a
// whole body in answer starts over, and so does a continued body that names another validator or
// that verify refuses. When the last try of every server ended without a connection, the
// connection failure (http::ConnectionError) passes through; else the last answer's failure stands.
std::optional<update::Failure> fetchFile(ServerConnections& connections, ServerChoice& servers,
                                         const DownloadTarget& target, const TransferOptions& options,
                                         const std::function<void()>& restart,
                                         const std::function<void(std::string_view)>& consume,
                                         const BodyVerdict& verify);

}  // namespace update
