#pragma once
// Which of several servers that serve one published tree to ask, and what a run has learnt of
// them: a mirror that is down is asked after the others, one that served wrong content no more.
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "update/server_address.h"

namespace update {

// Asks the servers in turn until one answers: `ask` gets a base address and returns false when
// that server was unavailable (no connection, a silence, a 5xx status), so that the next one is
// asked. The index of the server whose answer stands (the last one's when none answered); a
// connection failure (http::ConnectionError) passes through from the last one only. Throws
// std::invalid_argument for an empty list.
std::size_t askInTurn(const ServerList& servers, const std::function<bool(const std::string& base)>& ask);

// The list with `first` moved to its front, when it is in the list.
ServerList withFirst(ServerList servers, const std::string& first);

// The servers that one installation's transfers share, each worker asking them in order().
class ServerChoice {
 public:
  explicit ServerChoice(ServerList servers);
  const std::string& base(std::size_t server) const { return servers[server]; }
  // The servers still to be asked, in the given order, those whose last request failed for a
  // passing reason behind the others.
  std::vector<std::size_t> order() const;
  void answered(std::size_t server);
  void unavailable(std::size_t server);
  // The server served wrong content: it is not asked again.
  void exclude(std::size_t server);

 private:
  enum class Standing : char { Answering, Unavailable, Excluded };
  ServerList servers;
  mutable std::mutex mutex;  // guards standing
  std::vector<Standing> standing;
};

}  // namespace update
