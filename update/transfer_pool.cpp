#include "update/transfer_pool.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace update {

namespace {

struct Shared {
  Shared(const TransferJob& job, const std::function<void(std::size_t)>& finished, std::size_t count)
      : job(job), finished(finished), count(count) {}
  const TransferJob& job;
  const std::function<void(std::size_t)>& finished;
  std::size_t count;
  std::atomic<std::size_t> next{0};
  std::mutex mutex;  // guards what follows
  std::size_t ended = 0;
  std::exception_ptr failure;
};

void work(Shared& shared) {
  ServerConnections connections;
  for (std::size_t index; (index = shared.next++) < shared.count;) {
    std::exception_ptr thrown;
    try {
      shared.job(index, connections);
    } catch (...) {
      thrown = std::current_exception();
    }
    const std::lock_guard lock(shared.mutex);
    if (thrown && !shared.failure) {
      shared.failure = thrown;
      shared.next = shared.count;
    }
    if (!thrown) shared.finished(++shared.ended);
  }
}

}  // namespace

std::exception_ptr runTransferJobs(std::size_t count, unsigned workers, const TransferJob& job,
                                   const std::function<void(std::size_t)>& finished) {
  Shared shared(job, finished, count);
  {
    std::vector<std::jthread> helpers;
    const std::size_t helperCount = std::min<std::size_t>(std::max(workers, 1u), count) - (count > 0 ? 1 : 0);
    for (std::size_t i = 0; i < helperCount; ++i) helpers.emplace_back([&shared] { work(shared); });
    work(shared);
  }
  return shared.failure;
}

}  // namespace update
