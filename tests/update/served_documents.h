#pragma once
// What an update server sends, made by hand for tests: compressed bodies and a scripted
// loopback server that answers by request path.
#include <filesystem>
#include <map>
#include <string>

#include "tests/support/scripted_server.h"
#include "tests/support/temp_folder.h"

namespace update_testing {

std::string zlibOf(const std::string& bytes);
std::string gzipOf(const std::string& bytes);
std::string rawDeflateOf(const std::string& bytes);

std::string okResponse(const std::string& body);

// Answers each request with the response stored for its target ("/json", ...), else 404.
testing_support::ConnectionScript serveByPath(std::map<std::string, std::string> responses);

// Runs the test inside its own folder as the working directory (the installation root)
// and points the engine at the given server; the state starts fresh.
class InstallationRoot {
 public:
  explicit InstallationRoot(const std::string& serverUrl);
  ~InstallationRoot();
  InstallationRoot(const InstallationRoot&) = delete;
  InstallationRoot& operator=(const InstallationRoot&) = delete;

  const std::filesystem::path& path() const { return folder.path(); }
  std::filesystem::path operator/(const std::string& relative) const { return folder / relative; }

 private:
  testing_support::TempFolder folder;
  std::filesystem::path previous;
};

// Waits for the running task, if any, and collects it.
void finishTask();

}  // namespace update_testing
