// A digest request still waiting when the program ends must not touch destroyed state: the
// answer arrives after every static object is gone. Under the sanitizers any report ends the
// process with a failure status.
#include <gtest/gtest.h>

#include "tests/support/run_program.h"
#include "tests/support/scripted_server.h"

using namespace std::chrono_literals;
using namespace testing_support;

TEST(ProgramEnd, ADigestArrivingWhileTheEngineEndsIsHarmless) {
  const std::string digest = httpAnswer("0123456789abcdef0123456789abcdef");
  ScriptedServer server(std::vector<ConnectionScript>{respondWith(digest), [&](ScriptedConnection& connection) {
    connection.readRequest();
    connection.pause(400ms);
    connection.send(digest);
  }});
  const ProgramResult result = runProgram(UPDATE_EXIT_HELPER, {server.url()});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(server.receivedRequests().size(), 2u);
}
