// quarnmp-cli get as a user runs it: the real executable against real servers.
#include <gtest/gtest.h>

#include "tests/support/nginx_fixture.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_folder.h"

using testing_support::runProgram;
using testing_support::TempFolder;

TEST(CliGet, PrintsTheResponseAndWritesTheBody) {
  TempFolder site;
  testing_support::writeFile(site / "file", std::string(100000, 'q'));
  testing_support::NginxServer nginx(site.path());
  const auto result = runProgram(QUARNMP_CLI_EXE, {"get", nginx.url("/file"), "--out", (site / "copy").string()});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out.rfind("HTTP/1.1 200 OK\n", 0), 0u) << result.out;
  EXPECT_NE(result.out.find("\ncontent-length: 100000\n"), std::string::npos);
  EXPECT_NE(result.out.find("\nbody-bytes: 100000\n"), std::string::npos);
  EXPECT_EQ(testing_support::readFile(site / "copy"), std::string(100000, 'q'));
}

TEST(CliGet, SendsMethodFieldsAndBodyFile) {
  TempFolder folder;
  testing_support::writeFile(folder / "body", "payload");
  testing_support::ScriptedServer server(testing_support::respondWith("HTTP/1.1 201 Made\r\nX-A: 1\r\n\r\n"));
  const auto result = runProgram(QUARNMP_CLI_EXE, {"get", server.url("/p"), "--method", "PUT", "--header", "X-One: 1",
                                                   "--header", "X-Two:2", "--body-file", (folder / "body").string()});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "HTTP/1.1 201 Made\nx-a: 1\nbody-bytes: 0\n");
  EXPECT_EQ(server.receivedRequests().at(0),
            "PUT /p HTTP/1.1\r\nX-One: 1\r\nX-Two: 2\r\nHost: 127.0.0.1\r\nContent-Length: 7\r\n\r\npayload");
}

TEST(CliGet, ReportsEachKindOfFailureOnOneLine) {
  testing_support::ScriptedServer server([](testing_support::ScriptedConnection& connection) {
    connection.readRequest();
    connection.hold();
  });
  auto failure = [](std::vector<std::string> args) {
    args.insert(args.begin(), "get");
    const auto result = runProgram(QUARNMP_CLI_EXE, args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    return result.err;
  };
  EXPECT_EQ(failure({"ftp://x/"}), "error RequestError: Only HTTP scheme is supported\n");
  EXPECT_EQ(failure({server.url(), "--header", "Bad Name: x"}), "error RequestError: Invalid header field name\n");
  EXPECT_EQ(failure({server.url(), "--timeout", "200"}), "error ResponseError: Request timed out\n");
  EXPECT_EQ(failure({"http://no..such.invalid/"}),
            "error system_error(11001): Failed to get address info of no..such.invalid: Host not found\n");
  EXPECT_EQ(failure({server.url(), "--body-file", "/nonexistent/body"}), "error runtime_error: Cannot read /nonexistent/body\n");

  const auto usage = runProgram(QUARNMP_CLI_EXE, {"get", server.url(), "--timeout", "soon"});
  EXPECT_EQ(usage.exitCode, 1);
  EXPECT_NE(usage.err.find("usage:"), std::string::npos);
}
