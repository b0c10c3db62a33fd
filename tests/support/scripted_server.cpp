#include "tests/support/scripted_server.h"

#include "tests/support/temp_folder.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_support {

namespace {

// Waits until `descriptor` is readable (true) or the stop pipe is (false).
bool readableUnlessStopped(int descriptor, int stopDescriptor) {
  pollfd entries[2] = {{descriptor, POLLIN, 0}, {stopDescriptor, POLLIN, 0}};
  while (::poll(entries, 2, -1) < 0 && errno == EINTR) continue;
  return entries[1].revents == 0 && entries[0].revents != 0;
}

// True once `request` holds a whole head and as many body bytes as it announces.
bool complete(const std::string& request) {
  const auto headEnd = request.find("\r\n\r\n");
  const auto length = request.find("\r\nContent-Length:");
  return headEnd != std::string::npos &&
         request.size() >= headEnd + 4 + (length < headEnd ? std::strtoull(&request[length + 17], nullptr, 10) : 0);
}

}  // namespace

void ScriptedConnection::send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(descriptor, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
}

void ScriptedConnection::pause(std::chrono::milliseconds duration) {
  pollfd entry{stopDescriptor, POLLIN, 0};
  ::poll(&entry, 1, static_cast<int>(duration.count()));
}

std::string ScriptedConnection::readRequest() {
  std::string request;
  char buffer[65536];
  while (!complete(request) && readableUnlessStopped(descriptor, stopDescriptor)) {
    const ssize_t got = ::recv(descriptor, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    request.append(buffer, static_cast<std::size_t>(got));
  }
  if (!request.empty()) onRequest(request);
  return request;
}

void ScriptedConnection::hold() {
  char bytes[4096];
  while (readableUnlessStopped(descriptor, stopDescriptor) && ::recv(descriptor, bytes, sizeof bytes, 0) > 0) continue;
}

ScriptedServer::ScriptedServer(std::vector<ConnectionScript> scripts, bool repeatLast, std::uint16_t fixedPort,
                               bool atOnce)
    : listeningPort(fixedPort) {
  listenDescriptor = listenOnLoopback(64, listeningPort);
  if (::pipe2(stopPipe, O_CLOEXEC) != 0) throw std::runtime_error("scripted server: no pipe");
  thread = std::thread([this, scripts = std::move(scripts), repeatLast, atOnce] {
    for (std::size_t index = 0; readableUnlessStopped(listenDescriptor, stopPipe[0]); ++index) {
      const int connection = ::accept4(listenDescriptor, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) continue;
      ScriptedConnection scripted{connection, stopPipe[0], [this](const std::string& request) {
                                    std::lock_guard lock(requestsMutex);
                                    requests.push_back(request);
                                  }};
      if (index >= scripts.size() && !repeatLast) {
        ::close(connection);
        continue;
      }
      const ConnectionScript& script = scripts[std::min(index, scripts.size() - 1)];
      if (atOnce) {
        connectionThreads.emplace_back([script, scripted]() mutable {
          script(scripted);
          ::close(scripted.descriptor);
        });
        continue;
      }
      script(scripted);
      ::close(connection);
    }
  });
}

ScriptedServer::~ScriptedServer() {
  (void)!::write(stopPipe[1], "s", 1);
  thread.join();
  connectionThreads.clear();
  for (int descriptor : {listenDescriptor, stopPipe[0], stopPipe[1]}) ::close(descriptor);
}

std::vector<std::string> ScriptedServer::receivedRequests() const {
  std::lock_guard lock(requestsMutex);
  return requests;
}

ConnectionScript respondWith(std::string response) {
  return [response = std::move(response)](ScriptedConnection& connection) {
    connection.readRequest();
    connection.send(response);
  };
}

std::string httpAnswer(const std::string& body, const std::string& status) {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string requestTarget(const std::string& request) {
  const auto start = request.find(' '), end = request.find(' ', start + 1);
  return end == std::string::npos ? "" : request.substr(start + 1, end - start - 1);
}

std::string fileAnswer(const std::filesystem::path& root, const std::string& request) {
  const std::string target = requestTarget(request);
  if (!target.starts_with("/")) return httpAnswer("", "404 Not Found");
  const std::string body = readFile(root / (target.substr(1) + (target.ends_with("/") ? "index.html" : "")));
  return body == "<missing>" ? httpAnswer("", "404 Not Found") : httpAnswer(body);
}

ConnectionScript answerByTarget(std::map<std::string, std::string> answers) {
  return [answers = std::move(answers)](ScriptedConnection& connection) {
    const auto found = answers.find(requestTarget(connection.readRequest()));
    connection.send(found == answers.end() ? httpAnswer("", "404 Not Found") : found->second);
  };
}

}  // namespace testing_support
