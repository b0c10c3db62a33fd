// quarnmp-cli get as a user runs it: the real executable against real servers.
#include <gtest/gtest.h>

#include "tests/support/nginx_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_server.h"
#include "tests/support/server_process.h"

namespace {

// "<exit code>|<standard output>|<standard error>" of quarnmp-cli get with these arguments.
std::string get(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "get");
  const auto result = testing_support::withUnixLineEnds(testing_support::runProgram(QUARNMP_CLI_EXE, arguments));
  return std::to_string(result.exitCode) + "|" + result.out + "|" + result.err;
}

}  // namespace

TEST(CliGet, PrintsTheResponseAndWritesTheBody) {
  testing_support::TempFolder site;
  testing_support::writeFile(site / "file", std::string(100000, 'q'));
  testing_support::NginxServer nginx(site.path());
  const std::string result = get({nginx.url("/file"), "--out", (site / "copy").string()});
  EXPECT_EQ(result.rfind("0|HTTP/1.1 200 OK\n", 0), 0u) << result;
  EXPECT_NE(result.find("\ncontent-length: 100000\n"), std::string::npos);
  EXPECT_NE(result.find("\nbody-bytes: 100000\n|"), std::string::npos);
  EXPECT_EQ(testing_support::readFile(site / "copy"), std::string(100000, 'q'));
}

TEST(CliGet, SendsMethodFieldsAndBodyFileAndReportsAFailureOnOneLine) {
  testing_support::TempFolder folder;
  testing_support::writeFile(folder / "body", "payload");
  testing_support::ScriptedServer server(std::vector<testing_support::ConnectionScript>{
      testing_support::respondWith("HTTP/1.1 201 Made\r\nX-A: 1\r\n\r\n"),
      [](testing_support::ScriptedConnection& connection) { connection.hold(); }});
  EXPECT_EQ(get({server.url("/p?q=a%20b"), "--method", "PUT", "--header", "X-One: 1", "--header", "X-Two:2", "--body-file",
                 (folder / "body").string()}),
            "0|HTTP/1.1 201 Made\nx-a: 1\nbody-bytes: 0\n|");
  EXPECT_EQ(server.receivedRequests().at(0),
            "PUT /p?q=a%20b HTTP/1.1\r\nX-One: 1\r\nX-Two: 2\r\nHost: 127.0.0.1\r\nContent-Length: 7\r\n\r\npayload");

  // A method that would break the request line is refused before connecting.
  for (const std::string method : {"GET /x HTTP/1.1\r\nX:", "P T", ""})
    EXPECT_EQ(get({server.url(), "--method", method}), "2||error RequestError: Invalid method\n") << method;
  EXPECT_EQ(get({server.url(), "--timeout", "200"}), "2||error ResponseError: Request timed out\n");
  // Refused at once, not after the time limit (Winsock reports it apart from writability).
  const auto start = std::chrono::steady_clock::now();
  const std::string refused = "http://127.0.0.1:" + std::to_string(testing_support::freeLoopbackPort()) + "/";
  EXPECT_EQ(get({refused, "--timeout", "30000"}), "2||error system_error(10061): Failed to connect: Connection refused\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(get({server.url(), "--timeout", "soon"}).rfind("1||usage: quarnmp-cli get URL", 0), 0u);
}
