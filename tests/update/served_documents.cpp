#include "tests/update/served_documents.h"

#include <zlib.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "update/server_address.h"
#include "update/tasks.h"

namespace update_testing {

namespace {

std::string deflateWith(const std::string& bytes, int windowBits) {
  z_stream stream{};
  if (deflateInit2(&stream, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string output(deflateBound(&stream, bytes.size()) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(output.data());
  stream.avail_out = static_cast<uInt>(output.size());
  deflate(&stream, Z_FINISH);
  output.resize(stream.total_out);
  deflateEnd(&stream);
  return output;
}

std::string targetOf(const std::string& request) {
  const auto start = request.find(' ');
  const auto end = request.find(' ', start + 1);
  return start == std::string::npos || end == std::string::npos ? "" : request.substr(start + 1, end - start - 1);
}

}  // namespace

std::string zlibOf(const std::string& bytes) { return deflateWith(bytes, 15); }
std::string gzipOf(const std::string& bytes) { return deflateWith(bytes, 15 + 16); }
std::string rawDeflateOf(const std::string& bytes) { return deflateWith(bytes, -15); }

std::string okResponse(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

testing_support::ConnectionScript serveByPath(std::map<std::string, std::string> responses) {
  return [responses = std::move(responses)](testing_support::ScriptedConnection& connection) {
    const auto found = responses.find(targetOf(connection.readRequest()));
    connection.send(found == responses.end() ? "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n" : found->second);
  };
}

InstallationRoot::InstallationRoot(const std::string& serverUrl) : previous(std::filesystem::current_path()) {
  resetUpdaterState();
  setServerBaseUrl(serverUrl);
  std::filesystem::current_path(folder.path());
}

InstallationRoot::~InstallationRoot() {
  resetUpdaterState();
  std::filesystem::current_path(previous);
}

void finishTask() {
  while (isTaskRunning() && !pollTask()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace update_testing
