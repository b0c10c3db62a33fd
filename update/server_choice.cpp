#include "update/server_choice.h"

#include <algorithm>
#include <stdexcept>

#include "http/errors.h"

namespace update {

std::size_t askInTurn(const ServerList& servers, const std::function<bool(const std::string& base)>& ask) {
  if (servers.empty()) throw std::invalid_argument("no update server to ask");
  for (std::size_t server = 0;; ++server) {
    const bool last = server + 1 == servers.size();
    try {
      if (ask(servers[server]) || last) return server;
    } catch (const http::ConnectionError&) {
      if (last) throw;
    }
  }
}

ServerList withFirst(ServerList servers, const std::string& first) {
  const auto found = std::find(servers.begin(), servers.end(), first);
  if (found != servers.end()) std::rotate(servers.begin(), found, found + 1);
  return servers;
}

ServerChoice::ServerChoice(ServerList list) : servers(std::move(list)), standing(servers.size(), Standing::Answering) {}

std::vector<std::size_t> ServerChoice::order() const {
  const std::lock_guard lock(mutex);
  std::vector<std::size_t> order;
  for (const Standing wanted : {Standing::Answering, Standing::Unavailable})
    for (std::size_t server = 0; server < standing.size(); ++server)
      if (standing[server] == wanted) order.push_back(server);
  return order;
}

void ServerChoice::answered(std::size_t server) {
  const std::lock_guard lock(mutex);
  if (standing[server] == Standing::Unavailable) standing[server] = Standing::Answering;
}

void ServerChoice::unavailable(std::size_t server) {
  const std::lock_guard lock(mutex);
  if (standing[server] == Standing::Answering) standing[server] = Standing::Unavailable;
}

void ServerChoice::exclude(std::size_t server) {
  const std::lock_guard lock(mutex);
  standing[server] = Standing::Excluded;
}

}  // namespace update
