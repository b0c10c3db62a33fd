#pragma once
// A loopback TCP server on a free port that plays a script on each accepted connection:
// exact bytes in chosen pieces, pauses, reading the request, then closing or holding the
// connection. Connections are served one after another on one thread, in accept order.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace testing_support {

class ScriptedConnection {
 public:
  // `onRequest` sees each request as soon as it has been read.
  ScriptedConnection(int descriptor, int stopDescriptor, std::function<void(const std::string&)> onRequest);

  // Sends all bytes (blocking). Failures (the peer went away) are ignored: the script
  // goes on, and the test judges what the client saw.
  void send(std::string_view bytes);
  // Sends the bytes cut after each of the given sizes (the rest as the last piece), with a
  // pause before every piece but the first, so each piece arrives on its own.
  void sendInPieces(std::string_view bytes, const std::vector<std::size_t>& pieceSizes,
                    std::chrono::milliseconds pause = std::chrono::milliseconds(30));
  void pause(std::chrono::milliseconds duration);
  // Reads one request: up to the blank line, then as many body bytes as its
  // Content-Length names. Returns what was read; the server's receivedRequests() has it
  // before this returns, so before any response goes out.
  std::string readRequest(std::chrono::milliseconds limit = std::chrono::seconds(10));
  // Keeps the connection open until the peer closes it or the server stops.
  void hold();

  const std::string& request() const { return received; }

 private:
  bool waitReadable(std::chrono::milliseconds limit);
  void readUntilComplete(std::chrono::milliseconds limit);

  int descriptor;
  int stopDescriptor;
  std::function<void(const std::string&)> onRequest;
  std::string received;
};

// What to do with one accepted connection; returning closes it.
using ConnectionScript = std::function<void(ScriptedConnection&)>;

class ScriptedServer {
 public:
  // One script per connection in accept order; connections beyond the list are closed at once.
  explicit ScriptedServer(std::vector<ConnectionScript> scripts);
  // The same script for every connection.
  explicit ScriptedServer(ConnectionScript everyConnection);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  std::uint16_t port() const { return listeningPort; }
  // "http://127.0.0.1:<port><path>"
  std::string url(std::string_view path = "/") const;
  // The requests read so far, in the order they were read.
  std::vector<std::string> receivedRequests() const;
  // Connections whose script has finished.
  std::size_t finishedConnections() const { return finished.load(); }

 private:
  void serve();
  ConnectionScript scriptFor(std::size_t index) const;

  std::vector<ConnectionScript> scripts;
  bool repeatLast = false;
  int listenDescriptor = -1;
  int stopPipe[2] = {-1, -1};
  std::uint16_t listeningPort = 0;
  mutable std::mutex requestsMutex;
  std::vector<std::string> requests;
  std::atomic<std::size_t> finished{0};
  std::thread thread;
};

// A loopback listener that never accepts and whose backlog is full, so a further connection
// attempt stays pending: the way to make connecting time out.
class UnansweredListener {
 public:
  UnansweredListener();
  ~UnansweredListener();
  UnansweredListener(const UnansweredListener&) = delete;
  UnansweredListener& operator=(const UnansweredListener&) = delete;

  std::string url() const;

 private:
  int listenDescriptor = -1;
  std::uint16_t listeningPort = 0;
  std::vector<int> fillers;
};

// Common scripts.
// Reads the request, sends `response` at once and closes.
ConnectionScript respondWith(std::string response);
// Reads the request, sends `response`, then keeps the connection open.
ConnectionScript respondAndHold(std::string response);

}  // namespace testing_support
