#pragma once
// A few workers that share out numbered jobs, each worker with its own kept connection to each server.
#include <cstddef>
#include <exception>
#include <functional>

#include "update/transfers.h"

namespace update {

using TransferJob = std::function<void(std::size_t index, ServerConnections& connections)>;

// Runs job(i, ...) once for each i below count on min(workers, count) workers, the calling
// thread one of them; `finished` is told, one call at a time, how many jobs have ended. The
// first exception a job throws stops the workers from starting more jobs; it is returned once
// every worker has ended (null when none threw).
std::exception_ptr runTransferJobs(std::size_t count, unsigned workers, const TransferJob& job,
                                   const std::function<void(std::size_t finished)>& finished);

}  // namespace update
