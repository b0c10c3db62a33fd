#pragma once
// Fetching one file's body on a worker's kept connection, retried while its failure may pass.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "http/connection.h"
#include "update/download.h"
#include "update/failure.h"

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

// What to fetch, and the file it becomes ("" when the body is not to be continued after a cut).
struct DownloadTarget {
  const std::string& url;
  const std::string& path;
};

// GETs target.url on `connection` and hands the inflated body of a 200 answer to `consume`;
// `restart` runs before each try and whenever a body starts over, so the consumer drops what came
// before, and `verify` judges a whole body (why it is refused, or nothing). Nothing on
// success, else the failure. A refused or broken connection, a silence time-out, a 5xx answer
// and a body cut short are tried again; another status, a malformed answer, a transfer below
// the rate floor, data that is not one complete zlib or gzip stream, a body `verify` refuses
// and whatever `restart` or `consume` threw are final. The compressed bytes of a large body cut
// short are kept beside target.path (see KeptDownload), and the next try asks for the rest
// (Range, If-Range) and inflates the kept bytes first; a whole body in answer starts over, and
// so does a refused body that was continued. A connection failure (std::system_error) that
// outlives its retries (http::ConnectionError) passes through.
std::optional<update::Failure> fetchInflated(http::Connection& connection, const DownloadTarget& target,
                                             const TransferOptions& options, const std::function<void()>& restart,
                                             const std::function<void(std::string_view)>& consume,
                                             const std::function<std::optional<update::Failure>()>& verify);
