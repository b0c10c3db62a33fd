#include "tests/support/scripted_server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_support {

namespace {

// Waits for `descriptor` to become readable or for the stop pipe; true only for the former.
bool waitReadableOrStop(int descriptor, int stopDescriptor, int timeoutMs) {
  pollfd entries[2] = {{descriptor, POLLIN, 0}, {stopDescriptor, POLLIN, 0}};
  while (true) {
    const int result = ::poll(entries, 2, timeoutMs);
    if (result < 0 && errno == EINTR) continue;
    return result > 0 && entries[1].revents == 0 && entries[0].revents != 0;
  }
}

std::size_t announcedLength(const std::string& header) {
  std::string lower;
  for (char c : header) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  const auto at = lower.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  return static_cast<std::size_t>(std::strtoull(lower.c_str() + at + 17, nullptr, 10));
}

}  // namespace

ScriptedConnection::ScriptedConnection(int descriptor, int stopDescriptor,
                                       std::function<void(const std::string&)> onRequest)
    : descriptor(descriptor), stopDescriptor(stopDescriptor), onRequest(std::move(onRequest)) {}

void ScriptedConnection::send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(descriptor, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
}

void ScriptedConnection::sendInPieces(std::string_view bytes, const std::vector<std::size_t>& pieceSizes,
                                      std::chrono::milliseconds pauseBetween) {
  bool first = true;
  for (std::size_t size : pieceSizes) {
    if (!first) pause(pauseBetween);
    first = false;
    send(bytes.substr(0, size));
    bytes.remove_prefix(std::min(size, bytes.size()));
  }
  if (!bytes.empty()) {
    if (!first) pause(pauseBetween);
    send(bytes);
  }
}

void ScriptedConnection::pause(std::chrono::milliseconds duration) {
  pollfd entry{stopDescriptor, POLLIN, 0};
  ::poll(&entry, 1, static_cast<int>(duration.count()));
}

bool ScriptedConnection::waitReadable(std::chrono::milliseconds limit) {
  return waitReadableOrStop(descriptor, stopDescriptor, static_cast<int>(limit.count()));
}

std::string ScriptedConnection::readRequest(std::chrono::milliseconds limit) {
  received.clear();
  readUntilComplete(limit);
  if (!received.empty()) onRequest(received);
  return received;
}

void ScriptedConnection::readUntilComplete(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::size_t headerEnd = std::string::npos;
  while (true) {
    if (headerEnd == std::string::npos) {
      headerEnd = received.find("\r\n\r\n");
      if (headerEnd != std::string::npos) headerEnd += 4;
    }
    if (headerEnd != std::string::npos && received.size() >= headerEnd + announcedLength(received.substr(0, headerEnd))) {
      return;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !waitReadable(left)) return;
    char buffer[65536];
    const ssize_t got = ::recv(descriptor, buffer, sizeof buffer, 0);
    if (got <= 0) return;
    received.append(buffer, static_cast<std::size_t>(got));
  }
}

void ScriptedConnection::hold() {
  char buffer[4096];
  while (waitReadableOrStop(descriptor, stopDescriptor, -1)) {
    if (::recv(descriptor, buffer, sizeof buffer, 0) <= 0) return;
  }
}

ScriptedServer::ScriptedServer(ConnectionScript everyConnection) : ScriptedServer(std::vector{std::move(everyConnection)}) {
  repeatLast = true;
}

ScriptedServer::ScriptedServer(std::vector<ConnectionScript> connectionScripts) : scripts(std::move(connectionScripts)) {
  listenDescriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listenDescriptor < 0 || ::bind(listenDescriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenDescriptor, 64) != 0 ||
      ::getsockname(listenDescriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::pipe2(stopPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("scripted server: cannot listen on loopback");
  }
  listeningPort = ntohs(address.sin_port);
  thread = std::thread([this] { serve(); });
}

ScriptedServer::~ScriptedServer() {
  const char stop = 's';
  (void)!::write(stopPipe[1], &stop, 1);
  thread.join();
  ::close(listenDescriptor);
  ::close(stopPipe[0]);
  ::close(stopPipe[1]);
}

std::string ScriptedServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(listeningPort) + std::string(path);
}

std::vector<std::string> ScriptedServer::receivedRequests() const {
  std::lock_guard lock(requestsMutex);
  return requests;
}

ConnectionScript ScriptedServer::scriptFor(std::size_t index) const {
  if (index < scripts.size()) return scripts[index];
  if (repeatLast && !scripts.empty()) return scripts.back();
  return [](ScriptedConnection&) {};
}

void ScriptedServer::serve() {
  std::size_t index = 0;
  while (waitReadableOrStop(listenDescriptor, stopPipe[0], -1)) {
    const int connection = ::accept4(listenDescriptor, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    ScriptedConnection scripted(connection, stopPipe[0], [this](const std::string& request) {
      std::lock_guard lock(requestsMutex);
      requests.push_back(request);
    });
    scriptFor(index++)(scripted);
    ::close(connection);
    ++finished;
  }
}

UnansweredListener::UnansweredListener() {
  listenDescriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listenDescriptor < 0 || ::bind(listenDescriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenDescriptor, 0) != 0 ||
      ::getsockname(listenDescriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("unanswered listener: cannot listen on loopback");
  }
  listeningPort = ntohs(address.sin_port);
  // A backlog of 0 still admits a connection or two; these take those places.
  for (int i = 0; i < 4; ++i) {
    fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
}

UnansweredListener::~UnansweredListener() {
  for (int fd : fillers) ::close(fd);
  ::close(listenDescriptor);
}

std::string UnansweredListener::url() const { return "http://127.0.0.1:" + std::to_string(listeningPort) + "/"; }

ConnectionScript respondWith(std::string response) {
  return [response = std::move(response)](ScriptedConnection& connection) {
    connection.readRequest();
    connection.send(response);
  };
}

ConnectionScript respondAndHold(std::string response) {
  return [response = std::move(response)](ScriptedConnection& connection) {
    connection.readRequest();
    connection.send(response);
    connection.hold();
  };
}

}  // namespace testing_support
