// quarnmp-cli get as a user runs it: the real executable against a real server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/run_program.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_folder.h"

using namespace testing_support;

namespace {

// "<exit code>|<standard output>|<standard error>" of quarnmp-cli get with these arguments.
std::string get(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "get");
  const auto result = withUnixLineEnds(runProgram(QUARNMP_CLI_EXE, arguments));
  return std::to_string(result.exitCode) + "|" + result.out + "|" + result.err;
}

}  // namespace

TEST(CliGet, PrintsTheExchangeOrOneErrorLine) {
  TempFolder folder;
  writeFile(folder / "body", "payload");
  const std::string file(100000, 'q');
  // Answered in this order (the second with bytes beyond its length, the third cut short); the last
  // connection is held until the client gives up.
  ScriptedServer server(std::vector<ConnectionScript>{
      respondWith("HTTP/1.1 201 Made\r\nX-A: 1\r\n\r\n"), respondWith(httpAnswer(file) + "extra"),
      respondWith("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789"),
      [](ScriptedConnection& connection) { connection.hold(); }});
  // Credentials become a field; the fragment stays home.
  EXPECT_EQ(get({"http://me:secret@" + server.url("/p?q=a%20b#top").substr(7), "--method", "PUT", "--header",
                 "X-One: 1", "--header", "X-Two:2", "--body-file", (folder / "body").string()}),
            "0|HTTP/1.1 201 Made\nx-a: 1\nbody-bytes: 0\n|");
  EXPECT_EQ(server.receivedRequests().at(0), "PUT /p?q=a%20b HTTP/1.1\r\nX-One: 1\r\nX-Two: 2\r\nHost: 127.0.0.1\r\n"
                                             "Content-Length: 7\r\nAuthorization: Basic bWU6c2VjcmV0\r\n\r\npayload");
  EXPECT_EQ(get({server.url("/file"), "--out", (folder / "copy").string()}),
            "0|HTTP/1.1 200 OK\ncontent-length: 100000\nbody-bytes: 100000\n|");
  EXPECT_EQ(get({server.url("/cut"), "--out", (folder / "copy").string()}),
            "2||error ResponseError: Connection closed after 10 of 1000 body bytes\n");
  EXPECT_TRUE(readFile(folder / "copy") == file) << "the written body differs, or a cut one replaced it";
  // A method that would break the request line is refused before connecting.
  for (const std::string method : {"GET /x HTTP/1.1\r\nX:", "P T", ""})
    EXPECT_EQ(get({server.url(), "--method", method}), "2||error RequestError: Invalid method\n") << method;
  EXPECT_EQ(get({server.url(), "--timeout", "200"}), "2||error ResponseError: Request timed out\n");
  // Refused at once, not after the time limit (Winsock reports it apart from writability).
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(get({loopbackUrl(freeLoopbackPort()), "--timeout", "30000"}),
            "2||error system_error(10061): Failed to connect: Connection refused\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_THAT(get({server.url(), "--timeout", "soon"}), testing::StartsWith("1||usage: quarnmp-cli get URL"));
}
