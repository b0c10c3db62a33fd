#pragma once
// A loopback TCP server on a free port that plays a script on each accepted connection, one after another
// on one thread (or each on a thread of its own): exact bytes, pauses, reading the request, then closing
// (when it returns) or holding it.
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "tests/support/server_process.h"

namespace testing_support {

// An accepted connection, the server's stop pipe and what the server does with each request read.
struct ScriptedConnection {
  int descriptor;
  int stopDescriptor;
  std::function<void(const std::string&)> onRequest;

  // Sends all bytes; failures (the peer went away) are ignored and the script goes on.
  void send(std::string_view bytes);
  // Waits without reading; the server stopping cuts the wait short.
  void pause(std::chrono::milliseconds duration);
  // Reads one request: its head and as many body bytes as its Content-Length names. The
  // server's receivedRequests() has it before this returns.
  std::string readRequest();
  // Reads and drops whatever comes until the peer closes or the server stops.
  void hold();
};

// What to do with one accepted connection; returning closes it.
using ConnectionScript = std::function<void(ScriptedConnection&)>;

class ScriptedServer {
 public:
  // One script per connection in accept order; further connections are closed at once.
  explicit ScriptedServer(std::vector<ConnectionScript> scripts) : ScriptedServer(std::move(scripts), false) {}
  // The same script for every connection, on a fixed port (0: a free one).
  explicit ScriptedServer(ConnectionScript everyConnection, std::uint16_t fixedPort = 0)
      : ScriptedServer({std::move(everyConnection)}, true, fixedPort) {}
  // The same script for every connection, all connections served at once.
  struct AtOnce {};
  ScriptedServer(ConnectionScript everyConnection, AtOnce) : ScriptedServer({std::move(everyConnection)}, true, 0, true) {}
  ~ScriptedServer();

  std::string url(std::string_view path = "/") const { return loopbackUrl(listeningPort, path); }
  std::vector<std::string> receivedRequests() const;

 private:
  ScriptedServer(std::vector<ConnectionScript> scripts, bool repeatLast, std::uint16_t fixedPort = 0,
                 bool atOnce = false);

  int listenDescriptor = -1;
  int stopPipe[2] = {-1, -1};
  std::uint16_t listeningPort = 0;
  mutable std::mutex requestsMutex;
  std::vector<std::string> requests;
  std::thread thread;
  std::vector<std::jthread> connectionThreads;  // with AtOnce
};

// Reads the request, sends `response` and closes.
ConnectionScript respondWith(std::string response);

// A whole response: the status line, a Content-Length and the body.
std::string httpAnswer(const std::string& body, const std::string& status = "200 OK");
// The target of a request text ("GET <target> HTTP/1.1 ..."); "" when it has none.
std::string requestTarget(const std::string& request);
// The answer for the file below `root` that the request's target names, as nginx gives it
// (a target ending in "/" names its index.html), or 404.
std::string fileAnswer(const std::filesystem::path& root, const std::string& request);
// Reads the request and sends the answer kept for its target (404 when there is none).
ConnectionScript answerByTarget(std::map<std::string, std::string> answers);

}  // namespace testing_support
