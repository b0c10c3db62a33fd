#pragma once
// Fetching one file's body on a worker's kept connection, retried while its failure may pass.
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "http/connection.h"

inline constexpr unsigned defaultTransferJobs = 8;
inline constexpr unsigned maxTransferJobs = 32;

struct TransferOptions {
  // Files on the way at once, each on its own connection.
  unsigned jobs = defaultTransferJobs;
  // Every transfer must keep this average once its grace period has passed.
  http::MinimumRate minimumRate;
  // A transient failure is tried again after each of these pauses in turn, then it stands.
  std::vector<std::chrono::milliseconds> retryPauses{std::chrono::milliseconds(500), std::chrono::milliseconds(1000),
                                                     std::chrono::milliseconds(2000)};
};

// GETs url on `connection` and hands the inflated body of a 200 answer to `consume`; `restart`
// runs before each try, so the consumer drops what an earlier try delivered. The reason of a
// failure, empty on success. A refused or broken connection, a silence time-out, a 5xx answer
// and a body cut short are tried again; another status, a malformed answer, a transfer below
// the rate floor, data that is not one complete zlib or gzip stream and whatever `restart` or
// `consume` threw are final. A connection failure (std::system_error) that outlives its
// retries passes through.
std::string fetchInflated(http::Connection& connection, const std::string& url, const TransferOptions& options,
                          const std::function<void()>& restart, const std::function<void(std::string_view)>& consume);
